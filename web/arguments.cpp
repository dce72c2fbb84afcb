// The web program's arguments, as the page passes them.
#include "web/arguments.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The number in `text`, whole; false for anything else.
bool number(const char* text, double& value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    const double read = std::strtod(text, &end);
    if (*end != '\0' || !std::isfinite(read)) return false;
    value = read;
    return true;
}

} // namespace

bool readArguments(int argc, char** argv, PageArguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(name, "--no-sound") == 0) {
            arguments.sound = false;
        } else if (std::strcmp(name, "--loading-picture") == 0) {
            arguments.loadingPicture = true;
        } else {
            double* target = std::strcmp(name, "--start") == 0         ? &arguments.start
                             : std::strcmp(name, "--audio-delay") == 0 ? &arguments.audioDelay
                             : std::strcmp(name, "--hold") == 0        ? &arguments.hold
                             : std::strcmp(name, "--busy") == 0        ? &arguments.busyMs
                                                                       : nullptr;
            if (target == nullptr || !number(value, *target)) return false;
            ++i;
        }
    }
    return true;
}

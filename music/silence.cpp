// The silent device: nothing is heard, and the system clock carries the show's time.
#include "music/output.h"

namespace {

bool open(unsigned) {
    return true;
}
void close() {}
void replace() {}

} // namespace

// No `heard`: the core's system clock runs from the moment it opens.
const SoundOutput silentOutput = {
    "silent", false, open, close, nullptr, replace, nullptr, nullptr, nullptr,
};

// The failure message on a platform without message boxes: one line on standard error.
#include "base/failure.h"

#include <cstdio>

void failureMessage(const char* message) {
    std::fprintf(stderr, "ERROR: %s\n", message);
    std::fflush(stderr);
}

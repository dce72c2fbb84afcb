// The failure message, written to standard error on a platform without message boxes.
#include "base/failure.h"

#include <cstdio>

void failureMessage(const char* message) {
    std::fprintf(stderr, "ERROR: %s\n", message);
    std::fflush(stderr);
}

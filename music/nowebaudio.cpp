// The page's Web Audio output on the desktop, which has no page: never open.
#include "music/output.h"

#include <limits>

bool webAudioOpen() {
    return false;
}
void webAudioClose() {}
void webAudioLoad(uint32_t, const DecodedAudio&) {}
double webAudioPlay(uint32_t, uint64_t) {
    return 0;
}
void webAudioStop() {}
double webAudioHeard(double) {
    return -std::numeric_limits<double>::infinity();
}

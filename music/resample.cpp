// Resampling a decoded file onto the stereo output, at any rate ratio, by linear interpolation.
#include "music/core.h"

#include <cassert>

uint64_t cursorStep(int fileRate, int outputRate) {
    assert(fileRate > 0 && outputRate > 0);
    return (uint64_t(fileRate) << cursorFractionBits) / uint64_t(outputRate);
}

namespace {

// The sample of `channel` a fraction `fraction` / 2^32 of the way from frame `at` to the next; the
// last frame is held rather than read past.
int32_t interpolate(const DecodedAudio& audio, uint64_t at, uint32_t fraction, int channel) {
    const uint64_t frames = audio.frames();
    assert(at < frames);
    const uint64_t next = at + 1 < frames ? at + 1 : at;
    const int64_t a = audio.samples[at * audio.channels + channel];
    const int64_t b = audio.samples[next * audio.channels + channel];
    return int32_t(a + (((b - a) * int64_t(fraction)) >> cursorFractionBits));
}

} // namespace

uint32_t resampleAdd(const DecodedAudio& audio, uint64_t& cursor, uint64_t step, int32_t* mix,
                     uint32_t outputFrames) {
    assert(audio.channels == 1 || audio.channels == 2);
    const uint64_t frames = audio.frames();
    const int rightChannel = audio.channels - 1;
    uint32_t written = 0;
    for (; written < outputFrames; ++written) {
        const uint64_t at = cursor >> cursorFractionBits;
        if (at >= frames) break;
        const auto fraction = uint32_t(cursor & (cursorOne - 1));
        mix[2 * written] += interpolate(audio, at, fraction, 0);
        mix[2 * written + 1] += interpolate(audio, at, fraction, rightChannel);
        cursor += step;
    }
    return written;
}

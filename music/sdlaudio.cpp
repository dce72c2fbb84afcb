// Sound through SDL's audio: its callback takes the mix, and the clock follows the callbacks.
#include "music/core.h"
#include "music/output.h"

#include <SDL.h>

#include <algorithm>

namespace {

// 1024 frames are 23 ms at 44100 Hz. The clock is as smooth with any size; the delay between
// playing and hearing grows with it.
constexpr Uint16 bufferFrames = 1024;
// Right after a callback, SDL 1.2 holds this many of its buffers, the one just filled included,
// before the next frame is heard: it primes the device with two and then refills one at a time.
constexpr uint32_t queuedBuffers = 2;

unsigned rate = 0;
DeviceClock clock; // audioLock held

using Lock = std::lock_guard<std::mutex>;

// SDL's audio thread. Takes no allocation and touches no file: it only mixes what was decoded.
void fill(void*, Uint8* bytes, int length) {
    const double stamp = monotonicSeconds();
    auto* out = reinterpret_cast<int16_t*>(bytes);
    const size_t asked = size_t(std::max(length, 0)) / (2 * sizeof(int16_t));
    if (asked == 0) return;
    const Lock lock(audioLock);
    audioMix(out, uint32_t(asked));

    if (asked != size_t(clock.period)) { // SDL chose another buffer size than asked for
        const uint64_t handed = clock.handed;
        clock = makeDeviceClock(rate, uint32_t(asked), uint32_t(queuedBuffers * asked));
        clock.handed = handed;
    }
    deviceClockCallback(clock, stamp, audioHanded());
}

bool open(unsigned outputRate) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) return false;
    {
        const Lock lock(audioLock);
        rate = outputRate;
        clock = makeDeviceClock(rate, bufferFrames, queuedBuffers * bufferFrames);
    }
    SDL_AudioSpec wanted{};
    wanted.freq = int(outputRate);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = bufferFrames;
    wanted.callback = fill;
    // No `obtained` format: SDL converts our format to the device's, so the callback always gets
    // 16-bit stereo at `rate`.
    if (SDL_OpenAudio(&wanted, nullptr) < 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudio(0); // the device runs until it is closed; pausing is the mixer's to do
    return true;
}

void close() {
    SDL_CloseAudio(); // waits for the callback, which takes audioLock
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

double heard(double now) {
    return deviceClockHeard(clock, now);
}

// The callback takes the mix from where the streams now stand.
void replace() {}

} // namespace

extern const SoundOutput sdlAudioOutput = {
    "sdl", false, open, close, heard, replace, nullptr, nullptr, nullptr,
};

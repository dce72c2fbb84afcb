// The spectrum of the audio at a position: Hann window and kissfft's real-input transform.
#include "music/core.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

struct ConfigFree {
    void operator()(kiss_fftr_state* config) const { kiss_fftr_free(config); }
};

// The periodic Hann window: its mean is exactly 1/2, which the magnitude scale counts on.
std::array<float, fftFrames> makeHannWindow() {
    std::array<float, fftFrames> window{};
    for (int n = 0; n < fftFrames; ++n)
        window[n] = float(0.5 - 0.5 * std::cos(2 * M_PI * n / fftFrames));
    return window;
}

} // namespace

void spectrumAt(const DecodedAudio& audio, uint64_t start, float magnitudes[fftBins]) {
    static const std::array<float, fftFrames> window = makeHannWindow();
    // kissfft keeps scratch space in its configuration, so each thread has its own.
    thread_local std::unique_ptr<kiss_fftr_state, ConfigFree> config(
        kiss_fftr_alloc(fftFrames, 0, nullptr, nullptr));
    if (!config) {
        std::fill(magnitudes, magnitudes + fftBins, 0.0f);
        return;
    }

    const uint64_t frames = audio.frames();
    std::array<kiss_fft_scalar, fftFrames> input{};
    for (int n = 0; n < fftFrames; ++n) {
        if (start >= frames || uint64_t(n) >= frames - start) break; // zeros past the end
        const size_t first = size_t(start + n) * audio.channels;
        float sum = 0;
        for (int c = 0; c < audio.channels; ++c)
            sum += audio.samples[first + c];
        input[n] = sum / (32768.0f * audio.channels) * window[n];
    }
    std::array<kiss_fft_cpx, fftBins + 1> output{};
    kiss_fftr(config.get(), input.data(), output.data());
    for (int k = 0; k < fftBins; ++k)
        magnitudes[k] = std::hypot(output[k].r, output[k].i) * fftMagnitudeScale;
}

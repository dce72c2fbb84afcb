// MP3 files made at test time: tones and other generated signals, encoded with libmp3lame.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// A sample value in [-1, 1] of `channel` (0 left, 1 right) at `seconds` from the start.
using SampleGenerator = std::function<float(double seconds, int channel)>;

// Writes `frames` frames of `generator` at `rate` Hz with 1 or 2 channels as a constant-bitrate
// MP3 at the same rate, with the LAME header that lets a decoder drop the encoder's delay and
// padding, so that exactly `frames` frames decode again. False when it cannot be written.
bool writeToneMp3(const std::string& path, int rate, int channels, int64_t frames,
                  const SampleGenerator& generator);

// A sine of `frequency` Hz and peak `amplitude` on every channel.
SampleGenerator sineTone(double frequency, double amplitude);

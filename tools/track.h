// The show's music: an original electronic track, synthesized here and written as an MP3 file.
#pragma once

#include <string>
#include <vector>

// The track before encoding: 44100 Hz, left and right, samples within [-1, 1].
struct StereoPcm {
    std::vector<float> left, right;
};

// 96 s at 120 beats per minute, beat n at frame n * 22050; the same samples every run.
StereoPcm renderMusicTrack();

// Renders the track and writes it as a 192 kbit/s stereo MP3 with the encoder's info tag (encoder
// delay and padding, for gapless decoding) and no ID3 tag: the same bytes every run. False when
// the encoder or the file fails.
bool writeMusicTrack(const std::string& path);

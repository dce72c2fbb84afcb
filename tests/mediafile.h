// Reading a recorded video file back with FFmpeg's libraries, for the recorder's tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct MediaFile {
    std::string container;              // the demuxer's name, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
    std::string videoCodec, audioCodec; // e.g. "h264", "ffv1", "aac", "flac"
    std::string pixelFormat;            // the video stream's, e.g. "yuv420p"
    int width = 0, height = 0;
    std::vector<double> frameTimes; // seconds, in decoding output order
    int sampleRate = 0, channels = 0;
    double firstSampleTime = -1; // seconds, of the first audio sample decoded
    std::vector<float> samples;  // interleaved, full scale 1 (16-bit samples exactly k/32768)
};

// Every frame as top-down RGBA rows, width * height * 4 bytes, with its index and time.
using FrameVisitor = std::function<void(int index, double seconds, const uint8_t* rgba)>;

// Demuxes and decodes the whole file; false with a reason when it cannot be read through.
bool readMediaFile(const std::string& path, MediaFile& file, std::string& error,
                   const FrameVisitor& visit = nullptr);

// A top-down RGBA picture as H.264 recordings carry it: converted to 4:2:0 BT.709 limited range
// the way the encoder converts, and back the way readMediaFile() converts. Halving the colour
// resolution loses detail of its own (on the show's pictures at 320x180 it alone leaves 29 to 35
// dB); comparing a decoded frame with this measures what the encoder lost on top.
std::vector<uint8_t> throughYuv420(const uint8_t* rgba, int width, int height);

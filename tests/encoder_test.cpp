// The video file writer alone: synthetic pictures and sound written, then decoded back and
// compared.
#include "app/encoder.h"
#include "tests/mediafile.h"
#include "tests/psnr.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int width = 320, height = 180, fps = 30, frames = 60, rate = 44100;

// Top-down RGBA: smooth gradients with a grey square that moves three pixels a frame, so every
// frame differs. The square's edges are in brightness only: 4:2:0 video halves the colour
// resolution, and a sharp edge in colour alone would measure the subsampling, not the encoder.
std::vector<uint8_t> picture(int k) {
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
            const int lift = x >= 10 + 3 * k && x < 50 + 3 * k && y >= 60 && y < 100 ? 60 : 0;
            p[0] = uint8_t(x * 180 / width + lift);
            p[1] = uint8_t(y * 180 / height + lift);
            p[2] = uint8_t((x + y) / 3 + k + lift);
            p[3] = 255;
        }
    return rgba;
}

// A tone with noise on it, different on each side: its autocorrelation has one sharp peak.
std::vector<int16_t> sound(size_t sampleFrames) {
    std::vector<int16_t> samples(sampleFrames * 2);
    uint32_t state = 12345;
    for (size_t i = 0; i < sampleFrames; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = (double(state >> 8) / double(1 << 24) - 0.5) * 6000;
        const double tone = 8000 * std::sin(2 * M_PI * 440 * double(i) / rate);
        samples[2 * i] = int16_t(std::lround(tone + noise));
        samples[2 * i + 1] = int16_t(std::lround(0.5 * tone - noise));
    }
    return samples;
}

size_t sampleAt(int k) {
    return size_t(int64_t(k) * rate / fps);
}

// Writes `count` frames, frame k with the sound between its start and the next frame's, the
// pictures bottom-up as the GL reads them.
bool writeClip(Encoder& encoder, const std::vector<int16_t>& audio, int count) {
    for (int k = 0; k < count; ++k) {
        uint8_t* pixels = encoder.beginFrame();
        if (pixels == nullptr) return false;
        const std::vector<uint8_t> rgba = picture(k);
        for (int y = 0; y < height; ++y)
            std::copy_n(&rgba[size_t(height - 1 - y) * width * 4], width * 4,
                        pixels + size_t(y) * width * 4);
        encoder.endFrame(&audio[sampleAt(k) * 2], sampleAt(k + 1) - sampleAt(k));
    }
    return true;
}

EncoderSettings settingsFor(const std::string& path, bool lossless) {
    EncoderSettings settings;
    settings.path = path;
    settings.width = width;
    settings.height = height;
    settings.fps = fps;
    settings.lossless = lossless;
    settings.sampleRate = rate;
    settings.channels = 2;
    return settings;
}

struct Recorded {
    MediaFile file;
    double worstPsnr = INFINITY;
    int framesCompared = 0;
};

Recorded recordAndRead(const std::string& path, bool lossless) {
    const std::vector<int16_t> audio = sound(sampleAt(frames));
    Encoder encoder;
    std::string error;
    Recorded result;
    EXPECT_TRUE(encoder.open(settingsFor(path, lossless), error)) << error;
    EXPECT_TRUE(writeClip(encoder, audio, frames)) << encoder.failure();
    EXPECT_TRUE(encoder.finish(error)) << error;
    EXPECT_FALSE(std::ifstream(Encoder::partialPathFor(path)).good());
    EXPECT_TRUE(readMediaFile(path, result.file, error, [&](int k, double, const uint8_t* rgba) {
        const std::vector<uint8_t> expected = picture(k);
        result.worstPsnr =
            std::min(result.worstPsnr, psnrRgb(rgba, expected.data(), width, height));
        ++result.framesCompared;
    })) << error;
    return result;
}

void expectFrameTimes(const MediaFile& file, double tolerance) {
    ASSERT_EQ(file.frameTimes.size(), size_t(frames));
    for (int k = 0; k < frames; ++k)
        EXPECT_NEAR(file.frameTimes[k], double(k) / fps, tolerance) << "frame " << k;
    EXPECT_EQ(file.frameTimes[0], 0.0);
}

void expectSamplesIdentical(const MediaFile& file) {
    const std::vector<int16_t> audio = sound(sampleAt(frames));
    ASSERT_EQ(file.samples.size(), audio.size());
    size_t differing = 0;
    for (size_t i = 0; i < audio.size(); ++i)
        if (file.samples[i] * 32768.0f != float(audio[i])) ++differing;
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(file.firstSampleTime, 0.0);
}

} // namespace

TEST(Encoder, LosslessMatroskaKeepsEveryPixelAndSample) {
    TempDir dir;
    const Recorded r = recordAndRead(dir.path("clip.mkv"), true);
    EXPECT_EQ(r.file.videoCodec, "ffv1");
    EXPECT_EQ(r.file.audioCodec, "flac");
    EXPECT_EQ(r.file.width, width);
    EXPECT_EQ(r.file.height, height);
    EXPECT_EQ(r.framesCompared, frames);
    EXPECT_EQ(r.worstPsnr, INFINITY) << "an FFV1 frame differs from the picture written";
    expectFrameTimes(r.file, 0.0005); // Matroska counts milliseconds
    expectSamplesIdentical(r.file);
}

TEST(Encoder, Mp4HoldsH264AndAacWithTheFirstSampleAtZero) {
    TempDir dir;
    const Recorded r = recordAndRead(dir.path("clip.mp4"), false);
    EXPECT_EQ(r.file.videoCodec, "h264");
    EXPECT_EQ(r.file.pixelFormat, "yuv420p");
    EXPECT_EQ(r.file.audioCodec, "aac");
    EXPECT_EQ(r.framesCompared, frames);
    EXPECT_GE(r.worstPsnr, 40.0);
    expectFrameTimes(r.file, 1e-9);
    EXPECT_EQ(r.file.firstSampleTime, 0.0);

    // The lag that best lines the decoded sound up with what went in: 0, give or take a sample.
    const std::vector<int16_t> audio = sound(sampleAt(frames));
    ASSERT_EQ(r.file.channels, 2);
    ASSERT_GE(r.file.samples.size(), audio.size() - 2 * 1024);
    const int maxLag = 3000;
    const size_t from = 4096, to = sampleAt(frames) - 4096;
    int bestLag = 0;
    double best = -INFINITY;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0;
        for (size_t i = from; i < to; ++i)
            sum += double(audio[2 * i]) * r.file.samples[2 * (i + lag)];
        if (sum > best) best = sum, bestLag = lag;
    }
    EXPECT_LE(std::abs(bestLag), 1) << "the sound is " << bestLag << " samples late";
    // Its length: the sound handed in, rounded up to whole AAC frames at most.
    EXPECT_LT(r.file.samples.size(), audio.size() + 2 * 1024);
}

TEST(Encoder, MatroskaTakesH264WithFlac) {
    TempDir dir;
    const Recorded r = recordAndRead(dir.path("clip.mkv"), false);
    EXPECT_EQ(r.file.videoCodec, "h264");
    EXPECT_EQ(r.file.audioCodec, "flac");
    EXPECT_GE(r.worstPsnr, 40.0);
    expectFrameTimes(r.file, 0.0005);
    expectSamplesIdentical(r.file);
}

// Refusals happen in open(), before anything is written.
void expectRefused(const EncoderSettings& settings, const std::string& message,
                   const TempDir& dir) {
    Encoder encoder;
    std::string error;
    EXPECT_FALSE(encoder.open(settings, error));
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_TRUE(dir.entries().empty()) << dir.entries().front();
}

TEST(Encoder, RefusesWhatItCannotWriteBeforeWriting) {
    TempDir dir;
    expectRefused(settingsFor(dir.path("clip.xyz"), false),
                  "no container for the extension \".xyz\"", dir);
    expectRefused(settingsFor(dir.path("clip"), false), "the file name has no extension", dir);
    expectRefused(settingsFor(dir.path("clip.webm"), false),
                  "a \".webm\" file cannot hold H.264 video", dir);
    expectRefused(settingsFor(dir.path("clip.mp4"), true), "lossless recordings go in .mkv", dir);
    EncoderSettings missing = settingsFor(dir.path("clip.mp4"), false);
    missing.h264Encoder = "nosuch264";
    expectRefused(missing, "this system's FFmpeg has no nosuch264 encoder for H.264", dir);
    missing = settingsFor(dir.path("clip.mkv"), true);
    missing.flacEncoder = "nosuchflac";
    expectRefused(missing, "this system's FFmpeg has no nosuchflac encoder for FLAC", dir);
    EncoderSettings odd = settingsFor(dir.path("clip.mp4"), false);
    odd.width = 321;
    expectRefused(odd, "width and height must be even", dir);
}

TEST(Encoder, RefusesAFolderThatCannotBeWritten) {
    TempDir dir;
    expectRefused(settingsFor(dir.path("no/such/folder/clip.mp4"), false),
                  "cannot write \"" + dir.path("no/such/folder/clip.mp4") + "\": No such file",
                  dir);
    std::fclose(std::fopen(dir.path("plain").c_str(), "w"));
    Encoder encoder;
    std::string error;
    EXPECT_FALSE(encoder.open(settingsFor(dir.path("plain/clip.mkv"), true), error));
    EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
}

TEST(Encoder, LeavesNoFileWhenNotFinished) {
    TempDir dir;
    const std::string path = dir.path("clip.mp4");
    {
        Encoder encoder;
        std::string error;
        ASSERT_TRUE(encoder.open(settingsFor(path, false), error)) << error;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"clip.mp4.part"});
        ASSERT_TRUE(writeClip(encoder, sound(sampleAt(frames)), 10));
    }
    EXPECT_TRUE(dir.entries().empty());
}

// A write that fails half-way (the file size limit stands for a full disk: the same EFBIG-like
// failure of write(2)): the encoder stops, says why, and leaves no file behind.
TEST(Encoder, AFailedWriteLeavesNoFile) {
    TempDir dir;
    const std::string path = dir.path("clip.mkv");
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200 * 1024, 200 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        Encoder encoder;
        std::string error;
        if (!encoder.open(settingsFor(path, true), error)) _exit(2);
        const bool wrote = writeClip(encoder, sound(sampleAt(frames)), frames);
        const bool finished = encoder.finish(error);
        if (write(pipeEnds[1], error.data(), error.size()) < 0) _exit(4);
        _exit(finished ? 0 : wrote ? 3 : 5);
    }
    close(pipeEnds[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, n);
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(WEXITSTATUS(status) == 3 || WEXITSTATUS(status) == 5) << WEXITSTATUS(status);
    EXPECT_NE(message.find("cannot write \"" + path + "\": File too large"), std::string::npos)
        << message;
    EXPECT_TRUE(dir.entries().empty());
}

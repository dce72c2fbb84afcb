// The recorder's frame loop on a stand-in show whose pictures tell the music time they were drawn
// at.
#include "app/encoder.h"
#include "app/offscreen.h"
#include "app/recorder.h"
#include "music/core.h"
#include "tests/mediafile.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr int width = 64, height = 36, rate = 8000, fps = 25;

struct Scratch {
    std::string path;
    Scratch() {
        char pattern[] = "/tmp/recorder_test.XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Scratch() { std::system(("rm -rf '" + path + "'").c_str()); }
};

// The stand-in show clears to a grey whose level counts the moments since `origin`, `steps` a
// frame, and presents nothing from `end` on. Every hold and draw is logged.
struct StandIn {
    double origin = 0, end = 1e9;
    int steps = 1;
    double held = -1;
    std::vector<double> draws;

    RecordedShow show() {
        RecordedShow s;
        s.hold = [this](double seconds) { held = seconds; };
        s.draw = [this] {
            draws.push_back(held);
            const long level = std::lround((held - origin) * fps * steps);
            glClearColor(float(level % 256) / 255.0f, 0.5f, 1 - float(level % 256) / 255.0f, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            return held < end;
        };
        s.lastPresented = end - 0.5 / fps;
        return s;
    }
};

// A mono ramp, one sample per step, so that each sample says where in the track it lay.
DecodedAudio ramp(int seconds) {
    DecodedAudio audio;
    audio.rate = rate;
    audio.channels = 1;
    for (int i = 0; i < seconds * rate; ++i)
        audio.samples.push_back(int16_t(i % 30000));
    return audio;
}

struct Recording {
    RecordedPart part;
    MediaFile file;
    std::vector<int> red; // of each frame decoded, at its centre
};

Recording record(const RecordingPlan& plan, StandIn& standIn, const DecodedAudio& track,
                 const std::string& path, int stopAfter = -1) {
    unsetenv("DISPLAY");
    Recording run;
    OffscreenContext context;
    std::string error;
    EXPECT_TRUE(context.open(width, height, 4, error)) << error;
    Encoder encoder;
    EncoderSettings settings;
    settings.path = path;
    settings.width = width;
    settings.height = height;
    settings.fps = fps;
    settings.lossless = true;
    settings.sampleRate = rate;
    settings.channels = 1;
    EXPECT_TRUE(encoder.open(settings, error)) << error;
    std::atomic<int> stop{0};
    run.part = recordFrames(plan, standIn.show(), context, encoder, track, stop, [&](long done) {
        if (done == stopAfter) stop = 15;
    });
    EXPECT_TRUE(encoder.finish(error)) << error;
    EXPECT_TRUE(readMediaFile(path, run.file, error, [&](int, double, const uint8_t* rgba) {
        run.red.push_back(rgba[(size_t(height / 2) * width + width / 2) * 4]);
    })) << error;
    return run;
}

} // namespace

TEST(Recorder, FrameKShowsTheTimeFromPlusKOverFpsWithItsOwnSound) {
    Scratch dir;
    const DecodedAudio track = ramp(4);
    StandIn standIn;
    standIn.origin = 1.0;
    const RecordingPlan plan{1.0, 2.0, fps, 1, rate};
    const Recording run = record(plan, standIn, track, dir.path + "/part.mkv");
    EXPECT_EQ(run.part.frames, 25);
    EXPECT_FALSE(run.part.stopped);
    EXPECT_DOUBLE_EQ(run.part.endTime, 2.0);
    ASSERT_EQ(run.red.size(), 25u);
    for (int k = 0; k < 25; ++k)
        EXPECT_EQ(run.red[k], k) << "frame " << k;
    // One draw to see whether the start presents, then one per frame at its exact time.
    ASSERT_EQ(standIn.draws.size(), 26u);
    for (int k = 0; k < 25; ++k)
        EXPECT_EQ(standIn.draws[k + 1], 1.0 + double(k) / fps);
    // The sound: the track from the sample at 1.0 s on, every sample, nothing more.
    ASSERT_EQ(run.file.samples.size(), size_t(rate));
    for (int i = 0; i < rate; ++i)
        ASSERT_EQ(std::lround(run.file.samples[i] * 32768), (rate + i) % 30000) << i;
    EXPECT_EQ(run.file.firstSampleTime, 0.0);
    EXPECT_EQ(run.file.frameTimes.front(), 0.0);
}

TEST(Recorder, BlendAveragesEvenlySpacedMomentsWithinEachFrame) {
    Scratch dir;
    const DecodedAudio track = ramp(2);
    StandIn standIn;
    standIn.steps = 4;
    const RecordingPlan plan{0, 0.4, fps, 4, rate};
    const Recording run = record(plan, standIn, track, dir.path + "/blend.mkv");
    ASSERT_EQ(run.red.size(), 10u);
    // Moments 4k .. 4k + 3 average to 4k + 1.5, rounded half up.
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(run.red[k], 4 * k + 2) << "frame " << k;
    ASSERT_EQ(standIn.draws.size(), 41u);
    EXPECT_DOUBLE_EQ(standIn.draws[1 + 4 * 3 + 2], 3.5 / fps);
}

TEST(Recorder, ThePicturePresentedLastStaysAfterTheShowEnds) {
    Scratch dir;
    const DecodedAudio track = ramp(3);
    StandIn standIn;
    standIn.end = 0.2; // five frames at 25 fps
    const Recording run =
        record(RecordingPlan{0, 0.6, fps, 1, rate}, standIn, track, dir.path + "/end.mkv");
    ASSERT_EQ(run.red.size(), 15u);
    for (int k = 0; k < 15; ++k)
        EXPECT_EQ(run.red[k], std::min(k, 4)) << "frame " << k;
    EXPECT_EQ(run.file.samples.size(), size_t(0.6 * rate));

    // Starting after the end: the moment the show presented last is drawn first, and stands.
    StandIn late;
    late.end = 0.2;
    const Recording after =
        record(RecordingPlan{1, 1.2, fps, 1, rate}, late, track, dir.path + "/late.mkv");
    ASSERT_EQ(after.red.size(), 5u);
    for (int red : after.red)
        EXPECT_EQ(red, std::lround((0.2 - 0.5 / fps) * fps));
}

TEST(Recorder, StopsAfterTheFrameInProgressWithSoundUpToThere) {
    Scratch dir;
    const DecodedAudio track = ramp(3);
    StandIn standIn;
    const Recording run =
        record(RecordingPlan{0, 2, fps, 1, rate}, standIn, track, dir.path + "/stop.mkv", 7);
    EXPECT_TRUE(run.part.stopped);
    EXPECT_EQ(run.part.frames, 7);
    EXPECT_DOUBLE_EQ(run.part.endTime, 7.0 / fps);
    EXPECT_EQ(run.red.size(), 7u);
    EXPECT_EQ(run.file.samples.size(), size_t(7 * rate / fps));
}

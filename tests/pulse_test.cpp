// The audio layer on a private PulseAudio daemon: the clock against the server, pauses, seeks,
// loss.
#include "music/bass.h"
#include "music/core.h"
#include "tools/mp3.h"
#include "tests/pulsedaemon.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double bytesPerSecond = 44100 * 4;

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Polls `done` every millisecond; false if it has not come true within `bound` seconds.
bool waitFor(const std::function<bool()>& done, double bound = 10) {
    const double deadline = monotonicSeconds() + bound;
    while (!done()) {
        if (monotonicSeconds() > deadline) return false;
        sleepMs(1);
    }
    return true;
}

double seconds(HSTREAM stream) {
    return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream));
}

class PulseTest : public ::testing::Test {
  protected:
    void TearDown() override {
        BASS_Free();
        unsetenv("PULSE_LATENCY_MSEC");
    }

    // Starts a daemon, points this process at it and opens the output there.
    void startServer(PulseDaemon& daemon) {
        ASSERT_TRUE(daemon.start());
        daemon.useFromThisProcess();
        ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, NULL));
        ASSERT_STREQ(bassOutputName(), "server");
    }

    HSTREAM playTone(double seconds) {
        const std::string path = tmp.path("tone.mp3");
        if (!writeToneMp3(path, 44100, 2, int64_t(seconds * 44100), sineTone(440, 0.3))) {
            ADD_FAILURE() << "cannot write " << path;
            return 0;
        }
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
        EXPECT_NE(stream, 0u);
        EXPECT_TRUE(BASS_ChannelPlay(stream, TRUE));
        return stream;
    }

    // `count` reports of the server on `stream`, each of a moment of its own; fails the test
    // when they stop coming.
    std::vector<BassServerReport> reports(HSTREAM stream, int count) {
        std::vector<BassServerReport> found;
        double lastMoment = 0;
        const bool enough = waitFor([&] {
            BassServerReport report;
            if (BASS_ChannelGetPosition(stream) == QWORD(-1)) return false;
            if (bassServerReport(stream, &report) && report.moment > lastMoment) {
                lastMoment = report.moment;
                found.push_back(report);
            }
            return int(found.size()) >= count;
        });
        EXPECT_TRUE(enough) << "the server's reports stopped after " << found.size();
        return found;
    }

    // The clock and the server's position differ by less than 2 ms in 95 of 100 reports and by
    // less than 10 ms in every one (a loaded machine delays a report now and then), over two
    // seconds once the sound has settled (the first tenth of a second of a stream is left out);
    // returns the largest latency and sink latency reported.
    void expectTheClockFollowsTheServer(HSTREAM stream, double& latency, double& sink) {
        latency = sink = 0;
        std::vector<double> offsets;
        const std::vector<BassServerReport> all = reports(stream, 105);
        for (size_t i = 5; i < all.size(); ++i) {
            const BassServerReport& report = all[i];
            offsets.push_back(std::fabs(report.clockBytes - report.serverBytes) / bytesPerSecond);
            latency = std::max(latency, report.latencySeconds);
            sink = std::max(sink, report.sinkSeconds);
        }
        ASSERT_EQ(offsets.size(), 100u);
        std::sort(offsets.begin(), offsets.end());
        EXPECT_LT(offsets[94], 0.002);
        EXPECT_LT(offsets.back(), 0.010);
    }

    TempDir tmp;
};

struct Latency {
    int streamMs; // PULSE_LATENCY_MSEC, the stream's requested latency; 0 for ours
    int sinkDelayMs;
    double least, most; // the whole latency the server must report, in seconds
};

class PulseLatencyTest : public PulseTest, public ::testing::WithParamInterface<Latency> {};

} // namespace

TEST_P(PulseLatencyTest, TheClockReadsThePositionTheServerSaysIsPlaying) {
    const Latency latency = GetParam();
    if (latency.streamMs > 0)
        setenv("PULSE_LATENCY_MSEC", std::to_string(latency.streamMs).c_str(), 1);
    PulseDaemon daemon(latency.sinkDelayMs);
    startServer(daemon);
    const HSTREAM stream = playTone(6);
    ASSERT_TRUE(waitFor([&] { return seconds(stream) > 0.3; }));
    double reported = 0, sink = 0;
    expectTheClockFollowsTheServer(stream, reported, sink);
    EXPECT_GE(reported, latency.least);
    EXPECT_LE(reported, latency.most);
    // A sink's own delay is part of what the server reports, and so of what the clock counts.
    if (latency.sinkDelayMs > 0) {
        EXPECT_GE(sink, latency.sinkDelayMs / 1000.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Latencies, PulseLatencyTest,
                         ::testing::Values(Latency{20, 0, 0.010, 0.060},
                                           Latency{0, 0, 0.025, 0.090},
                                           Latency{400, 0, 0.200, 0.500},
                                           Latency{0, 150, 0.175, 0.450}));

TEST_F(PulseTest, APauseHoldsTheClockAndASeekReadsTheByteAskedForUntilItIsHeard) {
    PulseDaemon daemon;
    startServer(daemon);
    const HSTREAM stream = playTone(6);
    ASSERT_TRUE(waitFor([&] { return seconds(stream) > 0.3; }));

    ASSERT_TRUE(BASS_Pause());
    const QWORD held = BASS_ChannelGetPosition(stream);
    EXPECT_EQ(held % 4, 0u);
    for (int i = 0; i < 10; ++i) {
        sleepMs(20);
        EXPECT_EQ(BASS_ChannelGetPosition(stream), held);
    }
    BassServerReport report;
    EXPECT_FALSE(bassServerReport(stream, &report)); // nothing plays at the server

    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 3 * 176400));
    EXPECT_EQ(BASS_ChannelGetPosition(stream), 3u * 176400);
    ASSERT_TRUE(BASS_Start());
    // Exactly the byte asked for until the server plays it, then on from there, never back.
    QWORD last = 3 * 176400;
    ASSERT_TRUE(waitFor([&] {
        const QWORD now = BASS_ChannelGetPosition(stream);
        EXPECT_GE(now, last);
        last = now;
        return now > 3 * 176400 + 0.2 * bytesPerSecond;
    }));
    double latency = 0, sink = 0;
    expectTheClockFollowsTheServer(stream, latency, sink);

    // A seek while playing: the clock starts again at the byte asked for.
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 176400));
    const QWORD after = BASS_ChannelGetPosition(stream);
    EXPECT_GE(after, 176400u);
    EXPECT_LT(after, 176400 + 0.02 * bytesPerSecond);
    expectTheClockFollowsTheServer(stream, latency, sink);
}

TEST_F(PulseTest, LosingTheServerKeepsTheClockRunningAndTheSoundComesBackWhereItIs) {
    PulseDaemon daemon;
    startServer(daemon);
    const HSTREAM stream = playTone(30);
    ASSERT_TRUE(waitFor([&] { return seconds(stream) > 0.5; }));

    testing::internal::CaptureStderr();
    daemon.stop(SIGKILL);
    ASSERT_TRUE(waitFor([] { return std::string(bassOutputName()) == "silent"; }));
    // One second per second on the system clock, never back, from where it was.
    const double wall0 = monotonicSeconds(), music0 = seconds(stream);
    double last = music0;
    ASSERT_TRUE(waitFor([&] {
        const double now = seconds(stream);
        EXPECT_GE(now, last);
        last = now;
        return monotonicSeconds() - wall0 > 2;
    }));
    const double wall1 = monotonicSeconds(), music1 = seconds(stream);
    EXPECT_NEAR((music1 - music0) / (wall1 - wall0), 1.0, 0.01);

    ASSERT_TRUE(daemon.start());
    // The clock ran on until the server was back, and the sound goes on from where it is then.
    ASSERT_TRUE(waitFor([] { return std::string(bassOutputName()) == "server"; }));
    // (A fresh null sink first plays out two seconds it rendered before anything played into
    // it, so the clock may hold at the position it had reached until then.)
    const double music2 = seconds(stream);
    EXPECT_GE(music2, music1);
    double latency = 0, sink = 0;
    expectTheClockFollowsTheServer(stream, latency, sink);
    EXPECT_GE(seconds(stream), music2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Sound lost: the show goes on without it.\n");
}

TEST_F(PulseTest, WithNoServerTheOutputIsSdlAudio) {
    PulseDaemon daemon; // never started: its socket does not exist
    daemon.useFromThisProcess();
    const double before = monotonicSeconds();
    const bool opened = BASS_Init(1, 44100, 0, 0, NULL);
    EXPECT_LT(monotonicSeconds() - before, 2.5);
    // Whether SDL finds a device of its own depends on the machine; the server is never used.
    EXPECT_STREQ(bassOutputName(), opened ? "sdl" : "none");
    BASS_Free();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, NULL));
    EXPECT_STREQ(bassOutputName(), "sdl");
}

TEST_F(PulseTest, SdlAudioDriverAsksForSdlEvenWithAServer) {
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start());
    daemon.useFromThisProcess();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, NULL));
    EXPECT_STREQ(bassOutputName(), "sdl");
}

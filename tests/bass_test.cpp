// Our audio library on MP3 files made here: lengths, seeks, the clock, the spectrum, failures.
#include "music/bass.h"
#include "tools/mp3.h"
#include "tests/support.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace {

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Polls `done` every millisecond; false if it has not come true within ten seconds.
bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        sleepMs(1);
    }
    return true;
}

double seconds(HSTREAM stream) {
    return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream));
}

std::vector<float> fft(HSTREAM stream) {
    std::vector<float> bins(512, -1.0f);
    EXPECT_NE(BASS_ChannelGetData(stream, bins.data(), BASS_DATA_FFT1024), DWORD(-1));
    return bins;
}

int loudestBin(const std::vector<float>& bins) {
    return int(std::max_element(bins.begin(), bins.end()) - bins.begin());
}

class BassTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
    void TearDown() override { BASS_Free(); }

    // An MP3 of `frames` frames made in the test's directory, opened as a stream.
    HSTREAM open(int rate, int channels, int64_t frames, const SampleGenerator& generator) {
        const std::string path = tmp.path("tone" + std::to_string(++files) + ".mp3");
        if (!writeToneMp3(path, rate, channels, frames, generator)) {
            ADD_FAILURE() << "cannot write " << path;
            return 0;
        }
        return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    }

    // Plays a three-second tone: time advances while playing, stands still while paused, and
    // never goes back.
    void checkPauseAndPlay() {
        const HSTREAM stream = open(44100, 2, 3 * 44100, sineTone(440, 0.3));
        ASSERT_NE(stream, 0u);
        ASSERT_TRUE(BASS_ChannelPlay(stream, TRUE));
        double last = 0;
        auto monotonic = [&] {
            const double now = seconds(stream);
            EXPECT_GE(now, last);
            last = now;
            return now;
        };
        ASSERT_TRUE(waitFor([&] { return monotonic() > 0.2; }));

        ASSERT_TRUE(BASS_Pause());
        const QWORD held = BASS_ChannelGetPosition(stream);
        EXPECT_EQ(held % 4, 0u);
        for (int i = 0; i < 5; ++i) {
            sleepMs(20);
            EXPECT_EQ(BASS_ChannelGetPosition(stream), held);
        }

        ASSERT_TRUE(BASS_Start());
        last = BASS_ChannelBytes2Seconds(stream, held);
        ASSERT_TRUE(
            waitFor([&] { return monotonic() > BASS_ChannelBytes2Seconds(stream, held) + 0.2; }));
    }

    TempDir tmp;
    int files = 0;
};

} // namespace

TEST_F(BassTest, AKnownToneHasItsExactLengthInBytesAndSeconds) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    const HSTREAM stereo = open(44100, 2, 66150, sineTone(440, 0.3)); // 1.5 s
    ASSERT_NE(stereo, 0u);
    EXPECT_EQ(BASS_ChannelGetPosition(stereo), 0u);
    EXPECT_TRUE(BASS_ChannelSetPosition(stereo, 66150 * 4)); // the very end
    EXPECT_EQ(BASS_ChannelGetPosition(stereo), 264600u);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(stereo, 264600), 1.5);
    EXPECT_FALSE(BASS_ChannelSetPosition(stereo, 264601));
    EXPECT_FALSE(BASS_ChannelSetPosition(stereo, 264604));

    const HSTREAM mono = open(48000, 1, 24000, sineTone(440, 0.3)); // 0.5 s
    ASSERT_NE(mono, 0u);
    EXPECT_TRUE(BASS_ChannelSetPosition(mono, 48000));
    EXPECT_FALSE(BASS_ChannelSetPosition(mono, 48002));
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(mono, 48000), 0.5);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(mono, 4800), 0.05);
}

TEST_F(BassTest, SeeksBeforeTheStartOrPastTheEndFailAndLeaveThePosition) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    const HSTREAM stream = open(44100, 2, 44100, sineTone(440, 0.3));
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 40003)); // rounds down to a whole frame
    EXPECT_EQ(BASS_ChannelGetPosition(stream), 40000u);
    EXPECT_FALSE(BASS_ChannelSetPosition(stream, QWORD(int64_t(40000) - 50000)));
    EXPECT_EQ(BASS_ChannelGetPosition(stream), 40000u);
    EXPECT_FALSE(BASS_ChannelSetPosition(stream, 44100 * 4 + 4));
    EXPECT_EQ(BASS_ChannelGetPosition(stream), 40000u);
}

TEST_F(BassTest, WithoutSoundTimeStandsStillWhilePausedAndAdvancesWhilePlaying) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    checkPauseAndPlay();
}

TEST_F(BassTest, ThroughSdlTimeStandsStillWhilePausedAndAdvancesWhilePlaying) {
    ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, NULL));
    checkPauseAndPlay();
}

TEST_F(BassTest, ASeekWhilePausedReadsExactlyAndPlayingGoesOnFromThere) {
    ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, NULL));
    const HSTREAM stream = open(44100, 2, 2 * 44100, sineTone(440, 0.3));
    ASSERT_TRUE(BASS_ChannelPlay(stream, TRUE));
    ASSERT_TRUE(waitFor([&] { return seconds(stream) > 0.1; }));
    ASSERT_TRUE(BASS_Pause());
    const QWORD here = BASS_ChannelGetPosition(stream);
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, here + 50000));
    EXPECT_EQ(BASS_ChannelGetPosition(stream), here + 50000);
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, here));
    EXPECT_EQ(BASS_ChannelGetPosition(stream), here);

    ASSERT_TRUE(BASS_Start());
    QWORD last = here;
    ASSERT_TRUE(waitFor([&] {
        const QWORD now = BASS_ChannelGetPosition(stream);
        EXPECT_GE(now, last);
        last = now;
        return now > here + 4 * 4410;
    }));
}

TEST_F(BassTest, AStreamPlaysToItsEndAndStopsThere) {
    ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, NULL));
    const HSTREAM stream = open(44100, 2, 22050, sineTone(440, 0.3));
    ASSERT_TRUE(BASS_ChannelPlay(stream, TRUE));
    QWORD last = 0;
    ASSERT_TRUE(waitFor([&] {
        const QWORD now = BASS_ChannelGetPosition(stream);
        EXPECT_GE(now, last);
        last = now;
        return now == 22050 * 4;
    }));
    sleepMs(100);
    EXPECT_EQ(BASS_ChannelGetPosition(stream), 22050u * 4);
}

// Longer than the part of a file decoded while it opens: the rest is there whenever it is asked
// for, at once.
TEST_F(BassTest, ALongFileIsWholeFromTheMomentItOpens) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    // 431 Hz (bin 10) for five seconds, then 1766 Hz (bin 41).
    const HSTREAM stream = open(44100, 2, 8 * 44100, [](double t, int) {
        return float(0.5 * std::sin(2 * M_PI * (t < 5 ? 430.66 : 1765.72) * t));
    });
    ASSERT_NE(stream, 0u);
    EXPECT_TRUE(BASS_ChannelSetPosition(stream, 8 * 44100 * 4)); // the very end
    EXPECT_EQ(BASS_ChannelGetPosition(stream), 8u * 44100 * 4);
    EXPECT_FALSE(BASS_ChannelSetPosition(stream, 8 * 44100 * 4 + 4));

    ASSERT_TRUE(BASS_ChannelSetPosition(stream, QWORD(6.5 * 44100) * 4));
    EXPECT_EQ(loudestBin(fft(stream)), 41);
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 1 * 44100 * 4));
    EXPECT_EQ(loudestBin(fft(stream)), 10);
}

TEST_F(BassTest, PlaybackRunsOnPastTheOpeningPart) {
    ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, NULL));
    const HSTREAM stream = open(44100, 2, 7 * 44100, sineTone(440, 0.3));
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, TRUE));
    // From near the end of the part decoded while the file opens, on past it.
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 4 * 44100 * 4));
    double last = 0;
    ASSERT_TRUE(waitFor([&] {
        const double now = seconds(stream);
        EXPECT_GE(now, last);
        last = now;
        return now > 5;
    }));
}

TEST_F(BassTest, TonesPeakInTheirBinsAtTheDocumentedScale) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    // Half-scale tones; a full-scale sine on a bin's centre reads 0.5. 1 kHz lies 0.22 of a bin
    // off bin 23, where the Hann window passes 98%; 86 Hz lies on bin 2.
    const struct {
        double frequency;
        int bin;
        double expected;
    } tones[] = {{1000, 23, 0.25 * 0.979}, {86, 2, 0.25}};
    for (const auto& tone : tones) {
        const HSTREAM stream = open(44100, 2, 44100, sineTone(tone.frequency, 0.5));
        ASSERT_NE(stream, 0u);
        ASSERT_TRUE(BASS_ChannelSetPosition(stream, 20000 * 4));
        std::vector<float> bins(512, -1.0f);
        EXPECT_EQ(BASS_ChannelGetData(stream, bins.data(), BASS_DATA_FFT1024), 1024u * 4);
        EXPECT_EQ(loudestBin(bins), tone.bin) << tone.frequency;
        EXPECT_NEAR(bins[tone.bin], tone.expected, 0.01) << tone.frequency;
        for (int k = tone.bin + 3; k < 512; ++k)
            ASSERT_LT(bins[k], 0.01) << tone.frequency << " " << k;
        EXPECT_GE(*std::min_element(bins.begin(), bins.end()), 0.0f);
    }
}

TEST_F(BassTest, TheSpectrumCombinesTheChannels) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    const auto tone = sineTone(1000, 0.5);
    const HSTREAM opposite =
        open(44100, 2, 44100, [&](double t, int c) { return c ? -tone(t, c) : tone(t, c); });
    const HSTREAM leftOnly =
        open(44100, 2, 44100, [&](double t, int c) { return c ? 0.0f : tone(t, c); });
    ASSERT_NE(opposite, 0u);
    ASSERT_NE(leftOnly, 0u);
    for (HSTREAM stream : {opposite, leftOnly})
        ASSERT_TRUE(BASS_ChannelSetPosition(stream, 20000 * 4));
    const auto cancelled = fft(opposite);
    EXPECT_LT(*std::max_element(cancelled.begin(), cancelled.end()), 0.005);
    const auto half = fft(leftOnly);
    EXPECT_EQ(loudestBin(half), 23);
    EXPECT_NEAR(half[23], 0.125 * 0.979, 0.01);
}

TEST_F(BassTest, FilesAt48kHzAndInMonoRunAtTheSpeedOfTheOutput) {
    ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, NULL));
    const HSTREAM reference = open(44100, 2, 3 * 44100, sineTone(440, 0.2));
    const HSTREAM others[] = {open(48000, 2, 3 * 48000, sineTone(440, 0.2)),
                              open(44100, 1, 3 * 44100, sineTone(440, 0.2)),
                              open(32000, 1, 3 * 32000, sineTone(440, 0.2))};
    // Started together, every stream's first frame goes out in the same callback.
    ASSERT_TRUE(BASS_Pause());
    ASSERT_TRUE(BASS_ChannelPlay(reference, TRUE));
    for (HSTREAM stream : others)
        ASSERT_TRUE(BASS_ChannelPlay(stream, TRUE));
    ASSERT_TRUE(BASS_Start());
    ASSERT_TRUE(waitFor([&] { return seconds(reference) > 0.5; }));

    // What has been handed out, read between two callbacks: the reference's reading repeats.
    auto handed = [](HSTREAM stream) {
        return BASS_ChannelBytes2Seconds(stream, bassHandedPosition(stream));
    };
    bool quiet = false;
    for (int attempt = 0; attempt < 100 && !quiet; ++attempt) {
        const double before = handed(reference);
        std::vector<double> times;
        for (HSTREAM stream : others)
            times.push_back(handed(stream));
        quiet = handed(reference) == before;
        if (!quiet) continue;
        for (double t : times)
            EXPECT_NEAR(t, before, 1.0 / 32000);
    }
    EXPECT_TRUE(quiet);

    ASSERT_TRUE(BASS_Pause());
    const double heard = seconds(reference);
    for (HSTREAM stream : others)
        EXPECT_NEAR(seconds(stream), heard, 1.0 / 32000);
}

TEST_F(BassTest, HandleZeroAndStaleHandlesFailHarmlessly) {
    float bins[512];
    auto expectRefused = [&](DWORD handle) {
        EXPECT_FALSE(BASS_ChannelPlay(handle, TRUE));
        EXPECT_FALSE(BASS_ChannelSetPosition(handle, 0));
        EXPECT_EQ(BASS_ChannelGetPosition(handle), QWORD(-1));
        EXPECT_LT(BASS_ChannelBytes2Seconds(handle, 1000), 0);
        EXPECT_EQ(BASS_ChannelGetData(handle, bins, BASS_DATA_FFT1024), DWORD(-1));
        EXPECT_EQ(bassHandedPosition(handle), QWORD(-1));
    };
    // Before initialisation.
    EXPECT_FALSE(BASS_Start());
    EXPECT_FALSE(BASS_Pause());
    EXPECT_FALSE(BASS_Free());
    const std::string path = tmp.path("a.mp3");
    ASSERT_TRUE(writeToneMp3(path, 44100, 2, 4410, sineTone(440, 0.3)));
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0), 0u);
    expectRefused(0);

    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    EXPECT_FALSE(BASS_Init(0, 44100, 0, 0, NULL));
    expectRefused(0);
    expectRefused(12345);
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(BASS_ChannelGetData(stream, nullptr, BASS_DATA_FFT1024), DWORD(-1));
    EXPECT_EQ(BASS_ChannelGetData(stream, bins, 0x80000002), DWORD(-1)); // a size we do not make

    // After release, and after initialising again: the old handle names nothing.
    ASSERT_TRUE(BASS_Free());
    expectRefused(stream);
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    expectRefused(stream);
    const HSTREAM again = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, stream);
}

TEST_F(BassTest, MissingJunkAndEmptyFilesOpenNoStreamAndPrintNothing) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    writeText(tmp.path("junk.mp3"), std::string(5000, 'x') + "this is no music");
    writeText(tmp.path("empty.mp3"), "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, tmp.path("none.mp3").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, tmp.path("junk.mp3").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, tmp.path("empty.mp3").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(BassTest, AFileInMemoryOrAtAnOffsetOpensAsFromItsOwnFile) {
    ASSERT_TRUE(BASS_Init(0, 44100, 0, 0, NULL));
    const std::string path = tmp.path("a.mp3");
    ASSERT_TRUE(writeToneMp3(path, 44100, 2, 30000, sineTone(440, 0.3)));
    const std::string bytes = readText(path);
    const HSTREAM memory = BASS_StreamCreateFile(TRUE, bytes.data(), 0, DWORD(bytes.size()), 0);
    writeText(tmp.path("b.bin"), std::string(777, 'j') + bytes + "trailing");
    const HSTREAM inside =
        BASS_StreamCreateFile(FALSE, tmp.path("b.bin").c_str(), 777, DWORD(bytes.size()), 0);
    for (HSTREAM stream : {memory, inside}) {
        ASSERT_NE(stream, 0u);
        EXPECT_TRUE(BASS_ChannelSetPosition(stream, 30000 * 4));
        EXPECT_FALSE(BASS_ChannelSetPosition(stream, 30001 * 4));
    }
}

TEST_F(BassTest, SdlOutputFailsWithoutADriverAndReleasesOnlyTheAudio) {
    setenv("SDL_AUDIODRIVER", "nosuchdriver", 1);
    EXPECT_FALSE(BASS_Init(1, 44100, 0, 0, NULL));
    EXPECT_FALSE(BASS_Init(3, 44100, 0, 0, NULL)); // there is no second device
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_TIMER), 0);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, 0, NULL));
    EXPECT_TRUE(SDL_WasInit(SDL_INIT_AUDIO));
    ASSERT_TRUE(BASS_Free());
    EXPECT_FALSE(SDL_WasInit(SDL_INIT_AUDIO));
    EXPECT_TRUE(SDL_WasInit(SDL_INIT_TIMER));
    SDL_Quit();
}

// The music stream: start-up messages, the clock from the start, the seek steps, the spectrum.
#include "music/bass.h"
#include "music/music.h"
#include "tools/mp3.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

class MusicTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
    void TearDown() override { BASS_Free(); }

    // Starts the music on a tone of `seconds` seconds at 44100 Hz in stereo, `from` seconds in.
    void startTone(double frequency, double seconds, double from = 0) {
        const std::string path = tmp.path("music.mp3");
        ASSERT_TRUE(
            writeToneMp3(path, 44100, 2, int64_t(seconds * 44100), sineTone(frequency, 0.5)));
        testing::internal::CaptureStderr();
        musicStart(path.c_str(), true, from);
        ASSERT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_NE(musicStream, 0u);
    }

    void waitForTime(double seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (musicTime() <= seconds) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the music does not play";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    TempDir tmp;
};

} // namespace

TEST_F(MusicTest, AMissingFileShowsItsThreeMessagesInOrderAndTheRestRefuses) {
    testing::internal::CaptureStderr();
    musicStart(tmp.path("Zrax2011.mp3").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: Bass file loading failed!\n"
                                                      "ERROR: Music failed to play!\n"
                                                      "ERROR: Failed to start song at the start\n");
    EXPECT_EQ(musicStream, 0u);
    EXPECT_LT(musicTime(), 0);
    EXPECT_FALSE(musicSeekForward());
    EXPECT_FALSE(musicSeekBack());
    EXPECT_EQ(musicFetchSpectrum(spectrum), DWORD(-1));
    EXPECT_EQ(*std::max_element(spectrum, spectrum + 512), 0.0f);
}

TEST_F(MusicTest, WithoutOutputEveryStepShowsItsMessage) {
    setenv("SDL_AUDIODRIVER", "nosuchdriver", 1);
    const std::string path = tmp.path("music.mp3");
    ASSERT_TRUE(writeToneMp3(path, 44100, 2, 44100, sineTone(440, 0.5)));
    testing::internal::CaptureStderr();
    musicStart(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Bass init failed! Remembered the bass.dll file?\n"
              "ERROR: Bass file loading failed!\n"
              "ERROR: Music failed to play!\n"
              "ERROR: Failed to start song at the start\n");
}

TEST_F(MusicTest, AStartTimeBeginsTheClockThere) {
    startTone(440, 4, 2.5);
    const double first = musicTime();
    EXPECT_GE(first, 2.5);
    EXPECT_LT(first, 3);
    waitForTime(2.7);
}

TEST_F(MusicTest, AStartTimePastTheEndSaysSoAndPlaysFromTheBeginning) {
    const std::string path = tmp.path("music.mp3");
    ASSERT_TRUE(writeToneMp3(path, 44100, 2, 44100, sineTone(440, 0.5)));
    testing::internal::CaptureStderr();
    musicStart(path.c_str(), true, 5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: The track ends before the start time; it plays from its beginning\n");
    EXPECT_GE(musicTime(), 0);
    EXPECT_LT(musicTime(), 0.5);
    waitForTime(0.2);
}

TEST_F(MusicTest, TheClockStartsAtTheBeginningAndRuns) {
    startTone(440, 3);
    const double first = musicTime();
    EXPECT_GE(first, 0);
    // Never ahead of the audio handed to the device, which is a few buffers at most by now.
    EXPECT_LE(first, BASS_ChannelBytes2Seconds(musicStream, bassHandedPosition(musicStream)));
    EXPECT_LT(first, 0.5);
    waitForTime(0.2);
}

TEST_F(MusicTest, ASeekForwardThenBackReturnsToTheSameByte) {
    startTone(440, 3);
    waitForTime(0.5);
    ASSERT_TRUE(BASS_Pause());
    const QWORD here = BASS_ChannelGetPosition(musicStream);
    EXPECT_TRUE(musicSeekForward());
    EXPECT_EQ(BASS_ChannelGetPosition(musicStream), here + 50000);
    EXPECT_NEAR(musicTime() - BASS_ChannelBytes2Seconds(musicStream, here), 50000 / 176400.0, 1e-9);
    EXPECT_TRUE(musicSeekBack());
    EXPECT_EQ(BASS_ChannelGetPosition(musicStream), here);
}

TEST_F(MusicTest, SeeksPastEitherEndAreRefusedAndLeaveThePosition) {
    startTone(440, 1);
    ASSERT_TRUE(BASS_Pause());
    ASSERT_TRUE(BASS_ChannelSetPosition(musicStream, 20000));
    EXPECT_FALSE(musicSeekBack());
    EXPECT_EQ(BASS_ChannelGetPosition(musicStream), 20000u);
    ASSERT_TRUE(BASS_ChannelSetPosition(musicStream, 44100 * 4 - 20000));
    EXPECT_FALSE(musicSeekForward());
    EXPECT_EQ(BASS_ChannelGetPosition(musicStream), 44100u * 4 - 20000);
}

TEST_F(MusicTest, TheSpectrumIsZeroUntilFetchedAndThenShowsTheTone) {
    EXPECT_EQ(*std::max_element(spectrum, spectrum + 512), 0.0f);
    startTone(1000, 2);
    waitForTime(0.3);
    ASSERT_TRUE(BASS_Pause());
    EXPECT_EQ(musicFetchSpectrum(spectrum), 1024u * 4);
    EXPECT_EQ(std::max_element(spectrum, spectrum + 512) - spectrum, 23);
    EXPECT_NEAR(spectrum[23], 0.25 * 0.979, 0.01);
}

// Held at a time between two samples, every reading is that time, the spectrum is the one at
// the nearest sample, and resuming plays on from there.
TEST_F(MusicTest, HeldAtAMomentEveryReadingIsThatMomentUntilResumed) {
    startTone(1000, 3);
    const double moment = 1.0 / 3.0 + 0.25 / 44100; // 14700.25 samples
    ASSERT_TRUE(musicHold(moment));
    float held[512];
    musicFetchSpectrum(held);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(musicTime(), moment);
    EXPECT_EQ(BASS_ChannelGetPosition(musicStream), 14700u * 4);
    ASSERT_TRUE(BASS_ChannelSetPosition(musicStream, 14700 * 4));
    float there[512];
    musicFetchSpectrum(there);
    EXPECT_TRUE(std::equal(held, held + 512, there));
    EXPECT_GT(held[23], 0.1f); // the tone's bin

    EXPECT_FALSE(musicHold(-1)); // refused: the clock no longer held
    EXPECT_FALSE(musicHold(60)); // past the end
    ASSERT_TRUE(musicHold(2));
    musicResume();
    waitForTime(2.05);
    musicSeekBack(); // a step leaves the hold too
    EXPECT_LT(musicTime(), 2.05);
}

TEST_F(MusicTest, AnAudioDelayShowsThePositionHeardThatMuchEarlierAndNeverBeforeTheStart) {
    startTone(440, 3);
    waitForTime(0.5);
    musicPause();
    const double heard =
        BASS_ChannelBytes2Seconds(musicStream, BASS_ChannelGetPosition(musicStream));
    musicSetAudioDelay(0.25);
    EXPECT_DOUBLE_EQ(musicTime(), heard - 0.25);
    musicSetAudioDelay(-0.25);
    EXPECT_DOUBLE_EQ(musicTime(), heard + 0.25);
    musicSetAudioDelay(heard + 1);
    EXPECT_EQ(musicTime(), 0.0);
    musicSetAudioDelay(0);
    EXPECT_DOUBLE_EQ(musicTime(), heard);
}

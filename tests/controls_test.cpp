// The key controls and the caption: the space-key state machine, seeks, formatText's bound.
#include "show/controls.h"
#include "music/bass.h"
#include "music/music.h"
#include "tools/mp3.h"
#include "tests/support.h"

#include <SDL_keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct Flags {
    bool paused, spaceLatch;
};

std::string caption(float seconds) {
    formatCaption(seconds);
    return captionText;
}

// The key controls on our audio library's "no sound" device, whose clock runs in real time while
// playing, over a ten-second tone; the tests hold keys down in their own key array.
class KeyControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string path = tmp.path("tone.mp3");
        ASSERT_TRUE(writeToneMp3(path, 44100, 2, 10 * 44100, sineTone(440, 0.5)));
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
        musicStream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_PRESCAN);
        ASSERT_NE(musicStream, 0u);
        ASSERT_TRUE(BASS_ChannelPlay(musicStream, TRUE));
        ASSERT_TRUE(BASS_ChannelSetPosition(musicStream, 2 * 176400)); // room to seek back
        keyState = keys;
        // The state machine's flags and the pass's presses are the program's globals: each test
        // starts from Playing with no key pressed, whatever the test before it left.
        paused = spaceLatch = false;
        beginKeyPass();
    }
    void TearDown() override { BASS_Free(); }

    static QWORD position() { return BASS_ChannelGetPosition(musicStream); }
    // Whether the position moves on within a fifth of a second.
    static bool running() {
        const QWORD before = position();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return position() != before;
    }
    void pass(bool space, bool right, bool left) {
        keys[SDLK_SPACE] = space;
        keys[SDLK_RIGHT] = right;
        keys[SDLK_LEFT] = left;
        applyKeyControls();
    }

    TempDir tmp;
    unsigned char keys[SDLK_LAST] = {};
};

const std::string captionHead =
    "Vellamarkfest 2011 - Zoomraxvandel" + std::string(26, ' ') + "Time:  ";

} // namespace

// The four states, Playing, Paused-held, Paused and Playing-held, each with space down and up.
TEST(PauseKeyTest, EveryStateWithSpaceDownAndUp) {
    struct Row {
        Flags before;
        bool spaceDown;
        Flags after;
        PauseAction action;
    };
    const Row table[] = {
        {{false, false}, true, {true, false}, PauseAction::pause},  // Playing: pause
        {{false, false}, false, {false, false}, PauseAction::none}, // Playing: stay
        {{true, false}, true, {true, false}, PauseAction::none},    // Paused-held: stay
        {{true, false}, false, {true, true}, PauseAction::none},    // Paused-held: to Paused
        {{true, true}, true, {false, true}, PauseAction::resume},   // Paused: resume
        {{true, true}, false, {true, true}, PauseAction::none},     // Paused: stay
        {{false, true}, true, {false, true}, PauseAction::none},    // Playing-held: stay
        {{false, true}, false, {false, false}, PauseAction::none},  // Playing-held: to Playing
    };
    for (const Row& row : table) {
        bool isPaused = row.before.paused, latch = row.before.spaceLatch;
        const PauseAction action = pauseKeyStep(row.spaceDown, isPaused, latch);
        SCOPED_TRACE(::testing::Message()
                     << "paused " << row.before.paused << " latch " << row.before.spaceLatch
                     << " space down " << row.spaceDown);
        EXPECT_EQ(isPaused, row.after.paused);
        EXPECT_EQ(latch, row.after.spaceLatch);
        EXPECT_EQ(action, row.action);
    }
}

TEST(PauseKeyTest, HoldingSpaceActsOnceAndTheNextPressResumes) {
    bool isPaused = false, latch = false;
    // Pass by pass: held for three passes, released for two, held for three, released.
    const bool space[] = {true, true, true, false, false, true, true, true, false};
    const PauseAction none = PauseAction::none;
    const PauseAction expected[] = {PauseAction::pause,  none, none, none, none,
                                    PauseAction::resume, none, none, none};
    for (int pass = 0; pass < 9; ++pass)
        EXPECT_EQ(pauseKeyStep(space[pass], isPaused, latch), expected[pass]) << "pass " << pass;
    EXPECT_FALSE(isPaused); // back in Playing
    EXPECT_FALSE(latch);
}

TEST(CaptionTest, ExactTextForSomeTimes) {
    EXPECT_EQ(caption(0), captionHead + "0.000000");
    EXPECT_EQ(caption(0.25f), captionHead + "0.250000");
    EXPECT_EQ(caption(4.67f), captionHead + "4.670000");
    EXPECT_EQ(caption(79.5f), captionHead + "79.500000");
    EXPECT_EQ(caption(1234.5f), captionHead + "1234.500000");
    EXPECT_EQ(std::strlen(captionText), 78u);
    // narrowed to single precision before formatting
    EXPECT_EQ(caption(float(12.3)), captionHead + "12.300000");
    EXPECT_EQ(caption(float(100.1)), captionHead + "100.099998");
}

TEST(CaptionTest, AtMost79CharactersBelow100000Seconds) {
    EXPECT_EQ(caption(9.999f).size(), 75u);
    EXPECT_EQ(caption(99999.99f), captionHead + "99999.992188");
    EXPECT_EQ(std::strlen(captionText), 79u);
}

TEST(FormatTextTest, LongerTextIsCutAndNothingIsWrittenPast80Bytes) {
    char buffer[120];
    std::memset(buffer, '#', sizeof buffer);
    const std::string longText(100, 'x');
    const int wanted = formatText(buffer, "%s-%d", longText.c_str(), 7);
    EXPECT_EQ(wanted, 102); // the length the whole text would have had
    EXPECT_EQ(std::string(buffer), std::string(79, 'x'));
    for (size_t i = 80; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], '#') << i;

    // A caption beyond 100000 s is cut the same way.
    EXPECT_EQ(caption(1000000.0f), (captionHead + "1000000.000000").substr(0, 79));
}

TEST_F(KeyControlsTest, SpacePausesTheOutputAndTheNextPressResumesIt) {
    pass(true, false, false);
    EXPECT_TRUE(paused);
    EXPECT_FALSE(running());
    pass(true, false, false); // still held: nothing more happens
    pass(false, false, false);
    EXPECT_FALSE(running());
    pass(true, false, false);
    EXPECT_FALSE(paused);
    EXPECT_TRUE(running());
}

TEST_F(KeyControlsTest, ASeekFromEachStateMovesBy50000BytesAndLandsInPaused) {
    const Flags states[] = {{false, false}, {true, false}, {true, true}, {false, true}};
    for (bool forward : {true, false})
        for (const Flags& state : states) {
            SCOPED_TRACE(::testing::Message()
                         << "paused " << state.paused << " latch " << state.spaceLatch
                         << (forward ? " right" : " left"));
            state.paused ? BASS_Pause() : BASS_Start();
            paused = state.paused;
            spaceLatch = state.spaceLatch;
            const QWORD before = position();
            pass(false, forward, !forward);
            const QWORD after = position();
            EXPECT_TRUE(paused);
            EXPECT_TRUE(spaceLatch);
            EXPECT_FALSE(running());
            if (forward) {
                EXPECT_GE(after, before + 50000);
                EXPECT_LT(after, before + 50000 + 176400 / 10); // plus what played meanwhile
            } else {
                EXPECT_LE(after, before - 50000 + 176400 / 10);
                EXPECT_GE(after, before - 50000);
            }
            if (state.paused) {
                EXPECT_EQ(after, forward ? before + 50000 : before - 50000);
            }
        }
    pass(true, false, false); // the next press resumes at the new position
    EXPECT_FALSE(paused);
    EXPECT_TRUE(running());
}

TEST_F(KeyControlsTest, SpaceHeldWithAnArrowKeepsTheMusicPaused) {
    for (int i = 0; i < 5; ++i) {
        const QWORD before = position();
        pass(true, true, false); // resumes by the space rule, then the seek pauses again
        // The music runs for the moment between the resume and the seek's reading: a few
        // microseconds, or more on a slow (sanitizer) build.
        EXPECT_GE(position(), before + 50000) << "pass " << i;
        EXPECT_LT(position(), before + 50000 + 176400 / 10) << "pass " << i;
        EXPECT_TRUE(paused);
        EXPECT_TRUE(spaceLatch);
    }
    EXPECT_FALSE(running());
    pass(false, false, false);
    EXPECT_TRUE(paused);
    EXPECT_TRUE(spaceLatch); // Paused
    EXPECT_FALSE(running());
    pass(true, false, false);
    EXPECT_TRUE(running());
}

TEST_F(KeyControlsTest, BothArrowsHeldMoveForwardAndBackAndStayPaused) {
    pass(false, true, false);
    const QWORD start = position();
    for (int i = 0; i < 3; ++i)
        pass(false, true, true);
    EXPECT_EQ(position(), start);
    EXPECT_TRUE(paused);
    EXPECT_FALSE(running());
}

TEST_F(KeyControlsTest, BeforeTheFirstEventEveryKeyReadsAsReleased) {
    keyState = nullptr;
    applyKeyControls();
    EXPECT_FALSE(paused);
    EXPECT_FALSE(spaceLatch);
    EXPECT_TRUE(running());
}

// A press and its release within one pass: the key array shows it up again by the time the
// events are drained, and the pass still acts on it once.
TEST_F(KeyControlsTest, ATapWithinOnePassActsOnce) {
    pass(false, true, false);
    pass(false, false, false); // Paused, every key up
    const QWORD start = position();
    beginKeyPass();
    noteKeyPress(SDLK_RIGHT);
    applyKeyControls();
    EXPECT_EQ(position(), start + 50000);
    beginKeyPass(); // the next pass: the tap is over
    applyKeyControls();
    EXPECT_EQ(position(), start + 50000);

    beginKeyPass();
    noteKeyPress(SDLK_SPACE); // resumes from Paused
    applyKeyControls();
    EXPECT_FALSE(paused);
    beginKeyPass();
    applyKeyControls(); // released: Playing
    EXPECT_FALSE(spaceLatch);
    EXPECT_TRUE(running());
    noteKeyPress(-1); // symbols outside the array are ignored
    noteKeyPress(SDLK_LAST);
    EXPECT_FALSE(keyDown(SDLK_LAST));
}

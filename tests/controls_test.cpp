// The key controls and the caption: the space-key state machine, seeks, formatText's bound.
#include "app/app.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Flags {
    bool paused, spaceLatch;
};

std::string caption(float seconds) {
    formatCaption(seconds);
    return captionText;
}

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
        SCOPED_TRACE(::testing::Message() << "paused " << row.before.paused << " latch "
                                          << row.before.spaceLatch << " space down "
                                          << row.spaceDown);
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
    const PauseAction expected[] = {PauseAction::pause, none, none, none, none,
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
    for (size_t i = 80; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << i;

    // A caption beyond 100000 s is cut the same way.
    EXPECT_EQ(caption(1000000.0f), (captionHead + "1000000.000000").substr(0, 79));
}

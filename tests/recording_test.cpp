// The recording's arithmetic: frame counts, moment times, sample ranges and the progress text.
#include "app/recording.h"

#include <gtest/gtest.h>

TEST(RecordingPlan, CountsFramesThatStartBeforeTheEnd) {
    EXPECT_EQ(planFrames({0, 11.1, 60, 1, 44100}), 666);
    EXPECT_EQ(planFrames({50, 52, 30, 1, 44100}), 60);
    EXPECT_EQ(planFrames({0, 1.01, 24, 1, 44100}), 25);
    EXPECT_EQ(planFrames({3, 3.001, 60, 1, 44100}), 1);
}

TEST(RecordingPlan, MomentsSpreadEvenlyOverTheFrameFromItsOwnTime) {
    const RecordingPlan plan{10, 20, 50, 4, 44100};
    EXPECT_DOUBLE_EQ(planMoment(plan, 0, 0), 10.0);
    EXPECT_DOUBLE_EQ(planMoment(plan, 3, 0), 10.06);
    EXPECT_DOUBLE_EQ(planMoment(plan, 3, 1), 10.065);
    EXPECT_DOUBLE_EQ(planMoment(plan, 3, 3), 10.075);
    const RecordingPlan single{10, 20, 50, 1, 44100};
    EXPECT_DOUBLE_EQ(planMoment(single, 7, 0), 10.14);
}

TEST(RecordingPlan, SamplesFollowOneAnotherWithoutGapsAndEndAtTheEnd) {
    const RecordingPlan plan{1.5, 2.75, 60, 1, 44100};
    EXPECT_EQ(planSample(plan, 0), 66150u);
    uint64_t total = 0;
    for (long k = 0; k < planFrames(plan); ++k) {
        const uint64_t a = planSample(plan, k), b = planSample(plan, k + 1);
        EXPECT_LE(b - a, 736u);
        EXPECT_GE(b - a, 735u);
        total += b - a;
    }
    EXPECT_EQ(total, sampleAtTime(2.75, 44100) - sampleAtTime(1.5, 44100));
    // A last frame that runs past `to` only gets the sound up to it.
    const RecordingPlan ragged{0, 1.01, 24, 1, 44100};
    EXPECT_EQ(planSample(ragged, planFrames(ragged)), sampleAtTime(1.01, 44100));
    EXPECT_LT(planSample(ragged, 25) - planSample(ragged, 24), 44100u / 24);
}

TEST(RecordingProgress, SaysDoneOfAllRateAndTimeLeft) {
    EXPECT_EQ(progressText(0, 4800, 0), "frame 0/4800");
    EXPECT_EQ(progressText(120, 4800, 4), "frame 120/4800  30.0 fps  2:36 left");
    EXPECT_EQ(progressText(10, 100000, 1), "frame 10/100000  10.0 fps  2:46:39 left");
    EXPECT_EQ(clockText(59.6), "1:00");
}

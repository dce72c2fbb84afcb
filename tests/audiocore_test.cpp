// The audio library's sound-system-free inside: spectrum scale, resampling, and the clocks.
#include "music/core.h"
#include "tools/mp3.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace {

DecodedAudio makeAudio(int rate, int channels, int64_t frames,
                       const std::function<double(int64_t frame, int channel)>& sample) {
    DecodedAudio audio;
    audio.rate = rate;
    audio.channels = channels;
    for (int64_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            audio.samples.push_back(int16_t(std::lround(sample(f, c))));
    return audio;
}

std::function<double(int64_t, int)> sine(double frequency, int rate, double amplitude) {
    return [=](int64_t f, int) { return amplitude * std::sin(2 * M_PI * frequency * f / rate); };
}

std::vector<float> spectrumOf(const DecodedAudio& audio, uint64_t start = 0) {
    std::vector<float> bins(fftBins);
    spectrumAt(audio, start, bins.data());
    return bins;
}

int loudestBin(const std::vector<float>& bins) {
    return int(std::max_element(bins.begin(), bins.end()) - bins.begin());
}

} // namespace

// ---- Spectrum ---------------------------------------------------------------------------------

TEST(SpectrumTest, FullScaleSineOnABinCentreReadsHalfThereAndNothingFarAway) {
    const double binCentre = 23 * 44100.0 / fftFrames;
    const auto audio = makeAudio(44100, 1, 4096, sine(binCentre, 44100, 32767));
    const auto bins = spectrumOf(audio, 1000);
    EXPECT_EQ(loudestBin(bins), 23);
    EXPECT_NEAR(bins[23], 0.5 * 32767 / 32768, 1e-4);
    EXPECT_NEAR(bins[22], 0.25, 1e-3); // the Hann window's two neighbours
    EXPECT_NEAR(bins[24], 0.25, 1e-3);
    for (int k : {0, 5, 20, 26, 100, 511})
        EXPECT_LT(bins[k], 1e-3) << k;
}

TEST(SpectrumTest, NoFullScaleSignalReadsAboveOne) {
    const auto constant =
        spectrumOf(makeAudio(44100, 2, 2048, [](int64_t, int) { return -32768; }));
    EXPECT_NEAR(constant[0], 1.0, 1e-6);
    std::mt19937 random(7);
    const auto noise =
        makeAudio(44100, 2, 2048, [&](int64_t, int) { return random() % 2 ? 32767 : -32768; });
    const auto square =
        makeAudio(44100, 1, 2048, [](int64_t f, int) { return f / 3 % 2 ? 32767 : -32768; });
    for (const auto* audio : {&noise, &square})
        for (float magnitude : spectrumOf(*audio)) {
            EXPECT_GE(magnitude, 0.0f);
            EXPECT_LE(magnitude, 1.0f);
        }
}

TEST(SpectrumTest, ChannelsAreAveraged) {
    const auto tone = sine(1000, 44100, 16000);
    const auto opposite =
        makeAudio(44100, 2, 2048, [&](int64_t f, int c) { return c ? -tone(f, c) : tone(f, c); });
    const auto leftOnly =
        makeAudio(44100, 2, 2048, [&](int64_t f, int c) { return c ? 0 : tone(f, c); });
    const auto both = makeAudio(44100, 2, 2048, tone);
    const auto cancelled = spectrumOf(opposite);
    EXPECT_LT(*std::max_element(cancelled.begin(), cancelled.end()), 1e-4);
    const auto half = spectrumOf(leftOnly), whole = spectrumOf(both);
    EXPECT_EQ(loudestBin(whole), 23);
    EXPECT_NEAR(half[23], whole[23] / 2, 1e-4);
}

TEST(SpectrumTest, FramesPastTheEndCountAsSilence) {
    const auto audio = makeAudio(44100, 2, 3000, sine(700, 44100, 20000));
    // The last 600 frames, then silence, written out in full.
    const auto padded = makeAudio(44100, 2, fftFrames, [&](int64_t f, int c) {
        return f < 600 ? double(audio.samples[(2400 + f) * 2 + c]) : 0.0;
    });
    const auto atTail = spectrumOf(audio, 2400), expected = spectrumOf(padded);
    for (int k = 0; k < fftBins; ++k)
        EXPECT_NEAR(atTail[k], expected[k], 1e-6) << k;
    for (uint64_t start : {uint64_t(3000), uint64_t(1) << 40}) {
        const auto beyond = spectrumOf(audio, start);
        EXPECT_EQ(*std::max_element(beyond.begin(), beyond.end()), 0.0f);
    }
}

// ---- Resampling -------------------------------------------------------------------------------

TEST(ResampleTest, EqualRatesCopyFramesExactlyOntoTheMixUntilTheEnd) {
    const auto audio = makeAudio(44100, 2, 100, [](int64_t f, int c) { return f * 10 + c; });
    std::vector<int32_t> mix(2 * 64, 5);
    uint64_t cursor = 40 * cursorOne;
    EXPECT_EQ(resampleAdd(audio, cursor, cursorStep(44100, 44100), mix.data(), 64), 60u);
    EXPECT_EQ(cursor, 100 * cursorOne);
    EXPECT_EQ(mix[0], 405);
    EXPECT_EQ(mix[1], 406);
    EXPECT_EQ(mix[2 * 59 + 1], 990 + 1 + 5); // frame 99, right
    EXPECT_EQ(mix[2 * 60], 5);               // untouched after the end
    EXPECT_EQ(resampleAdd(audio, cursor, cursorStep(44100, 44100), mix.data(), 64), 0u);
}

TEST(ResampleTest, MonoGoesToBothSidesAndFractionsInterpolate) {
    const auto audio = makeAudio(22050, 1, 3, [](int64_t f, int) { return f * 1000; });
    std::vector<int32_t> mix(2 * 8, 0);
    uint64_t cursor = 0;
    EXPECT_EQ(resampleAdd(audio, cursor, cursorStep(22050, 44100), mix.data(), 8), 6u);
    const int32_t expected[6] = {0, 500, 1000, 1500, 2000, 2000}; // the last frame is held
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(mix[2 * i], expected[i]) << i;
        EXPECT_EQ(mix[2 * i + 1], expected[i]) << i;
    }
}

TEST(ResampleTest, A48kHzToneKeepsItsPitchAndLengthAt44100) {
    const auto file = makeAudio(48000, 1, 48000, sine(1000, 48000, 16000));
    const uint64_t step = cursorStep(48000, 44100);
    std::vector<int32_t> mix(2 * 50000, 0);
    uint64_t cursor = 0;
    const uint32_t written = resampleAdd(file, cursor, step, mix.data(), 50000);
    EXPECT_NEAR(written, 44100, 1); // one second in, one second out
    EXPECT_EQ(cursor, written * step);

    DecodedAudio heard;
    heard.rate = 44100;
    heard.channels = 2;
    heard.samples.assign(mix.begin(), mix.begin() + 2 * written);
    const auto bins = spectrumOf(heard, 20000);
    const auto native = spectrumOf(makeAudio(44100, 1, 44100, sine(1000, 44100, 16000)), 20000);
    EXPECT_EQ(loudestBin(bins), 23);
    EXPECT_NEAR(bins[23], native[23], native[23] * 0.01);
    EXPECT_NEAR(bins[30], native[30], 2e-3);
}

// ---- Decoding ---------------------------------------------------------------------------------

TEST(DecodeTest, TheOpeningPartIsExactlyTheStartOfTheWholeFile) {
    TempDir tmp;
    const std::string path = tmp.path("sweep.mp3");
    // A rising sweep, so that a part taken from anywhere else would differ.
    ASSERT_TRUE(writeToneMp3(path, 44100, 2, 3 * 44100, [](double t, int channel) {
        return float((channel ? 0.3 : 0.5) * std::sin(2 * M_PI * (200 + 300 * t) * t));
    }));
    const std::string bytes = readText(path);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());

    DecodedAudio whole, opening, longer;
    ASSERT_TRUE(decodeMp3(data, bytes.size(), whole));
    ASSERT_EQ(whole.frames(), 3u * 44100);
    ASSERT_TRUE(decodeMp3(data, bytes.size(), opening, 50001));
    EXPECT_EQ(opening.rate, 44100);
    EXPECT_EQ(opening.channels, 2);
    ASSERT_EQ(opening.frames(), 50001u);
    EXPECT_TRUE(std::equal(opening.samples.begin(), opening.samples.end(), whole.samples.begin()));

    ASSERT_TRUE(decodeMp3(data, bytes.size(), longer, 10 * 44100));
    EXPECT_EQ(longer.samples, whole.samples);
}

// ---- The device clock -------------------------------------------------------------------------

namespace {

// A simulated device that plays `rate` frames per second from `start` on. Callback k (from 1)
// hands frames up to k * period; the first two fill the queue at `start`, and callback k >= 3
// comes when frame (k - 2) * period begins to be heard, plus a scheduling delay.
struct SimulatedDevice {
    double rate = 44100, start = 100;
    uint32_t period = 1024;
    double callbackStamp(int k, double delay) const {
        return k <= 2 ? start : start + (k - 2) * period / rate + delay;
    }
    double truth(double t) const { return (t - start) * rate; }
};

struct Trace {
    double largestStepMs = 0, largestErrorMs = 0, largestLeadMs = -1e9;
    bool backwards = false, pastHanded = false;
};

// Polls a stream clock at 44100 Hz every `poll` seconds while callbacks come from `device`;
// errors are measured against the device's truth after `settle` seconds.
Trace runDevice(const SimulatedDevice& device, double seconds, double poll, double settle,
                const std::function<double(int k)>& delay) {
    DeviceClock clock = makeDeviceClock(44100, device.period, 2 * device.period);
    StreamClock stream;
    streamClockRun(stream, 0);
    streamClockHanded(stream, 0);
    Trace trace;
    int k = 1;
    double previous = 0;
    for (double t = device.start; t < device.start + seconds; t += poll) {
        for (double next = device.callbackStamp(k, delay(k)); next <= t;
             next = device.callbackStamp(k, delay(k))) {
            deviceClockCallback(clock, next, uint64_t(k) * device.period);
            ++k;
        }
        const double reading = streamClockRead(stream, deviceClockHeard(clock, t), 1, 1e12);
        trace.backwards |= reading < previous;
        trace.pastHanded |= reading > double(clock.handed);
        if (t > device.start + settle) {
            trace.largestStepMs = std::max(trace.largestStepMs, (reading - previous) / 44.1);
            const double lead = (reading - device.truth(t)) / 44.1;
            trace.largestErrorMs = std::max(trace.largestErrorMs, std::fabs(lead));
            trace.largestLeadMs = std::max(trace.largestLeadMs, lead);
        }
        previous = reading;
    }
    return trace;
}

} // namespace

TEST(DeviceClockTest, NothingIsHeardBeforeTheFirstCallback) {
    const DeviceClock clock = makeDeviceClock(44100, 1024, 2048);
    EXPECT_LT(deviceClockHeard(clock, 1e6), 0);
}

TEST(DeviceClockTest, PunctualCallbacksAreHeardTheQueueLaterAndTheClockRunsBetween) {
    const SimulatedDevice device;
    DeviceClock clock = makeDeviceClock(44100, 1024, 2048);
    for (int k = 1; k <= 200; ++k)
        deviceClockCallback(clock, device.callbackStamp(k, 0), k * 1024);
    const double last = device.callbackStamp(200, 0);
    EXPECT_NEAR(deviceClockHeard(clock, last), 198 * 1024, 1e-3);
    EXPECT_NEAR(deviceClockHeard(clock, last + 512 / 44100.0), 198 * 1024 + 512, 1e-3);
}

TEST(DeviceClockTest, AStalledDeviceIsNotRunPastWhatWasHanded) {
    const SimulatedDevice device;
    DeviceClock clock = makeDeviceClock(44100, 1024, 2048);
    for (int k = 1; k <= 50; ++k)
        deviceClockCallback(clock, device.callbackStamp(k, 0), k * 1024);
    EXPECT_EQ(deviceClockHeard(clock, device.callbackStamp(50, 0) + 1.0), 50 * 1024);
}

TEST(DeviceClockTest, JitteredCallbacksGiveASmoothClockWithinTheJitterOfTheTruth) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> jitter(0, 0.003); // up to 3 ms late
    std::vector<double> delays(2000);
    for (double& d : delays)
        d = jitter(random);
    const Trace trace = runDevice(SimulatedDevice{}, 20, 0.001, 3,
                                  [&](int k) { return delays[size_t(k) % delays.size()]; });
    EXPECT_FALSE(trace.backwards);
    EXPECT_FALSE(trace.pastHanded);
    EXPECT_LT(trace.largestStepMs, 1.2); // polled every 1 ms
    EXPECT_LT(trace.largestErrorMs, 3.0);
}

TEST(DeviceClockTest, ADeviceRunningFastIsFollowed) {
    SimulatedDevice fast;
    fast.rate = 44100 * 1.01; // a driver that sleeps whole milliseconds, say
    const Trace trace = runDevice(fast, 20, 0.001, 5, [](int) { return 0.0; });
    EXPECT_FALSE(trace.backwards);
    EXPECT_LT(trace.largestStepMs, 1.2 * 1.01);
    EXPECT_LT(trace.largestErrorMs, 0.5);
}

TEST(DeviceClockTest, AnIdealDeviceIsHeardAsItPlays) {
    const DeviceClock clock = makeIdealClock(48000, 10);
    EXPECT_DOUBLE_EQ(deviceClockHeard(clock, 12.5), 120000);
}

// ---- The stream clock -------------------------------------------------------------------------

TEST(StreamClockTest, AHeldStreamStandsAtItsFrame) {
    StreamClock clock;
    streamClockHold(clock, 500);
    streamClockHanded(clock, 0); // not running: no run to start
    EXPECT_EQ(streamClockRead(clock, 1e6, 1, 1e9), 500);
    EXPECT_EQ(streamClockRead(clock, -5, 1, 0), 500);
}

TEST(StreamClockTest, ARunStartsWhenItsFirstFrameIsHeardAndMovesAtTheFileRate) {
    StreamClock clock;
    streamClockRun(clock, 1000);
    EXPECT_EQ(streamClockRead(clock, 5000, 1, 1e9), 1000); // not handed out yet
    streamClockHanded(clock, 6000);
    streamClockHanded(clock, 7000);                        // the first hand-out counts
    EXPECT_EQ(streamClockRead(clock, 5000, 1, 1e9), 1000); // handed, not yet heard
    const double ratio = 48000.0 / 44100;
    EXPECT_NEAR(streamClockRead(clock, 6000 + 441, ratio, 1e9), 1000 + 480, 1e-9);
}

TEST(StreamClockTest, ARunNeverGoesBackNorPastItsLimitAndASeekStartsAfresh) {
    StreamClock clock;
    streamClockRun(clock, 0);
    streamClockHanded(clock, 0);
    EXPECT_EQ(streamClockRead(clock, 3000, 1, 1500), 1500);
    EXPECT_EQ(streamClockRead(clock, 1000, 1, 1e9), 1500);
    EXPECT_EQ(streamClockRead(clock, 2000, 1, 1e9), 2000);
    streamClockRun(clock, 10); // a seek back
    EXPECT_EQ(streamClockRead(clock, 2500, 1, 1e9), 10);
}

TEST(OutputTimestampTest, NothingIsHeardBeforeTheFirstStampAndThenTheContextRunsOnFromIt) {
    EXPECT_EQ(outputTimestampHeard(0, 0, 12.0), -std::numeric_limits<double>::infinity());
    // At 100 s on the page's clock the context was outputting its time 3.25 s.
    EXPECT_NEAR(outputTimestampHeard(3.25, 100.0, 100.0), 3.25, 1e-12);
    EXPECT_NEAR(outputTimestampHeard(3.25, 100.0, 100.04), 3.29, 1e-12);
    // A stamp taken after `now` (the browser refreshed it meanwhile) is read back to `now`.
    EXPECT_NEAR(outputTimestampHeard(3.30, 100.05, 100.04), 3.29, 1e-12);
}

// The page's output as the audio layer drives it: a source scheduled to start file frame F at
// context time `when` is placed as a run from F handed out at output frame when * rate; the
// output frame heard comes from the context's stamps.
TEST(OutputTimestampTest, AScheduledRunIsHeardFromItsStartTimeAndAPauseAndSeekStandExactly) {
    const double rate = 44100;
    StreamClock clock;
    streamClockRun(clock, 0);
    streamClockHanded(clock, 0.55 * rate); // scheduled at context time 0.55 s
    // Before the first stamp and before the start time the clock stands at the run's start.
    EXPECT_EQ(streamClockRead(clock, outputTimestampHeard(0, 0, 50.0) * rate, 1, 1e9), 0);
    EXPECT_EQ(streamClockRead(clock, outputTimestampHeard(0.5, 50.0, 50.02) * rate, 1, 1e9), 0);
    // 10 ms after the start time is output, the file frame heard is 441.
    EXPECT_NEAR(streamClockRead(clock, outputTimestampHeard(0.5, 50.0, 50.06) * rate, 1, 1e9), 441,
                1e-6);
    // A pause holds where it is heard; a step of 50000 bytes (12500 stereo frames) holds there.
    const double heard = streamClockRead(clock, outputTimestampHeard(2.0, 51.5, 52.0) * rate, 1,
                                         1e9); // context time 2.5 s: 1.95 s into the track
    EXPECT_NEAR(heard, 1.95 * rate, 1e-6);
    streamClockHold(clock, uint64_t(heard) + 12500);
    EXPECT_EQ(streamClockRead(clock, 1e9, 1, 1e9), uint64_t(heard) + 12500);
    // Resumed: a new run from the held frame, scheduled at context time 10 s.
    streamClockRun(clock, uint64_t(heard) + 12500);
    streamClockHanded(clock, 10.0 * rate);
    EXPECT_NEAR(streamClockRead(clock, outputTimestampHeard(10.0, 60.0, 61.0) * rate, 1, 1e9),
                uint64_t(heard) + 12500 + rate, 1e-6);
}

// A simulated cycle-stepping server: output frames heard run at `rate`, and a report at time t
// carries the read position of the cycle being played, the heard frame rounded up to the cycle's
// end. Reports come at random intervals of 5 to 15 ms; one is stamped 10 ms late at 2.5 s, the
// server stalls for 30 ms at 3 s, and the sound jumps 100 ms ahead at 3.5 s. The line must lie
// within a millisecond of what is heard once it has two seconds of reports behind it, and
// meanwhile, from the second report after each event, within a cycle and a millisecond.
TEST(CycleLineTest, TheLineUnderASteppingServersReportsIsWhatIsHeard) {
    const double rate = 44100, ms = rate / 1000;
    for (const int graphFrames : {256, 1024, 2048}) {
        const double cycle = graphFrames / 48000.0; // seconds
        std::mt19937 random(graphFrames);
        std::uniform_real_distribution<double> interval(0.005, 0.015);
        CycleLine line = makeCycleLine(rate);
        bool lateSent = false;
        int sinceEvent = 0, failures = 0;
        double shift = 0; // seconds of output heard ahead of t
        for (double t = 0.01; t < 8; t += interval(random)) {
            const double now = t < 3 ? 0 : t < 3.5 ? -0.03 : 0.07;
            sinceEvent = now == shift ? sinceEvent + 1 : 0;
            shift = now;
            const double heard = (t + shift) * rate;
            const double read = std::ceil((t + shift) / cycle) * cycle * rate;
            const bool late = t >= 2.5 && !lateSent;
            lateSent = lateSent || late;
            cycleLineAdd(line, {late ? t + 0.01 : t, read});
            const double error = cycleLineHeard(line, t) - heard;
            if (t > 2 && (t < 3 || t > 5.5))
                failures += std::fabs(error) >= 1 * ms;
            else if (sinceEvent >= 1)
                failures += std::fabs(error) >= (cycle * 1000 + 1) * ms;
        }
        EXPECT_EQ(failures, 0) << "cycle of " << graphFrames << " frames";
    }
}

// A busy server answers right after its cycle begins: each report lies nearly a cycle ahead of
// what is heard. The reports cannot place what is heard closer than that band, and the clock
// keeps to its middle: within half a cycle and a millisecond, where the line under the reports
// alone would run nearly a whole cycle ahead.
TEST(CycleLineTest, ReportsFromTheStartOfEachCycleKeepTheClockWithinHalfACycle) {
    const double rate = 44100, ms = rate / 1000;
    for (const int graphFrames : {256, 2048}) {
        const double cycle = graphFrames / 48000.0;
        std::mt19937 random(graphFrames);
        std::uniform_real_distribution<double> interval(0.005, 0.015), answer(0, 0.1 * cycle);
        CycleLine line = makeCycleLine(rate);
        int failures = 0;
        for (double asked = 0.01; asked < 4; asked += interval(random)) {
            const double t = std::ceil(asked / cycle) * cycle + answer(random);
            cycleLineAdd(line, {t, std::ceil(t / cycle) * cycle * rate});
            const double error = cycleLineHeard(line, t) - t * rate;
            // From the third cycle on: the first two show how long a cycle is.
            failures += t > 3 * cycle && std::fabs(error) >= (cycle * 500 + 1) * ms;
        }
        EXPECT_EQ(failures, 0) << "cycle of " << graphFrames << " frames";
    }
}

// ---- Following a device's position reports ----------------------------------------------------

TEST(FollowReportTest, NearReportsAreDampedALoneFarOneIsPassedOverTwoOnOneSideAreAJump) {
    // Each row is a report after the previous one, 5 frames of jump distance; the line's frame
    // before it (predicted) and after it (followed).
    struct Row {
        double predicted, frame, followed;
        int farSide;
    };
    // clang-format off
    const Row rows[] = {
        // predicted  frame  followed  farSide
        {100,         104,   101,      0},  // near: a quarter of the way
        {200,         190,   200,      -1}, // far behind, alone: passed over
        {300,         300,   300,      0},
        {400,         420,   400,      1},  // far ahead...
        {500,         520,   520,      1},  // ...and again: the sound jumped, taken as it is
        {600,         580,   600,      -1}, // far behind after far ahead: alone again
    };
    // clang-format on
    int farSide = 0;
    for (const Row& row : rows) {
        EXPECT_EQ(followReport(row.predicted, row.frame, 5, farSide), row.followed) << row.frame;
        EXPECT_EQ(farSide, row.farSide) << row.frame;
    }
}

// The listener's clock: which output frame and which file frame are being heard at a moment.
#include "music/core.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

// Bandwidth of the loop that smooths the callback stamps. Lower follows scheduling jitter less
// and the device's true rate more slowly; at 1 Hz a stamp late by 1 ms moves the clock by about
// 0.2 ms, and a rate off by 1% is followed within about a second.
constexpr double loopBandwidthHz = 1.0;

} // namespace

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

DeviceClock makeDeviceClock(double rate, uint32_t period, uint32_t queued) {
    DeviceClock clock;
    clock.rate = rate;
    clock.period = period;
    clock.queued = queued;
    clock.periodSeconds = period / rate;
    const double omega = 2 * M_PI * loopBandwidthHz * clock.periodSeconds;
    clock.loopB = std::sqrt(2.0) * omega;
    clock.loopC = omega * omega;
    return clock;
}

DeviceClock makeIdealClock(double rate, double now) {
    DeviceClock clock = makeDeviceClock(rate, 1, 0);
    clock.ideal = true;
    clock.idealStart = now;
    return clock;
}

void deviceClockCallback(DeviceClock& clock, double stamp, uint64_t handed) {
    const double nominal = clock.period / clock.rate;
    const double error = stamp - clock.t1;
    // A callback half a period early is the device filling its queue in a burst (at the start,
    // or after a stall); one two periods late is a stall. Anything between is scheduling jitter,
    // which the loop absorbs.
    if (!clock.started || error < -nominal / 2 || error > 2 * nominal) {
        // The loop starts afresh from this stamp with the period it has learnt.
        clock.t0 = stamp;
        clock.t1 = stamp + clock.periodSeconds;
        clock.started = true;
    } else {
        clock.t0 = clock.t1;
        clock.t1 += clock.loopB * error + clock.periodSeconds;
        clock.periodSeconds += clock.loopC * error;
        clock.periodSeconds = std::clamp(clock.periodSeconds, nominal / 2, nominal * 2);
    }
    clock.handed = handed;
}

double deviceClockHeard(const DeviceClock& clock, double now) {
    if (clock.ideal) return (now - clock.idealStart) * clock.rate;
    if (!clock.started) return -clock.queued;
    const double handed = double(clock.handed);
    const double heard =
        handed - clock.queued + (now - clock.t0) / (clock.t1 - clock.t0) * clock.period;
    return std::min(heard, handed);
}

double followReport(double predicted, double frame, double jumpFrames, int& farSide) {
    const double error = frame - predicted;
    const int side = std::fabs(error) < jumpFrames ? 0 : error > 0 ? 1 : -1;
    const bool jumped = side != 0 && side == farSide;
    farSide = side;
    if (side == 0) return predicted + error / 4;
    return jumped ? frame : predicted;
}

double outputTimestampHeard(double contextSeconds, double stampSeconds, double now) {
    if (stampSeconds <= 0) return -std::numeric_limits<double>::infinity();
    return contextSeconds + (now - stampSeconds);
}

CycleLine makeCycleLine(double rate) {
    CycleLine line;
    line.rate = rate;
    line.jumpFrames = 0.005 * rate;
    line.longestCycle = 0.045 * rate;
    return line;
}

namespace {

// The line under the window's reports (second lowest) and the one over them (second highest),
// as frames at the newest report's moment, and the cycle: the least step between two reports
// in a row, 0 when no two differ.
struct CycleBounds {
    double under = 0, over = 0, cycle = 0;
};

CycleBounds cycleBounds(const CycleLine& line) {
    assert(line.count > 0 && line.newest >= 0 && line.newest < cycleReportWindow);
    const double reference = line.reports[line.newest].moment;
    constexpr double none = std::numeric_limits<double>::infinity();
    double lowest = none, secondLowest = none, highest = -none, secondHighest = -none;
    double cycle = none;
    for (int i = 0; i < line.count; ++i) {
        const CycleReport& r = line.reports[i];
        const double at = r.frame + line.rate * (reference - r.moment);
        if (at < lowest) {
            secondLowest = lowest;
            lowest = at;
        } else if (at < secondLowest) {
            secondLowest = at;
        }
        if (at > highest) {
            secondHighest = highest;
            highest = at;
        } else if (at > secondHighest) {
            secondHighest = at;
        }
        // Reports in a row, in the ring's order; a step under a frame is the same cycle.
        const int before = (i + cycleReportWindow - 1) % cycleReportWindow;
        if (i != (line.newest + 1) % cycleReportWindow && before < line.count) {
            const double step = std::fabs(r.frame - line.reports[before].frame);
            if (step >= 1) cycle = std::min(cycle, step);
        }
    }
    CycleBounds bounds;
    bounds.under = line.count >= 2 ? secondLowest : lowest;
    bounds.over = line.count >= 2 ? secondHighest : highest;
    bounds.cycle = cycle == none ? 0 : cycle;
    return bounds;
}

} // namespace

void cycleLineAdd(CycleLine& line, CycleReport report) {
    const bool ahead = line.count > 0 && report.frame - cycleLineHeard(line, report.moment) >
                                             line.longestCycle + line.jumpFrames;
    if (ahead && line.aheadBefore) {
        // The report before this one began the jump: the window starts afresh from it.
        line.reports[0] = line.reports[line.newest];
        line.count = 1;
        line.newest = 0;
    }
    line.aheadBefore = ahead && !line.aheadBefore;
    line.newest = (line.newest + 1) % cycleReportWindow;
    line.reports[line.newest] = report;
    line.count = std::min(line.count + 1, cycleReportWindow);
}

double cycleLineHeard(const CycleLine& line, double moment) {
    if (line.count == 0) return 0;
    const CycleBounds bounds = cycleBounds(line);
    double heard = bounds.under;
    // No band without a known cycle; none either when the reports contradict one (a stall).
    const double least = bounds.over - bounds.cycle;
    if (bounds.cycle > 0 && bounds.cycle <= line.longestCycle && least <= bounds.under)
        heard = (least + bounds.under) / 2;
    return heard + line.rate * (moment - line.reports[line.newest].moment);
}

void streamClockHold(StreamClock& clock, uint64_t frame) {
    clock.anchor = frame;
    clock.running = false;
    clock.runHanded = false;
    clock.lastReading = double(frame);
}

void streamClockRun(StreamClock& clock, uint64_t frame) {
    streamClockHold(clock, frame);
    clock.running = true;
}

void streamClockHanded(StreamClock& clock, double outputFrame) {
    if (!clock.running || clock.runHanded) return;
    clock.runHanded = true;
    clock.runStart = outputFrame;
}

double streamClockRead(StreamClock& clock, double heardOutput, double fileFramesPerOutputFrame,
                       double limit) {
    const double anchor = double(clock.anchor);
    if (!clock.running || !clock.runHanded) return anchor;
    double reading = anchor + (heardOutput - clock.runStart) * fileFramesPerOutputFrame;
    reading = std::min(reading, std::max(anchor, limit));
    reading = std::max({reading, anchor, clock.lastReading});
    clock.lastReading = reading;
    return reading;
}

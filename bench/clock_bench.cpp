// How smooth the music clock is, beside a plain counter of the audio handed to the device.
//
// Plays a tone through SDL's audio (the dummy driver unless SDL_AUDIODRIVER says otherwise),
// polls musicTime() about every millisecond and prints, for our clock and for the counter: the
// largest step between two polls, the largest step beyond the time that passed between them,
// the largest gap from the least-squares line through the readings (over the whole run, and
// over each quarter of a second), how often a reading went backwards, and the line's slope. Usage:
// clock_bench [seconds to poll, default 6] [MP3 file, default a tone]
#include "bench/bench.h"
#include "music/bass.h"
#include "music/music.h"
#include "tools/mp3.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Reading {
    double wall;  // seconds since the music started
    double music; // seconds of music
};

struct Figures {
    double largestStepMs = 0, largestExcessStepMs = 0, largestGapMs = 0, largestLocalGapMs = 0;
    double slope = 0;
    int backwards = 0;
};

// The least-squares line through the readings: the slope, and the largest distance from it.
void fitLine(const std::vector<Reading>& readings, double& slope, double& largestGapMs) {
    slope = 0;
    largestGapMs = 0;
    if (readings.size() < 2) return;
    double meanWall = 0, meanMusic = 0;
    for (const Reading& r : readings)
        meanWall += r.wall, meanMusic += r.music;
    meanWall /= readings.size();
    meanMusic /= readings.size();
    double covariance = 0, variance = 0;
    for (const Reading& r : readings) {
        covariance += (r.wall - meanWall) * (r.music - meanMusic);
        variance += (r.wall - meanWall) * (r.wall - meanWall);
    }
    slope = covariance / variance;
    for (const Reading& r : readings) {
        const double line = meanMusic + slope * (r.wall - meanWall);
        largestGapMs = std::max(largestGapMs, 1000 * std::fabs(r.music - line));
    }
}

// Local gaps are measured on lines through a quarter of a second each: a device whose pace
// wanders slowly (the dummy driver sleeps in whole milliseconds, longer under load) moves the
// true position away from one straight line over seconds without any judder.
constexpr double localSpan = 0.25;

Figures measure(const std::vector<Reading>& readings) {
    Figures figures;
    if (readings.size() < 2) return figures;
    fitLine(readings, figures.slope, figures.largestGapMs);
    for (size_t first = 0; first < readings.size();) {
        size_t end = first;
        while (end < readings.size() && readings[end].wall < readings[first].wall + localSpan)
            ++end;
        double slope = 0, gap = 0;
        fitLine(std::vector<Reading>(readings.begin() + first, readings.begin() + end), slope, gap);
        figures.largestLocalGapMs = std::max(figures.largestLocalGapMs, gap);
        first = end;
    }
    for (size_t i = 1; i < readings.size(); ++i) {
        const Reading& r = readings[i];
        const Reading& p = readings[i - 1];
        const double step = r.music - p.music;
        figures.backwards += step < 0;
        figures.largestStepMs = std::max(figures.largestStepMs, 1000 * step);
        figures.largestExcessStepMs =
            std::max(figures.largestExcessStepMs, 1000 * (step - (r.wall - p.wall)));
    }
    return figures;
}

void print(const char* name, const char* span, const Figures& f) {
    std::printf("%-16s %-10s %9.3f %11.3f %9.3f %11.3f %9d %9.5f\n", name, span, f.largestStepMs,
                f.largestExcessStepMs, f.largestGapMs, f.largestLocalGapMs, f.backwards, f.slope);
}

// The summary rows: the settled readings, where the show runs.
void printFigures(const std::string& name, const Figures& f) {
    printFigure("clock", name + ": largest step between polls", f.largestStepMs, "ms");
    printFigure("clock", name + ": largest gap from a straight line", f.largestGapMs, "ms");
    printFigure("clock", name + ": largest gap from 0.25 s lines", f.largestLocalGapMs, "ms");
    printFigure("clock", name + ": readings that went backwards", f.backwards, "");
}

} // namespace

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const double pollSeconds = argc > 1 ? std::atof(argv[1]) : 6.0;
    std::string path = argc > 2 ? argv[2] : "";
    char dir[] = "/tmp/clockbenchXXXXXX";
    if (path.empty()) {
        if (mkdtemp(dir) == nullptr) return 1;
        path = std::string(dir) + "/tone.mp3";
        if (!writeToneMp3(path, 44100, 2, int64_t((pollSeconds + 4) * 44100), sineTone(440, 0.3))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }

    musicStart(path.c_str());
    if (musicStream == 0) return 1;
    std::vector<Reading> ours, counter;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (wall > pollSeconds) break;
        ours.push_back({wall, musicTime()});
        counter.push_back(
            {wall, BASS_ChannelBytes2Seconds(musicStream, bassHandedPosition(musicStream))});
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    BASS_Free();
    if (argc <= 2) {
        std::remove(path.c_str());
        rmdir(dir);
    }

    // From the first reading that moved on: the start waits for the first buffer to be heard.
    auto moving = [](const std::vector<Reading>& all) {
        std::vector<Reading> later;
        for (const Reading& r : all)
            if (!later.empty() || r.music > all.front().music) later.push_back(r);
        return later;
    };
    // Leaves out the first second, in which the output fills its queue and the clock locks on.
    auto settled = [](const std::vector<Reading>& all) {
        std::vector<Reading> later;
        for (const Reading& r : all)
            if (r.wall >= 1.0) later.push_back(r);
        return later;
    };
    double largestPoll = 0;
    for (size_t i = 1; i < ours.size(); ++i)
        largestPoll = std::max(largestPoll, ours[i].wall - ours[i - 1].wall);
    std::printf("%zu polls over %.1f s, largest interval between polls %.3f ms\n", ours.size(),
                pollSeconds, 1000 * largestPoll);
    std::printf("%-16s %-10s %9s %11s %9s %11s %9s %9s\n", "clock", "readings", "step ms",
                "excess ms", "gap ms", "0.25s gap", "backwards", "slope");
    print("ours", "all", measure(ours));
    print("ours", "moving", measure(moving(ours)));
    print("ours", "after 1 s", measure(settled(ours)));
    print("callback count", "all", measure(counter));
    print("callback count", "moving", measure(moving(counter)));
    print("callback count", "after 1 s", measure(settled(counter)));
    // The device's own pace: the counter at the first poll after each callback, about when the
    // callback ran. Its gap is how far the device itself strays from one straight line.
    std::vector<Reading> callbacks;
    for (size_t i = 1; i < counter.size(); ++i)
        if (counter[i].music != counter[i - 1].music) callbacks.push_back(counter[i]);
    const Figures pace = measure(settled(callbacks));
    std::printf("callback moments after 1 s: gap %.3f ms, 0.25 s gap %.3f ms\n", pace.largestGapMs,
                pace.largestLocalGapMs);
    printFigures("ours", measure(settled(ours)));
    printFigures("callback counter", measure(settled(counter)));
    printFigure("clock", "device pace: gap of the callback moments from a straight line",
                pace.largestGapMs, "ms");
    return 0;
}

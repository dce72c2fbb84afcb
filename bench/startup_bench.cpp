// The program's start-up, step by step: the entry point's own start-up function, each step
// timed, up to the first frame of the show presented. Each run is a fresh process, since a
// window and a GL context are made once per process.
//
// Usage, from the directory that holds the show's data: startup_bench [runs, default 5]
#include "show/pass.h"
#include "app/startup.h"
#include "bench/bench.h"

#include <GL/gl.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Start-up's steps and then the first frame; the names come from the start-up function, in the
// child process that runs it, so they travel back with the times.
constexpr int stepCount = 9;

struct Run {
    double stepMs[stepCount] = {};
    char stepNames[stepCount][64] = {};
    double peakRssMiB = 0;
};

Run current;
int step = 0;
Clock::time_point mark;

void lap(const char* name) {
    if (step < stepCount) {
        std::snprintf(current.stepNames[step], sizeof current.stepNames[step], "%s", name);
        current.stepMs[step++] = secondsSince(mark) * 1e3;
    }
    mark = Clock::now();
}

// One start-up in this process, as the entry point runs it.
Run startUp() {
    StartupSettings settings = desktopShow();
    settings.afterStep = lap;
    mark = Clock::now();
    startShow(settings);
    renderFrame();
    lap("first frame drawn and presented (renderFrame)");
    current.peakRssMiB = peakResidentMiB();
    return current;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    std::vector<Run> done;
    for (int i = 0; i < runs; ++i) {
        int channel[2];
        if (pipe(channel) != 0) return 1;
        const pid_t child = fork();
        if (child == 0) {
            close(channel[0]);
            const Run run = startUp();
            const bool written = write(channel[1], &run, sizeof run) == ssize_t(sizeof run);
            stopShow();
            SDL_Quit();
            _exit(written ? 0 : 1);
        }
        close(channel[1]);
        Run run;
        const bool read = ::read(channel[0], &run, sizeof run) == ssize_t(sizeof run);
        close(channel[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (read) done.push_back(run);
    }
    if (done.empty()) {
        std::fprintf(stderr, "startup_bench: no start-up completed\n");
        return 1;
    }

    std::printf("%-48s %10s %10s %10s   (%zu runs)\n", "step", "median ms", "min ms", "max ms",
                done.size());
    std::vector<double> totals(done.size(), 0), rss;
    for (int s = 0; s < stepCount; ++s) {
        std::vector<double> times;
        for (size_t r = 0; r < done.size(); ++r) {
            times.push_back(done[r].stepMs[s]);
            totals[r] += done[r].stepMs[s];
        }
        const Spread spread = spreadOf(times);
        std::printf("%-48s %10.1f %10.1f %10.1f\n", done[0].stepNames[s], spread.p50, spread.min,
                    spread.max);
        printFigure("start-up", std::string("step: ") + done[0].stepNames[s], spread.p50, "ms");
    }
    for (const Run& run : done)
        rss.push_back(run.peakRssMiB);
    const Spread total = spreadOf(totals);
    std::printf("%-48s %10.1f %10.1f %10.1f\n", "main() to first frame", total.p50, total.min,
                total.max);
    printFigure("start-up", "steps in all: main() to first frame presented", total.p50, "ms");
    printFigure("start-up", "peak resident memory at the first frame", spreadOf(rss).max, "MiB");
    return 0;
}

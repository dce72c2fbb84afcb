// The cost of one frame, renderFrame() with its buffer swap, for each kind of time window of the
// show, at 1280x720 after the program's own start-up. The music is paused at the chosen time, so
// every frame draws the same picture; the spectrum is the music's at that time.
//
// Under callgrind (--collect-atstart=no) only the frames are counted, and the counts are written
// once per kind, named after it, for callgrind_split to divide among the libraries.
//
// Usage, from the directory that holds the show's data: frame_bench [frames per kind, default 300]
#include "show/pass.h"
#include "app/startup.h"
#include "bench/bench.h"
#include "music/music.h"

#include <SDL.h>
#include <valgrind/callgrind.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Kind {
    const char* name;
    double seconds; // music time of the frames
};

const Kind kinds[] = {
    {"images only: opening card, three image layers (6 s)", 6.0},
    {"credits: background, the model, a card (12 s)", 12.0},
    {"picture sequence: one image (20 s)", 20.0},
    {"three stacked windows: four layers (51 s)", 51.0},
};

// Holds the music at `seconds`, and takes the spectrum there as the main loop's previous pass
// would have.
void holdMusicAt(double seconds) {
    musicHold(seconds);
    musicFetchSpectrum(spectrum);
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    const bool counting = RUNNING_ON_VALGRIND;
    startShow(desktopShow()); // as the entry point runs it (full screen)
    if (musicStream == 0) {
        std::fprintf(stderr, "frame_bench: the music did not open\n");
        return 1;
    }

    std::printf("%-56s %9s %9s %9s %9s %7s\n", "frames at", "mean ms", "median ms", "p99 ms",
                "max ms", "frames");
    for (const Kind& kind : kinds) {
        holdMusicAt(kind.seconds);
        // The GL compiles its shaders for new state on first use.
        for (int i = 0; i < (counting ? 2 : 10); ++i)
            renderFrame();
        if (counting) CALLGRIND_ZERO_STATS;
        std::vector<double> times;
        for (int i = 0; i < frames; ++i) {
            const Clock::time_point start = Clock::now();
            CALLGRIND_TOGGLE_COLLECT;
            renderFrame();
            CALLGRIND_TOGGLE_COLLECT;
            times.push_back(secondsSince(start) * 1e3);
        }
        if (counting) CALLGRIND_DUMP_STATS_AT(kind.name);
        const Spread spread = spreadOf(times);
        std::printf("%-56s %9.2f %9.2f %9.2f %9.2f %7d   at %.3f s\n", kind.name, spread.mean,
                    spread.p50, spread.p99, spread.max, frames, musicTime());
        if (!counting) {
            printFigure("frame", std::string(kind.name) + ": mean", spread.mean, "ms");
            printFigure("frame", std::string(kind.name) + ": 99th percentile", spread.p99, "ms");
        }
    }
    if (!counting) printFigure("frame", "peak resident memory", peakResidentMiB(), "MiB");
    stopShow();
    return atexit(SDL_Quit);
}

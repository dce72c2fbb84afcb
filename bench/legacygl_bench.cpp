// Frames of the show through the GL 1.x layer on OpenGL ES 3.0, natively: time and draw calls.
#include "bench/bench.h"

#include "app/startup.h"
#include "music/music.h"
#include "show/show.h"
#include "standin/gl/esframe.h"
#include "standin/gl/legacygl.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Moment {
    double seconds;
    const char* name;
};
const Moment moments[] = {
    {12.0, "model over credits"}, {22.0, "one picture"}, {51.0, "three windows"}};
constexpr int warmUpFrames = 3; // shaders compiled, textures resident

} // namespace

// legacygl_bench [FRAMES]: FRAMES a moment (default 30).
int main(int argc, char** argv) {
    const int timedFrames = argc > 1 ? std::atoi(argv[1]) : 30;
    if (timedFrames < 1) {
        std::fputs("usage: legacygl_bench [FRAMES]\n", stderr);
        return 2;
    }
    EsFrame frame;
    std::string error;
    if (!frame.open(showWidth, showHeight, 8, error) || !legacyglInit(esFrameLoader, error)) {
        std::fprintf(stderr, "legacygl_bench: %s\n", error.c_str());
        return 1;
    }
    StartupSettings settings;
    settings.sound = false;
    startShow(settings);
    std::printf("%d samples per pixel\n", frame.samples());
    for (const Moment& m : moments) {
        musicHold(m.seconds);
        musicFetchSpectrum(spectrum);
        for (int i = 0; i < warmUpFrames; ++i) {
            drawFrame();
            glFinish();
        }
        const LegacyGLCounts before = legacyglCounts();
        std::vector<double> times;
        for (int i = 0; i < timedFrames; ++i) {
            const Clock::time_point start = Clock::now();
            drawFrame();
            glFinish(); // the driver's work too, not only the layer's
            times.push_back(secondsSince(start) * 1000);
        }
        const LegacyGLCounts after = legacyglCounts();
        const Spread spread = spreadOf(times);
        const std::string name = m.name;
        printFigure("legacygl", name + ": mean frame", spread.mean, "ms");
        printFigure("legacygl", name + ": primitives per frame",
                    double(after.primitives - before.primitives) / timedFrames, "");
        printFigure("legacygl", name + ": draws per frame",
                    double(after.draws - before.draws) / timedFrames, "");
        printFigure("legacygl", name + ": quads cut to their texture per frame",
                    double(after.quadsCut - before.quadsCut) / timedFrames, "");
    }
    stopShow();
    return 0;
}

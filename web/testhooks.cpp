// The page's test hooks: held frames read back, the clock, the spectrum, and what the page's
// script learns of the start-up and the passes.
#include "web/testhooks.h"

#include "base/screen.h"
#include "music/bass.h"
#include "music/core.h"
#include "music/music.h"
#include "show/show.h"
#include "web/arguments.h"
#include "web/canvas.h"

#include <emscripten.h>

#include <cstring>
#include <vector>

namespace {

double hold = -1;  // seconds, or negative: the clock runs
double busyMs = 0; // per pass
bool keepLoadingPicture = false;
int passes = 0;
std::vector<unsigned char> loadingPicture, captured;

// Holds the clock at `seconds` and takes the spectrum there, as the live loop's previous pass
// would have.
void holdAt(double seconds) {
    musicHold(seconds);
    musicFetchSpectrum(spectrum);
}

void keepBusy(double milliseconds) {
    const double until = monotonicSeconds() + milliseconds / 1000;
    while (monotonicSeconds() < until) {
    }
}

} // namespace

void testHooksStart(const PageArguments& arguments) {
    hold = arguments.hold;
    busyMs = arguments.busyMs;
    keepLoadingPicture = arguments.loadingPicture;
}

void noteStartupStep(const char* step) {
    EM_ASM(
        {
            (Module.zrxSteps = Module.zrxSteps || []).push([ UTF8ToString($0), performance.now() ]);
        },
        step);
}

void noteLoadingDrawn() {
    if (!keepLoadingPicture) return;
    // RGB, rows bottom first.
    loadingPicture.resize(size_t(showWidth) * showHeight * 3);
    readCanvas(loadingPicture.data(), showWidth, showHeight);
    EM_ASM(Module.zrxLoadingPicture = $0;, loadingPicture.data());
}

void noteLoadingPainted() {
    EM_ASM(Module.zrxLoadingPainted = !Module.zrxFrames;);
}

void noteStartupDone() {
    if (hold >= 0) holdAt(hold);
    EM_ASM(Module.zrxReady = true;);
}

void notePass() {
    ++passes;
    EM_ASM(
        {
            Module.zrxFrames = $0;
            if ($0 == 1) Module.zrxFirstFrameAt = performance.now();
        },
        passes);
    if (busyMs > 0) keepBusy(busyMs);
}

// Called from the page's script and the tests (zoomraxvandel.js exports them).
extern "C" {

// The show's clock (musicTime) as a pass would read it now.
EMSCRIPTEN_KEEPALIVE double zrxMusicTime() {
    return musicTime();
}

// Draws the frame of the current music time (held by --hold) and reads it back, before the
// browser could clear it: a pointer to showWidth x showHeight RGB pixels, rows bottom first,
// valid until the next call.
EMSCRIPTEN_KEEPALIVE const unsigned char* zrxCaptureFrame() {
    drawFrame();
    captured.resize(size_t(showWidth) * showHeight * 3);
    readCanvas(captured.data(), showWidth, showHeight);
    return captured.data();
}

// 1 while the music's clock follows the sound output, 0 while it runs on the system clock (no
// output, or one lost).
EMSCRIPTEN_KEEPALIVE int zrxSoundHeard() {
    return std::strcmp(bassOutputName(), "web") == 0;
}

// The spectrum's bin `bin` (0 to 511) as the next frame reads it; for the tests' model box.
EMSCRIPTEN_KEEPALIVE float zrxSpectrumBin(int bin) {
    return bin >= 0 && bin < 512 ? spectrum[bin] : 0;
}

// Draws `count` frames of the current music time, each waited for as a swap would be; for the
// benchmark, which times the call.
EMSCRIPTEN_KEEPALIVE void zrxDrawFrames(int count) {
    for (int i = 0; i < count; ++i)
        drawFrame(), finishCanvas();
}
}

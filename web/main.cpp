// Entry point of the web program: start-up on the page's canvas, then one pass of the show per
// browser frame (a page may not block in a loop of its own).
//
// URL parameters, for tests: ?hold=SECONDS holds the clock at that music time (musicHold, as
// the recorder does) and the show starts silently; without it the show runs from the start on
// the silent device's clock.
#include "base/screen.h"
#include "music/music.h"
#include "show/show.h"
#include "show/stage.h"
#include "show/startup.h"
#include "web/display.h"
#include "web/page.h"

#include <emscripten.h>

#include <vector>

namespace {

// Holds the clock at `seconds` and takes the spectrum there, as the main loop's previous pass
// would have.
void holdAt(double seconds) {
    musicHold(seconds);
    musicFetchSpectrum(spectrum);
}

// One pass of the show: the frame for the music time, then the spectrum the next one reads.
// The browser shows the canvas when the pass returns.
void pass() {
    if (!canvasCaughtUp()) return; // the browser asks again next frame
    if (drawFrame()) presentFrame();
    musicFetchSpectrum(spectrum);
}

std::vector<unsigned char> captured;

} // namespace

// The page's test hooks, called from JavaScript (zoomraxvandel.js exports them).
extern "C" {

// Draws the frame of the current music time (held by ?hold=) and reads it back, before the
// browser could clear it: a pointer to showWidth x showHeight RGB pixels, rows bottom first,
// valid until the next call.
EMSCRIPTEN_KEEPALIVE const unsigned char* zrxCaptureFrame() {
    drawFrame();
    captured.resize(size_t(showWidth) * showHeight * 3);
    readCanvas(captured.data(), showWidth, showHeight);
    return captured.data();
}

// The spectrum's bin `bin` (0 to 511) as the next frame reads it; for the tests' model box.
EMSCRIPTEN_KEEPALIVE float zrxSpectrumBin(int bin) {
    return bin >= 0 && bin < 512 ? spectrum[bin] : 0;
}

// The show's clock (musicTime) as a pass would read it now, for the tests.
EMSCRIPTEN_KEEPALIVE double zrxMusicTime() {
    return musicTime();
}

// Draws `count` frames of the current music time, each waited for as a swap would be; for the
// benchmark, which times the call.
EMSCRIPTEN_KEEPALIVE void zrxDrawFrames(int count) {
    for (int i = 0; i < count; ++i)
        drawFrame(), finishCanvas();
}
}

int main() {
    StartupSettings settings;
    settings.openWindow = openCanvas;
    settings.fullScreen = false;
    settings.sound = false; // sound in the browser comes with a later step
    if (!startShow(settings)) return 1;
    double hold = 0;
    if (pageNumber("hold", hold)) holdAt(hold);
    EM_ASM(Module.zrxReady = true;); // start-up is done: the hooks may be called
    emscripten_set_main_loop(pass, 0, false);
    return 0;
}

// Entry point of the web program: start-up a step per browser frame (so that the loading image is
// painted while the rest loads), then one pass of the show per browser frame (a page may not
// block in a loop of its own), with the desktop's key controls and caption.
//
// The page (web/index.html) calls main after the visitor's first click or key, which starts its
// audio context. URL parameters: ?start=SECONDS, ?nosound, ?audiodelay=SECONDS, as the desktop's
// command line; for tests, ?hold=SECONDS holds the clock at that music time (musicHold, as the
// recorder does) and the show starts silently, and ?busy=MILLISECONDS keeps the page's thread
// busy that long in every pass, as a slow frame would.
#include "base/failure.h"
#include "base/screen.h"
#include "music/core.h"
#include "music/music.h"
#include "show/controls.h"
#include "show/show.h"
#include "show/slots.h"
#include "show/stage.h"
#include "show/startup.h"
#include "web/display.h"
#include "web/page.h"

#include <IL/il.h>
#include <emscripten.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

StartupSettings settings;
double hold = -1;     // seconds, or negative: the clock runs
double busyMs = 0;    // per pass, test only
bool painted = false; // a frame has passed since the loading image was drawn
int showPasses = 0;   // passes of the show so far
std::vector<unsigned char> loadingPicture;

// Keys held down, as SDL's key array would show them; written by zrxKey.
unsigned char keysDown[keySymbolCount] = {};

// Holds the clock at `seconds` and takes the spectrum there, as the main loop's previous pass
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

bool started = false; // start-up is done
bool launched = false; // main has run: start-up has begun
int decodedAhead = 0;  // texture slots whose pictures were decoded before the click

// Start-up's passes: the steps up to the loading image in one, a pass in which the browser
// paints it, then a step a pass, then the show.
void startupPass() {
    if (!loadingScreenShown()) {
        while (!loadingScreenShown() && nextStartupStep()) {
        }
        // What the browser is about to paint, kept for the tests (?loadingpicture; reading the
        // canvas back costs a visitor some tenths of a second): RGB, rows bottom first.
        if (pageFlag("loadingpicture")) {
            loadingPicture.resize(size_t(showWidth) * showHeight * 3);
            readCanvas(loadingPicture.data(), showWidth, showHeight);
            EM_ASM(Module.zrxLoadingPicture = $0;, loadingPicture.data());
        }
        return;
    }
    if (!painted) {
        painted = true; // the browser has painted the loading image: no pass of the show yet
        EM_ASM(Module.zrxLoadingPainted = !Module.zrxFrames;);
        return;
    }
    if (nextStartupStep()) return;
    if (hold >= 0) holdAt(hold);
    ilDropAhead(); // every slot has been loaded: what was decoded ahead and not taken goes
    EM_ASM(Module.zrxReady = true;); // start-up is done: the hooks may be called
    started = true;
}

// One pass of the show, as the desktop's main loop runs it: the keys since the last pass, the
// frame for the music time, the spectrum the next one reads, the caption (the page's title).
// Escape ends the show after its pass, as on the desktop.
void showPass() {
    if (!canvasCaughtUp()) return; // the browser asks again next frame; keys pressed wait for it
    keyState = keysDown;
    applyKeyControls();
    if (drawFrame()) presentFrame();
    musicFetchSpectrum(spectrum);
    formatCaption(float(musicTime()));
    ++showPasses;
    EM_ASM(
        {
            document.title = UTF8ToString($0);
            Module.zrxFrames = $1;
            if ($1 == 1) Module.zrxFirstFrameAt = performance.now();
        },
        captionText, showPasses);
    const bool escape = keyDown(keyEscape);
    beginKeyPass();
    if (busyMs > 0) keepBusy(busyMs);
    if (escape) {
        emscripten_cancel_main_loop();
        stopShow();
        EM_ASM(Module.zrxShowEnded(););
    }
}

void pass() {
    if (started)
        showPass();
    else
        startupPass();
}

// The show from the start again after an Escape: the music afresh (the pictures and models are
// loaded already).
void playAgain() {
    paused = spaceLatch = false;
    std::fill(std::begin(keysDown), std::end(keysDown), 0);
    beginKeyPass();
    musicSetAudioDelay(settings.audioDelay);
    musicStart(showTrack, settings.sound, settings.startSeconds);
    emscripten_set_main_loop(pass, 0, false);
}

std::vector<unsigned char> captured;

} // namespace

// Called from the page's JavaScript (zoomraxvandel.js exports them).
extern "C" {

// A key went down or up: `key` is an SDL 1.2 key symbol (the page maps the browser's keys).
EMSCRIPTEN_KEEPALIVE void zrxKey(int key, int down) {
    if (key <= 0 || key >= keySymbolCount) return;
    keysDown[key] = down != 0;
    if (down) noteKeyPress(key);
}

// The page calls this once its data is in, before it shows the start screen: the track is
// decoded while the visitor reads it rather than after the click.
EMSCRIPTEN_KEEPALIVE void zrxDecodeAhead() {
    musicDecodeAhead(showTrack);
}

// The page calls this again and again while it waits for the click, each call at most one
// picture of the texture table decoded ahead (the page stays responsive): loading the textures
// after the click then only hands them to GL. 0 once all are done or start-up has begun.
EMSCRIPTEN_KEEPALIVE int zrxDecodeImageAhead() {
    if (launched || decodedAhead >= textureSlotCount) return 0;
    ilDecodeAhead(textureSlots[decodedAhead++].file);
    return decodedAhead < textureSlotCount;
}

EMSCRIPTEN_KEEPALIVE void zrxPlayAgain() {
    playAgain();
}

// The show's clock (musicTime) as a pass would read it now, for the tests.
EMSCRIPTEN_KEEPALIVE double zrxMusicTime() {
    return musicTime();
}

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

// Draws `count` frames of the current music time, each waited for as a swap would be; for the
// benchmark, which times the call.
EMSCRIPTEN_KEEPALIVE void zrxDrawFrames(int count) {
    for (int i = 0; i < count; ++i)
        drawFrame(), finishCanvas();
}
}

namespace {

// Each start-up step's end on the page's clock, for the start benchmark: Module.zrxSteps holds
// [name, milliseconds] pairs in order.
void noteStep(const char* step) {
    EM_ASM(
        {
            (Module.zrxSteps = Module.zrxSteps || []).push([ UTF8ToString($0), performance.now() ]);
        },
        step);
}

} // namespace

int main() {
    launched = true;
    settings.openWindow = openCanvas;
    settings.afterStep = noteStep;
    settings.fullScreen = false;
    settings.sound = !pageFlag("nosound") && EM_ASM_INT(return Module.zrxSoundReady ? 1 : 0;);
    double number = 0;
    if (pageNumber("start", number)) settings.startSeconds = number;
    if (pageNumber("audiodelay", number)) settings.audioDelay = number;
    if (pageNumber("hold", number) && number >= 0) {
        hold = number;
        settings.sound = false;
    }
    if (pageNumber("busy", number)) busyMs = number;
    if (!beginShow(settings)) {
        EM_ASM(Module.zrxFailed = "no screen";);
        return 1;
    }
    emscripten_set_main_loop(pass, 0, false);
    return 0;
}

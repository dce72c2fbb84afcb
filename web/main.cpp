// Entry point of the web program: start-up a step per browser frame (so that the loading image
// is painted while the rest loads), then one pass of the show per browser frame (a page may not
// block in a loop of its own).
//
// The page's script (web/page.js) calls main after the visitor's first click or key, which
// starts its audio context, with the parameters of the page's address as arguments
// (web/arguments.h).
#include "music/music.h"
#include "show/controls.h"
#include "show/pass.h"
#include "show/slots.h"
#include "show/startup.h"
#include "web/arguments.h"
#include "web/canvas.h"
#include "web/testhooks.h"

#include <IL/il.h>
#include <emscripten.h>

namespace {

StartupSettings settings;
bool launched = false; // main has run: start-up has begun
bool painted = false;  // a frame has passed since the loading image was drawn
bool started = false;  // start-up is done
int decodedAhead = 0;  // texture slots whose pictures were decoded before the click

// Start-up's passes: the steps up to the loading image in one, a pass in which the browser
// paints it, then a step a pass.
void startupPass() {
    if (!loadingScreenShown()) {
        while (!loadingScreenShown() && nextStartupStep()) {
        }
        noteLoadingDrawn();
        return;
    }
    if (!painted) {
        painted = true; // the browser has painted the loading image: no pass of the show yet
        noteLoadingPainted();
        return;
    }
    if (nextStartupStep()) return;
    ilDropAhead(); // every slot has been loaded: what was decoded ahead and not taken goes
    noteStartupDone();
    started = true;
}

// One pass of the show, as the desktop's loop runs it, once the GL has drawn the frame before
// (the browser asks again next frame; keys pressed wait for it). Escape ends the show after its
// pass, as on the desktop, and the page offers to play it again.
void livePass() {
    if (!canvasCaughtUp()) return;
    const bool quit = showPass();
    notePass();
    if (quit) {
        emscripten_cancel_main_loop();
        stopShow();
        EM_ASM(Module.zrxShowEnded(););
    }
}

void pass() {
    if (started)
        livePass();
    else
        startupPass();
}

} // namespace

// Called from the page's script (zoomraxvandel.js exports them).
extern "C" {

// Once the page's data is in, before it shows the start screen: the track is decoded while the
// visitor reads it rather than after the click.
EMSCRIPTEN_KEEPALIVE void zrxDecodeAhead() {
    musicDecodeAhead(showTrack);
}

// Again and again while the page waits for the click, each call at most one picture of the
// texture table decoded ahead (the page stays responsive): loading the textures after the click
// then only hands them to GL. 0 once all are done or start-up has begun.
EMSCRIPTEN_KEEPALIVE int zrxDecodeImageAhead() {
    if (launched || decodedAhead >= textureSlotCount) return 0;
    ilDecodeAhead(textureSlots[decodedAhead++].file);
    return decodedAhead < textureSlotCount;
}

// The show from the start again after an Escape: the music afresh (the pictures and models are
// loaded already).
EMSCRIPTEN_KEEPALIVE void zrxPlayAgain() {
    paused = spaceLatch = false;
    releaseKeys();
    beginKeyPass();
    musicSetAudioDelay(settings.audioDelay);
    musicStart(showTrack, settings.sound, settings.startSeconds);
    emscripten_set_main_loop(pass, 0, false);
}
}

int main(int argc, char** argv) {
    launched = true;
    PageArguments arguments;
    if (!readArguments(argc, argv, arguments)) {
        EM_ASM(Module.zrxFailed = "bad arguments";);
        return 2;
    }
    testHooksStart(arguments);
    settings.window = &canvasWindow;
    settings.afterStep = noteStartupStep;
    settings.fullScreen = false;
    settings.sound = arguments.sound;
    settings.startSeconds = arguments.start;
    settings.audioDelay = arguments.audioDelay;
    if (!beginShow(settings)) {
        EM_ASM(Module.zrxFailed = "no screen";);
        return 1;
    }
    emscripten_set_main_loop(pass, 0, false);
    return 0;
}

// One pass of the live show: keys, frame, spectrum and caption, in the order the show relies on.
#include "show/pass.h"

#include "music/music.h"
#include "show/controls.h"
#include "show/show.h"
#include "show/stage.h"
#include "show/showwindow.h"

#include <cassert>

void renderFrame() {
    if (drawFrame()) presentFrame();
}

// No frame-rate cap: only the frame's buffer swap holds a pass back.
bool showPass() {
    const ShowWindow* window = showWindow();
    assert(window != nullptr && "a pass needs the window start-up opened");
    const bool closeRequested = window->readEvents();
    applyKeyControls();
    renderFrame();
    musicFetchSpectrum(spectrum); // read by the next pass's frame
    formatCaption(float(musicTime()));
    window->setCaption(captionText);
    const bool quit = closeRequested || keyDown(keyEscape);
    beginKeyPass(); // the presses of this pass are spent
    return quit;
}

// The main loop: events, key controls, one frame, the spectrum snapshot and the caption per pass.
#include "app/mainloop.h"

#include "show/controls.h"
#include "app/window.h"
#include "music/music.h"
#include "show/show.h"

#include <SDL.h>

static_assert(keySymbolCount == SDLK_LAST && keyEscape == SDLK_ESCAPE && keySpace == SDLK_SPACE &&
                  keyRight == SDLK_RIGHT && keyLeft == SDLK_LEFT,
              "the controls' key numbers are SDL 1.2's");

namespace {

// Reads the window close and the key presses of the pass and drops every other event; the key
// array is refreshed after each one.
bool drainEvents() {
    bool closeRequested = false;
    beginKeyPass();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) closeRequested = true;
        if (event.type == SDL_KEYDOWN) noteKeyPress(event.key.keysym.sym);
        keyState = SDL_GetKeyState(nullptr);
    }
    return closeRequested;
}

} // namespace

void renderFrame() {
    if (drawFrame()) presentFrame();
}

// No frame-rate cap: only the timeline's buffer swap holds a pass back. Escape or a close
// still lets its pass draw, fetch the spectrum and set the caption.
bool runMainLoop() {
    bool quitRequested = false;
    for (;;) {
        if (drainEvents()) quitRequested = true;
        applyKeyControls();
        renderFrame();
        musicFetchSpectrum(spectrum); // read by the next pass's frame
        formatCaption(float(musicTime()));
        SDL_WM_SetCaption(captionText, nullptr);
        if (keyDown(SDLK_ESCAPE) || quitRequested) break;
    }
    return true;
}

// The desktop's window and GL context: SDL 1.2, its events and its caption.
#include "app/window.h"

#include "base/failure.h"
#include "show/controls.h"
#include "show/stage.h"

#include <SDL.h>

static_assert(keySymbolCount == SDLK_LAST && keyEscape == SDLK_ESCAPE && keySpace == SDLK_SPACE &&
                  keyRight == SDLK_RIGHT && keyLeft == SDLK_LEFT,
              "the controls' key numbers are SDL 1.2's");

bool openWindow(int width, int height, bool fullScreen) {
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        failureMessage("Unable to initialize SDL!");
        return false;
    }
    const Uint32 flags = fullScreen ? (SDL_FULLSCREEN | SDL_OPENGL) : SDL_OPENGL;
    // Many drivers offer no 8-sample visual; fewer samples, or none, still run the show.
    static const int sampleTries[] = {8, 4, 2, 0};
    for (int samples : sampleTries) {
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
        if (SDL_SetVideoMode(width, height, 0, flags) != nullptr) {
            SDL_ShowCursor(SDL_DISABLE);
            setShowWindow(&desktopWindow); // its buffer swap is the one presentFrame() uses
            return true;
        }
    }
    failureMessage("Unable to open screen!");
    return false;
}

namespace {

// Without a window start-up ends, and SDL with it.
bool openDesktop(int width, int height, bool fullScreen) {
    if (openWindow(width, height, fullScreen)) return true;
    SDL_Quit();
    return false;
}

void swap() {
    SDL_GL_SwapBuffers();
}

// Reads the window close and the key presses and drops every other event; the key array is
// refreshed after each one.
bool pollEvents() {
    bool closeRequested = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) closeRequested = true;
        if (event.type == SDL_KEYDOWN) noteKeyPress(event.key.keysym.sym);
        keyState = SDL_GetKeyState(nullptr);
    }
    return closeRequested;
}

void setWindowCaption(const char* text) {
    SDL_WM_SetCaption(text, nullptr);
}

} // namespace

const ShowWindow desktopWindow = {openDesktop, swap, pollEvents, setWindowCaption};

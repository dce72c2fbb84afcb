// The desktop's window and GL context: SDL 1.2.
#include "app/window.h"

#include "base/failure.h"

#include <SDL.h>

namespace {

void swapWindow() {
    SDL_GL_SwapBuffers();
}

} // namespace

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
            setFrameSwap(swapWindow);
            SDL_ShowCursor(SDL_DISABLE);
            return true;
        }
    }
    failureMessage("Unable to open screen!");
    return false;
}

// Entry point: start-up, then (for now) the loading image for a moment, then shutdown.
#include "app/app.h"
#include "assets/assets.h"

#include <SDL.h>

int main(int, char**) {
    openWindow(1280, 720, true);
    initImageLibrary();
    initGLState();
    showLoadingScreen();
    setupLights();
    SDL_Delay(1500);
    return atexit(SDL_Quit);
}

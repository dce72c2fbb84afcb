// Entry point: start-up in its fixed order, the show until the viewer quits, then shutdown.
#include "app/app.h"
#include "assets/assets.h"
#include "music/music.h"

#include <SDL.h>

#include <cstdlib>

// Every step runs whatever the steps before it reported, except the window: without it no key
// can reach the program, so it could never be stopped.
int main(int, char**) {
    if (!openWindow(1280, 720, true)) {
        SDL_Quit();
        return 1;
    }
    initImageLibrary();
    initGLState();
    showLoadingScreen(); // on screen until the first frame of the main loop
    setupLights();       // after the loading screen, whose modelview places the light
    loadAssets();
    musicStart("Data/Zrax2011.mp3"); // only now, so the clock is near 0 at the first frame
    runMainLoop();

    BASS_Free();
    // The window and GL context go during the runtime's exit processing, after main returns.
    return atexit(SDL_Quit);
}

// Entry point: the command line, start-up in its fixed order, the show until the viewer quits,
// then shutdown.
#include "app/app.h"
#include "app/options.h"
#include "assets/assets.h"
#include "music/music.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "zoomraxvandel: %s\n%s", error.c_str(), usageText);
        return 2;
    }
    if (options.help) {
        std::fputs(usageText, stdout);
        return 0;
    }
    if (options.version) {
        std::puts("zoomraxvandel " ZRX_VERSION);
        return 0;
    }

    // Every step runs whatever the steps before it reported, except the window: without it no
    // key can reach the program, so it could never be stopped.
    if (!openWindow(1280, 720, true)) {
        SDL_Quit();
        return 1;
    }
    initImageLibrary();
    initGLState();
    showLoadingScreen(); // on screen until the first frame of the main loop
    setupLights();       // after the loading screen, whose modelview places the light
    loadAssets();
    // Only now, so the clock is near 0 at the first frame.
    if (!musicStart("Data/Zrax2011.mp3", !options.noSound))
        std::fputs("To watch the show without sound, start it with --no-sound.\n", stderr);
    runMainLoop();

    BASS_Free();
    // The window and GL context go during the runtime's exit processing, after main returns.
    return atexit(SDL_Quit);
}

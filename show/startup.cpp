// Start-up in its fixed order, and the shutdown of the music.
#include "show/startup.h"

#include "assets/assets.h"
#include "music/music.h"
#include "show/slots.h"
#include "show/stage.h"
#include "show/showwindow.h"

#include <cstdio>

const char* const showTrack = "Data/Zrax2011.mp3";

namespace {

StartupSettings current;
int step = 0; // the next step of nextStartupStep

void done(const char* step) {
    if (current.afterStep != nullptr) current.afterStep(step);
}

} // namespace

bool beginShow(const StartupSettings& settings) {
    current = settings;
    step = 0;
    setShowWindow(nullptr);
    if (settings.window != nullptr) {
        if (!settings.window->open(settings.width, settings.height, settings.fullScreen))
            return false;
        setShowWindow(settings.window);
        done("window and GL context (openWindow)");
    }
    return true;
}

bool nextStartupStep() {
    switch (step++) {
    case 0:
        initImageLibrary();
        done("image library (initImageLibrary)");
        return true;
    case 1:
        initGLState(current.width, current.height);
        done("GL state and projection (initGLState)");
        return true;
    case 2:
        showLoadingScreen(); // on screen until the first frame of the main loop
        done("loading image shown (showLoadingScreen)");
        return true;
    case 3:
        setupLights(); // after the loading screen, whose modelview places the light
        done("light (setupLights)");
        return true;
    case 4:
        loadModels();
        done("the four models (loadModels)");
        return true;
    case 5:
        loadTextures();
        done("the 34 images (loadTextures)");
        return true;
    case 6:
        musicSetAudioDelay(current.audioDelay);
        // Only now, so that the clock is near 0 at the first frame.
        if (!musicStart(showTrack, current.sound, current.startSeconds))
            std::fputs("To watch the show without sound, start it with --no-sound.\n", stderr);
        done("opening the music (musicStart)");
        return true;
    default:
        return false;
    }
}

bool loadingScreenShown() {
    return step > 2;
}

bool startShow(const StartupSettings& settings) {
    if (!beginShow(settings)) return false;
    while (nextStartupStep()) {
    }
    return true;
}

void stopShow() {
    musicStop();
}

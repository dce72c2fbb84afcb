// Start-up in its fixed order, and the shutdown of the music.
#include "show/startup.h"

#include "assets/assets.h"
#include "music/music.h"
#include "show/slots.h"
#include "show/stage.h"

#include <cassert>
#include <cstdio>

namespace {

StartupSettings current;

void done(const char* step) {
    if (current.afterStep != nullptr) current.afterStep(step);
}

} // namespace

bool startShow(const StartupSettings& settings) {
    current = settings;
    if (settings.window) {
        assert(settings.openWindow != nullptr);
        if (!settings.openWindow(settings.width, settings.height, settings.fullScreen))
            return false;
        done("window and GL context (openWindow)");
    }
    initImageLibrary();
    done("image library (initImageLibrary)");
    initGLState(settings.width, settings.height);
    done("GL state and projection (initGLState)");
    showLoadingScreen(); // on screen until the first frame of the main loop
    done("loading image shown (showLoadingScreen)");
    setupLights(); // after the loading screen, whose modelview places the light
    done("light (setupLights)");
    loadModels();
    done("the four models (loadModels)");
    loadTextures();
    done("the 34 images (loadTextures)");
    musicSetAudioDelay(settings.audioDelay);
    // Only now, so that the clock is near 0 at the first frame.
    if (!musicStart("Data/Zrax2011.mp3", settings.sound, settings.startSeconds))
        std::fputs("To watch the show without sound, start it with --no-sound.\n", stderr);
    done("opening the music (musicStart)");
    return true;
}

void stopShow() {
    musicStop();
}

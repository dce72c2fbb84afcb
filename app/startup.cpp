// The desktop program's start-up settings: its SDL window and the command line's choices.
#include "app/startup.h"

#include "app/options.h"
#include "app/window.h"

#include <SDL.h>

namespace {

// Without a window start-up ends, and SDL with it.
bool openDesktopWindow(int width, int height, bool fullScreen) {
    if (openWindow(width, height, fullScreen)) return true;
    SDL_Quit();
    return false;
}

} // namespace

StartupSettings desktopShow() {
    StartupSettings settings;
    settings.openWindow = openDesktopWindow;
    return settings;
}

StartupSettings liveShow(const Options& options) {
    StartupSettings settings = desktopShow();
    settings.fullScreen = !options.windowed;
    settings.sound = !options.noSound;
    settings.startSeconds = options.start;
    settings.audioDelay = options.audioDelay;
    return settings;
}

// The desktop program's start-up settings: its SDL window and the command line's choices.
#include "app/startup.h"

#include "app/options.h"
#include "app/window.h"

StartupSettings desktopShow() {
    StartupSettings settings;
    settings.window = &desktopWindow;
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

// Start-up of the desktop program: the shared sequence (show/startup.h) on an SDL window.
#pragma once

#include "show/startup.h"

struct Options;

// The live show as the command line asks for it: on screen, full screen unless windowed.
StartupSettings liveShow(const Options& options);
// Settings for a show in an SDL window (app/window.h), windowed or not.
StartupSettings desktopShow();

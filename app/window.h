// The desktop's window: SDL 1.2 with an OpenGL context, its events and its caption.
#pragma once

#include "show/showwindow.h"

// A width x height OpenGL window, full screen or not, its context current and its buffer swap
// the one presentFrame() uses (desktopWindow); false after a failure message.
bool openWindow(int width, int height, bool fullScreen);

// The show's window on the desktop (show/showwindow.h): openWindow, and without a window SDL ends
// too; SDL's buffer swap, events and caption.
extern const ShowWindow desktopWindow;

// The desktop's window and GL context; the GL state, loading image and light above it are the
// show's (show/stage.h).
#pragma once

#include "show/stage.h"

// A width x height OpenGL window, full screen or not, its context current and its buffer swap
// the one presentFrame() uses; false after a failure message.
bool openWindow(int width, int height, bool fullScreen);

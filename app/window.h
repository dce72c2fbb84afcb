// The window, its GL context, the fixed GL state of the whole run, the loading image, the light.
#pragma once

#include "base/screen.h"

class Texture;

// The loading image, set once by showLoadingScreen() and drawn nowhere else.
extern Texture* loadingImage;

// A width x height OpenGL window, full screen or not; false after a failure message.
bool openWindow(int width, int height, bool fullScreen);
// The GL state every frame assumes, with a viewport of the given size (the projection is 16:9
// whatever the size).
bool initGLState(int viewportWidth = showWidth, int viewportHeight = showHeight);
// Loads the loading image and presents it; it stays on screen until the first frame.
bool showLoadingScreen();
// Light 0 and colour material; must follow showLoadingScreen(), whose modelview places the light.
void setupLights();
// Flushes the GL and, when a window is open, swaps its buffers.
void presentFrame();

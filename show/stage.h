// The fixed GL state of the whole run, the loading image, the light, and presenting a frame.
#pragma once

#include "base/screen.h"

class Texture;
struct ShowWindow;

// The loading image, set once by showLoadingScreen() and drawn nowhere else.
extern Texture* loadingImage;

// The GL state every frame assumes, with a viewport of the given size (the projection is 16:9
// whatever the size).
bool initGLState(int viewportWidth = showWidth, int viewportHeight = showHeight);
// Loads the loading image and presents it; it stays on screen until the first frame.
bool showLoadingScreen();
// Light 0 and colour material; must follow showLoadingScreen(), whose modelview places the light.
void setupLights();

// The window start-up opened (show/showwindow.h); null while the show draws into a GL context of its
// caller's (the recorder's, a test's).
void setShowWindow(const ShowWindow* window);
const ShowWindow* showWindow();
// Flushes the GL and, when a window is open, shows the frame.
void presentFrame();

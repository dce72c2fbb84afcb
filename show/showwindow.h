// The platform's window as the show sees it: opening it, presenting a frame, the events of a pass
// and the caption. Each program fills one in (the desktop's SDL window, the page's canvas).
#pragma once

struct ShowWindow {
    // A width x height window, full screen or not, whose GL context is current afterwards; false
    // after a failure message.
    bool (*open)(int width, int height, bool fullScreen);
    // Puts the finished frame on screen (a buffer swap).
    void (*present)();
    // Takes in what happened since the last pass: the keys into the controls (keyState and
    // noteKeyPress, show/controls.h). True when the viewer asked to close the window.
    bool (*readEvents)();
    // Shows the caption text, as the window's title.
    void (*setCaption)(const char* text);
};

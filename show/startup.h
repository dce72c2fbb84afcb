// Start-up, shared by every program of the project: the desktop show, the recorder, the
// benchmarks and the web page.
#pragma once

#include "base/screen.h"

struct ShowWindow;

struct StartupSettings {
    // The platform's window (show/showwindow.h); null: the show draws into the GL context the caller
    // has made current, and presents nothing.
    const ShowWindow* window = nullptr;
    bool fullScreen = true;
    int width = showWidth, height = showHeight; // the window and the viewport, in pixels
    bool sound = true;                          // false: the silent device
    double startSeconds = 0;                    // where in the track the music begins
    double audioDelay = 0; // seconds the pictures follow the sound later (+) or earlier (-)
    // Called after each step with the step's name, for the start-up benchmark; may be null.
    void (*afterStep)(const char* step) = nullptr;
};

// The show's track, opened by the last step.
extern const char* const showTrack;

// The fixed sequence: window (or the caller's context), image library, GL state, loading image,
// light, the four models, the 34 images, the music. A failing step shows its message and the
// next one runs regardless, except the window: without it no key could stop the program, so
// start-up ends there and returns false.
bool startShow(const StartupSettings& settings);
// The same sequence a step at a time, for a platform that paints only between calls (the page):
// beginShow takes the window step (false when it fails, as startShow), then each
// nextStartupStep runs the next step, false once every step has run.
bool beginShow(const StartupSettings& settings);
bool nextStartupStep();
// The loading image has been drawn by the steps run so far.
bool loadingScreenShown();
// Shutdown after the show: the music's output and stream. Assets live until the process ends.
void stopShow();

// The page's canvas as the show's window: a WebGL 2 context with the GL 1.x layer over it.
#pragma once

// The start-up's window step: the canvas sized width x height with its context current and
// ready for the show's GL calls; false after a failure message. `fullScreen` is the page's.
bool openCanvas(int width, int height, bool fullScreen);
// Reads the frame drawn so far into `rgb` (width x height x 3, rows bottom first).
void readCanvas(unsigned char* rgb, int width, int height);
// Waits until the GL has drawn everything asked of it (reading a pixel back, which a browser's
// glFinish need not wait for).
void finishCanvas();

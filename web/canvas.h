// The page's canvas as the show's window: a WebGL 2 context with the GL 1.x layer over it drawing
// into a picture of its own, the keys the page hands over, and the page's title as the caption.
#pragma once

#include "show/showwindow.h"

// open: the canvas sized width x height, its context current and ready for the show's GL calls
// (`fullScreen` is the page's to do); present: the picture copied onto the canvas, with a fence
// behind it (the browser shows the canvas once the pass returns; a pass that presents nothing
// leaves the canvas as it was); readEvents: the keys handed over
// since the last pass (zrxKey); setCaption: the page's title.
extern const ShowWindow canvasWindow;

// Forgets every key held down, as after the show ended.
void releaseKeys();
// Reads the picture drawn so far, presented or not, into `rgb` (width x height x 3, the size the
// canvas was opened with, rows bottom first).
void readCanvas(unsigned char* rgb, int width, int height);
// Whether the GL has drawn every frame fenced so far. A page's GL calls return before the GPU
// (here a software one) has done them, and headless or busy, the browser may call for passes
// faster than it draws: a pass that waits for this keeps one frame in flight, where frames
// queued unchecked held the page for many seconds the first time it waited for the GL.
bool canvasCaughtUp();
// Waits until the GL has drawn everything asked of it (reading a pixel back, which a browser's
// glFinish need not wait for).
void finishCanvas();

// The page's canvas as the show's window: a WebGL 2 context with the GL 1.x layer over it.
#pragma once

// The start-up's window step: the canvas sized width x height with its context current and
// ready for the show's GL calls; false after a failure message. `fullScreen` is the page's.
bool openCanvas(int width, int height, bool fullScreen);
// Reads the frame drawn so far into `rgb` (width x height x 3, rows bottom first).
void readCanvas(unsigned char* rgb, int width, int height);
// The page's buffer swap (set as the show's frame swap by openCanvas): the frame's GL work is
// flushed with a fence behind it. The browser shows the canvas once the pass returns.
void fenceCanvas();
// Whether the GL has drawn every frame fenced so far. A page's GL calls return before the GPU
// (here a software one) has done them, and headless or busy, the browser may call for passes
// faster than it draws: a pass that waits for this keeps one frame in flight, where frames
// queued unchecked held the page for many seconds the first time it waited for the GL.
bool canvasCaughtUp();
// Waits until the GL has drawn everything asked of it (reading a pixel back, which a browser's
// glFinish need not wait for).
void finishCanvas();

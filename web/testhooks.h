// What the tests and benchmarks read of the page's program and do to it, beside the show: the
// frame of a held moment, the clock, the spectrum, the passes and the start-up's steps.
#pragma once

struct PageArguments;

// Takes the arguments that are the tests' (--hold, --busy, --loading-picture).
void testHooksStart(const PageArguments& arguments);
// The start-up's step `step` is done: its end on the page's clock (Module.zrxSteps).
void noteStartupStep(const char* step);
// The loading image is drawn and about to be painted: with --loading-picture, it is read back
// and kept (Module.zrxLoadingPicture; reading the canvas costs a visitor some tenths of a second).
void noteLoadingDrawn();
// The browser painted the loading image: whether that came before any pass of the show.
void noteLoadingPainted();
// Start-up is done: with --hold the clock is held, and the hooks may be called (Module.zrxReady).
void noteStartupDone();
// A pass of the show ran: the passes so far (Module.zrxFrames); with --busy the page's thread is
// then kept busy, as a slow frame would keep it.
void notePass();

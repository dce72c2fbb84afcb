// The main loop of the live show.
#pragma once

// Passes of the show (show/pass.h) until the viewer quits with Escape or by closing the window;
// then true.
bool runMainLoop();

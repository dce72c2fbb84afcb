// The main loop of the live show.
#pragma once

// Passes until the viewer quits with Escape or by closing the window; then true.
bool runMainLoop();
// Draws the frame for the current music time and presents it before the end of the show.
void renderFrame();

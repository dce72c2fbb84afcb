// The show: one frame for the current music time, drawn from a table of time windows.
#pragma once

extern float frameTime; // the music time held for one frame, seconds

// Draws the frame for the current music time and presents it before the end of the show.
void renderFrame();

// One pass of the live show, the same for every program: the desktop's loop runs it until the
// viewer quits, the page once per browser frame.
#pragma once

// The events since the last pass, the pause key and the steps, the frame for the music time,
// the spectrum the next pass reads, and the caption, through the window start-up opened. True
// when the viewer asked to quit (Escape, or closing the window); the pass has run whole then.
bool showPass();
// Draws the frame for the current music time and presents it before the end of the show.
void renderFrame();

// The music stream: the show's clock, its spectrum snapshot and the seek steps.
#pragma once

#include "music/bass.h"

extern HSTREAM musicStream; // 0 when opening failed
extern float spectrum[512]; // FFT magnitudes, bin 0 lowest; all zero before the first fetch

// Opens and starts the track on the sound device, or on the silent device (whose clock runs on
// the system clock) when `sound` is false. False when the sound device could not be opened.
bool musicStart(const char* path, bool sound = true);
double musicTime(); // seconds since the start of the track, asked afresh every call
DWORD musicFetchSpectrum(float* buffer);
BOOL musicSeekForward(); // 50000 bytes on
BOOL musicSeekBack();    // 50000 bytes back

// The music stream: the show's clock, its spectrum snapshot and the seek steps.
#pragma once

#include "music/bass.h"

extern HSTREAM musicStream; // 0 when opening failed
extern float spectrum[512]; // FFT magnitudes, bin 0 lowest; all zero before the first fetch

void musicStart(const char* path);
double musicTime(); // seconds since the start of the track, asked afresh every call
DWORD musicFetchSpectrum(float* buffer);
BOOL musicSeekForward(); // 50000 bytes on
BOOL musicSeekBack();    // 50000 bytes back

// The music stream: the show's clock, its spectrum snapshot, pausing and the seek steps.
#pragma once

#include <cstdint>

// The stream's handle in the audio layer (music/bass.h); written once by musicStart, 0 when
// opening failed.
extern uint32_t musicStream;
// FFT magnitudes at the music position, bin 0 lowest, about 43 Hz a bin; written by the main
// loop through musicFetchSpectrum once per pass, after the frame; all zero before the first.
extern float spectrum[512];

// Opens the track and plays it from `startSeconds` into it (from its start, after a message,
// when the track is shorter) on the sound device, or on the silent device (whose clock runs on
// the system clock) when `sound` is false. Each failure shows its message and the next step runs
// regardless. False when the sound device could not be opened.
bool musicStart(const char* path, bool sound = true, double startSeconds = 0);
// Decodes the track at `path` now, so that a later musicStart of it need not: for the page,
// which decodes on its only thread, while it waits for the visitor's click. Failures are left to
// musicStart to find and report.
void musicDecodeAhead(const char* path);
// Releases the output and the stream.
void musicStop();

// Seconds since the start of the track, asked afresh every call; it stands still while paused.
// With an audio delay d it is the position heard d seconds ago (d < 0: the one to be heard in
// -d seconds), never before 0: the pictures follow the sound d seconds later.
double musicTime();
// For devices that report their latency wrongly; 0 (the default) changes nothing.
void musicSetAudioDelay(double seconds);
// The 512 magnitudes at the current position into `buffer`; the audio layer's result.
uint32_t musicFetchSpectrum(float* buffer);

// Holds the whole output (the clock stands still), and lets it run on from where it stands.
void musicPause();
void musicResume();
// Moves the position 50000 bytes of decoded audio on or back (about 0.28 s of 16-bit stereo
// at 44100 Hz), unclamped: a step before the start or past the end is refused.
bool musicSeekForward();
bool musicSeekBack();

// Holds the clock at exactly `seconds`: the output paused, the stream at the sample of that
// time (so the spectrum is the one there), and every musicTime() returning `seconds` until the
// music is resumed, stepped or held elsewhere. False when the stream refuses the position.
bool musicHold(double seconds);

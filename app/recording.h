// The recording's arithmetic: the music time of each frame and moment, its samples, its progress.
#pragma once

#include <cstdint>
#include <string>

// A part of the track recorded at a fixed frame rate. Frame k shows music time
// from + k / fps; its sound is the track's samples from that time up to the next frame's.
struct RecordingPlan {
    double from = 0; // seconds
    double to = 0;   // seconds, past `from`
    int fps = 60;
    int blend = 1;          // moments averaged per frame
    int sampleRate = 44100; // of the decoded track
};

// Frames that start before `to`: ceil((to - from) * fps), at least 1.
long planFrames(const RecordingPlan& plan);
// Music time of moment j (0 <= j < blend) of frame k: evenly spaced over the frame's time, the
// first at the frame's own time, so that one moment is the frame's time exactly.
double planMoment(const RecordingPlan& plan, long k, int j);
// The track's sample frame that plays first in frame k (k = planFrames() gives the end): the
// sample at `from` plus k frames' worth, rounded down, never past the sample at `to`.
uint64_t planSample(const RecordingPlan& plan, long k);
// The track's sample frame at a music time, rounded to the nearest.
uint64_t sampleAtTime(double seconds, int sampleRate);

// "m:ss" for a span of seconds; "h:mm:ss" from an hour on.
std::string clockText(double seconds);
// "frame 120/4800  35.2 fps  2:16 left" once anything is done and some time has passed.
std::string progressText(long done, long total, double elapsedSeconds);

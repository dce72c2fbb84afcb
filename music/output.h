// Inside the audio layer: the interface every sound output implements, and what the core
// (music/bass.cpp) lends the outputs: its lock, the mixer, and the clock's hand-over when a
// device is lost and when it comes back.
#pragma once

#include "music/core.h"

#include <cstdint>
#include <mutex>

// ---- A sound output --------------------------------------------------------------------------

// An output's latest timing report: at `moment` (monotonicSeconds) the output frame heard was
// `frame`, where the clock, before it learnt of the report, read `clockFrame`; the sink's own
// latency and the whole latency from handing a frame over to hearing it, in seconds. For
// measuring the clock.
struct OutputReport {
    double moment = 0, frame = 0, clockFrame = 0, sinkSeconds = 0, latencySeconds = 0;
};

// One way of making the music heard, each in a file of its own; music/outputs.cpp lists the
// build's. Output frames count at the rate the output was opened with. The core calls `open`
// and `close` with no lock held, every other member with audioLock held.
struct SoundOutput {
    const char* name; // what bassOutputName() says while it is heard
    // The output plays the decoded track itself, handed over whole by `load` and started by
    // `play`; otherwise it takes the mix from audioMix on a thread of its own.
    bool playsWholeTrack;
    // Opens the device at `rate` frames per second; false when there is none. A thread it starts
    // may take audioLock at once.
    bool (*open)(unsigned rate);
    // Stops playing and lets go of the device; may wait for the output's thread.
    void (*close)();
    // The output frame being heard at `now`. Null for an output nobody hears (the silent
    // device): the system clock carries the time then.
    double (*heard)(double now);
    // What the streams hold changed (a play, a seek, a pause, a resume): whatever the output
    // holds of them is outdated and goes, and playing starts afresh.
    void (*replace)();
    // With playsWholeTrack: takes the whole decoded track of stream `handle`, once.
    void (*load)(uint32_t handle, const DecodedAudio& audio);
    // With playsWholeTrack: plays stream `handle` from file frame `frame` on, in place of what
    // played; returns the output frame at which that frame is heard.
    double (*play)(uint32_t handle, uint64_t frame);
    // The latest timing report; null for an output that makes none.
    bool (*report)(OutputReport& report);
};

// Device 0: no sound, the system clock runs all the same.
extern const SoundOutput silentOutput;
// The build's outputs for the sound device, in the order they are tried; null-terminated.
extern const SoundOutput* const soundOutputs[];

// ---- Lent to the outputs by the core ---------------------------------------------------------

// Guards the streams, the mixer and every clock; outputs hold it only for short, non-blocking work.
extern std::mutex audioLock;

// audioLock held. Mixes the next `frames` stereo frames of every playing stream into `out`
// (interleaved, 16-bit, silence where nothing plays) and counts them as handed to the output.
// Allocates nothing and touches no file.
void audioMix(int16_t* out, uint32_t frames);
// audioLock held. Output frames handed so far, over every output and stream since BASS_Init.
uint64_t audioHanded();
// audioLock held. True while some stream plays and the output is not paused.
bool audioWantsSound();

// The device went away, and comes back; each call with audioLock held, on the output's thread.
// While it is gone the clock runs on the system clock.
//
// Lost: every stream runs on from the frame heard at `now`, as on the silent device.
void audioOutputLost(double now);
// A device that answers again is joined in three steps, while the clock stays on the system
// clock. The next frame handed to the output will be heard at `heardAt`: with `force` (a fresh
// stream), every playing stream is placed to play from the frame the clock reaches then (an
// output that plays the whole track is asked to play it from there, and must hear it then).
// Without, that is done only when the next frame as placed would be heard more than
// `rejoinToleranceSeconds` off the clock; returns the output frames it was off by when it was
// placed afresh, else 0.
double audioRejoinPlace(double heardAt, bool force);
constexpr double rejoinToleranceSeconds = 0.002;
// The device plays the frames so placed: the clock moves over to the output's `heard`, over a
// few hundred milliseconds, without a jump and never back.
void audioRejoinConfirmed(double now);
// True once that move is done; then the clock follows the output alone from audioOutputBack.
bool audioRejoinSlewed(double now);
void audioOutputBack(double now);

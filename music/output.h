// Inside the audio layer: what an output thread shares with the streams, and the sound server's
// output.
#pragma once

#include "music/core.h"

#include <cstdint>
#include <future>
#include <mutex>
#include <vector>

// ---- Shared by the outputs and the streams (music/bass.cpp) ----------------------------------

// Guards the streams, the mixer and every clock; outputs hold it only for short, non-blocking work.
extern std::mutex audioLock;

// audioLock held. Mixes the next `frames` stereo frames of every playing stream into `out`
// (interleaved, 16-bit, silence where nothing plays) and counts them as handed to the output.
// Allocates nothing and touches no file.
void audioMix(int16_t* out, uint32_t frames);
// audioLock held. Output frames handed so far, over every output and stream of the server.
uint64_t audioHanded();
// audioLock held. True while some stream plays and the output is not paused.
bool audioWantsSound();
// audioLock held, the server output's thread. The server stopped answering: every stream runs on
// from the frame heard at `now` on the system clock, as on the silent device.
void audioServerLost(double now);
// A server that answers again is joined in three steps, each with audioLock held on the server
// output's thread, while the clock runs on on the system clock:
// The next frame handed to the output will be heard at `heardAt`: with `force` (a fresh stream),
// every playing stream is placed to play from the frame the clock reaches then. Without, that is
// done only when the next frame as placed would be heard more than `rejoinToleranceSeconds` off
// the clock; returns the output frames it was off by when it was placed afresh, else 0.
double audioRejoinPlace(double heardAt, bool force);
constexpr double rejoinToleranceSeconds = 0.002;
// The server plays the frames so placed: the clock moves over to the server's position, over a
// few hundred milliseconds, without a jump and never back.
void audioRejoinConfirmed(double now);
// True once that move is done; then the clock follows the server alone from `audioServerBack`.
bool audioRejoinSlewed(double now);
void audioServerBack(double now);

// ---- The whole file's decoding (music/background.cpp; music/browser.cpp in the web build) -----

// Decodes the MP3 file in `file` whole: on the desktop on a thread of its own at a lower
// priority than the drawing; in the browser, which has no threads for it, before returning.
std::future<DecodedAudio> decodeWholeFile(std::vector<uint8_t> file);

// Decodes the MP3 file in `file` whole now and keeps the result for a stream later opened on the
// same bytes (takeDecodedAhead): for the browser, whose only thread is free while the page waits
// for the visitor. Nothing on the desktop, where the decoding runs beside the show.
void decodeAhead(std::vector<uint8_t> file);
// What decodeAhead made of exactly these bytes, moved into `audio`; false when it has none.
bool takeDecodedAhead(const uint8_t* data, size_t size, DecodedAudio& audio);

// ---- The sound server's output (music/pulse.cpp; none in the web build, music/browser.cpp) ----
// -----------------------------------------------

// Connects to the desktop's sound server (PULSE_SERVER, or the user's default), waiting at most
// about two seconds, never starting one. True when it answered: from then on a thread of its
// own plays through it, and reconnects in the background whenever it goes away.
bool pulseOpen(unsigned rate);
// Stops that thread and lets go of the server. No lock held.
void pulseClose();
// audioLock held. The output frame being heard at `now` by the server's line (the count of frames
// handed at the current stream's start while it has not been heard yet).
double pulseHeard(double now);
// audioLock held. What is placed in the streams changed (a play, a seek, a pause, a resume): the
// audio already handed to the server is dropped and playing starts afresh from the mixer.
void pulseReplace();

// The server's latest report on the stream it plays: at `moment` (monotonicSeconds), the output
// frame heard was `frame`, where the clock, before it learnt of the report, read `clockFrame`;
// the sink's own latency and the whole latency from handing a frame over to hearing it, in
// seconds. For measuring the clock; false without such a report.
struct PulseReport {
    double moment = 0, frame = 0, clockFrame = 0, sinkSeconds = 0, latencySeconds = 0;
};
bool pulseReport(PulseReport& report); // audioLock held

// ---- The page's Web Audio output (music/webaudio.cpp; none on the desktop, music/pulse.cpp) ----

// The page's audio context (made by the page on the visitor's first click or key, which a browser
// requires) is running. True when it is: from then on the browser's audio thread plays what is
// placed, whatever the page's main thread does.
bool webAudioOpen();
// Stops what plays and forgets the tracks handed over; the context stays for a later open.
void webAudioClose();
// Hands the whole decoded track of stream `handle` to the page, once: the same samples the
// mixer would play, kept by the browser.
void webAudioLoad(uint32_t handle, const DecodedAudio& audio);
// Plays stream `handle` from file frame `frame` on, in place of whatever played; returns the
// context time (seconds) at which that frame goes out.
double webAudioPlay(uint32_t handle, uint64_t frame);
// Stops what plays, at once.
void webAudioStop();
// The context time (seconds) being output at `now`, from the browser's output timestamp
// (outputTimestampHeard); -infinity before anything was output.
double webAudioHeard(double now);

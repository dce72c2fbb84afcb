// Our audio library's inside that needs no sound system: decoding, clocks, resampling, spectrum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// ---- Decoded audio ----------------------------------------------------------------------------

// A whole file decoded to 16-bit interleaved samples at its own rate and channel count. A frame
// is one sample per channel; byte positions count 2 * channels bytes per frame.
struct DecodedAudio {
    int rate = 0;
    int channels = 0; // 1 or 2
    std::vector<int16_t> samples;
    uint64_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

// Decodes the MP3 data in [data, data + size), without the encoder's delay and padding where the
// file records them: completely, or its first `maxFrames` frames. False when the data holds no
// audio; a damaged tail is cut off.
bool decodeMp3(const uint8_t* data, size_t size, DecodedAudio& audio,
               uint64_t maxFrames = UINT64_MAX);

// ---- Time -------------------------------------------------------------------------------------

// Seconds on a clock that never jumps and never runs backwards; the origin is arbitrary.
double monotonicSeconds();

// ---- The device clock: which output frame is being heard now -----------------------------------

// The output is handed to the device in callbacks of `period` frames; right after a callback,
// `queued` frames (the callback's own buffer included) wait before the next one is heard. The
// callbacks' stamps jitter with thread scheduling, so they are smoothed by a second-order
// delay-locked loop that follows the device's true rate; between callbacks the position runs on
// with the filtered period. A device that is `ideal` (no sound) is heard the moment it plays:
// its position is the monotonic time since `idealStart`, in frames.
struct DeviceClock {
    double rate = 44100;  // output frames per second
    double period = 1024; // output frames per callback
    double queued = 2048; // output frames not yet heard when a callback returns
    bool ideal = false;
    double idealStart = 0; // seconds
    // Loop state: t0 the filtered stamp of the latest callback, t1 the predicted stamp of the
    // next, both in seconds; periodSeconds the filtered time per callback.
    bool started = false;
    double t0 = 0, t1 = 0, periodSeconds = 0;
    double loopB = 0, loopC = 0;
    uint64_t handed = 0; // output frames handed to the device so far
};

DeviceClock makeDeviceClock(double rate, uint32_t period, uint32_t queued);
DeviceClock makeIdealClock(double rate, double now);
// One callback, stamped `stamp` seconds when it began, after which `handed` frames have been
// handed to the device in all.
void deviceClockCallback(DeviceClock& clock, double stamp, uint64_t handed);
// The output frame being heard at `now` (fractional, negative before anything is heard); never
// beyond what has been handed.
double deviceClockHeard(const DeviceClock& clock, double now);

// ---- A device's position reports ---------------------------------------------------------------

// A device that says now and then which frame it plays at a moment (a sound server's timing
// report, Windows' audio clock) is followed by a line at the output's rate through the reports.
// At a report of `frame` where the line predicted `predicted`, the line's frame at that moment
// becomes: a quarter of the way to the report, which damps the reports' own jitter and still
// follows a device whose pace is off by a few hundred ppm to within microseconds; the report
// itself when it lies `jumpFrames` or more off on the same side as the report before it (a jump
// of the sound: a dropout, a stall); the prediction when it lies that far off alone (a report
// made late on a busy machine, which the next one contradicts). `farSide` carries the side the
// latest report lay far off (+1 ahead, -1 behind, 0 on the line) from one report to the next.
double followReport(double predicted, double frame, double jumpFrames, int& farSide);

// ---- The browser's output clock ----------------------------------------------------------------

// A Web Audio context's latest output timestamp: at `stampSeconds` (monotonicSeconds), the
// context time `contextSeconds` was being output; a stamp of 0 means nothing has been output yet.
// The context time being output at `now`, in seconds, running on from the stamp at the rate of
// the monotonic clock (the context's clock is the device's, and the browser refreshes the stamp
// with every buffer the device takes); -infinity before the first stamp.
double outputTimestampHeard(double contextSeconds, double stampSeconds, double now);

// ---- A cycle-stepping server's clock: which output frame is being heard now --------------------

// A server whose graph runs in whole cycles (PipeWire's) reports, for the stream, the read
// position of the cycle it is in: every report lies between the frame heard at its moment and one
// cycle ahead of it. The graph runs on the system's clock, so what is heard is a line at the
// nominal rate, and the recent reports bound it: from above by the line under them, from below by
// the line over them less a cycle (the least step between two reports). The clock is the middle
// of that band, which reports answered at every phase of the cycle make narrow; the second lowest
// and second highest reports carry the lines, passing over one report stamped late or early. A
// stall of the server drops the reports below the band, and the line under them carries the
// clock until the older ones have left the window. Two reports in a row that lie the longest
// cycle and `jumpFrames` more above the clock are a jump of the sound ahead: the window starts
// afresh from the first of them.
constexpr int cycleReportWindow = 200; // reports; two seconds at one report per 10 ms
struct CycleReport {
    double moment = 0; // seconds, monotonicSeconds
    double frame = 0;  // output frames read by the server at `moment`
};
struct CycleLine {
    double rate = 44100;     // output frames per second
    double jumpFrames = 0;   // a departure from the line this large is not jitter (5 ms)
    double longestCycle = 0; // no server's cycle is longer (45 ms), in output frames
    CycleReport reports[cycleReportWindow];
    int count = 0, newest = -1; // a ring: reports[newest] is the latest
    bool aheadBefore = false;   // the latest report lay a jump ahead
};

CycleLine makeCycleLine(double rate);
// Adds the server's report to the line's window.
void cycleLineAdd(CycleLine& line, CycleReport report);
// The output frame heard at `moment` by the line (0 before any report).
double cycleLineHeard(const CycleLine& line, double moment);

// ---- The stream clock: which file frame is being heard now ------------------------------------

// A stream either stands at `anchor`, or runs: it has begun to play from `anchor`, and once the
// first frame of that run has gone out at output frame `runStart`, the file frame heard moves
// with the output frame heard. A reading during a run never goes back, never passes the frames
// handed for the stream, and never leaves the run's start: a seek reads exactly the frame asked
// for until that frame is heard.
struct StreamClock {
    uint64_t anchor = 0; // file frames
    bool running = false;
    bool runHanded = false;
    double runStart = 0;    // output frame carrying the run's first frame
    double lastReading = 0; // file frames, the latest reading of the current run
};

void streamClockHold(StreamClock& clock, uint64_t frame);
void streamClockRun(StreamClock& clock, uint64_t frame);
// The output frame at which the current run's first frame goes out; later calls keep the first.
void streamClockHanded(StreamClock& clock, double outputFrame);
// The file frame heard when output frame `heardOutput` is heard; `fileFramesPerOutputFrame` is the
// file's rate over the output's; `limit` is the end of the frames handed for the stream.
double streamClockRead(StreamClock& clock, double heardOutput, double fileFramesPerOutputFrame,
                       double limit);

// ---- Resampling -------------------------------------------------------------------------------

// Stream cursors count file frames in 32.32 fixed point, so that any rate ratio adds up without
// drift and a ratio of one steps through whole frames exactly.
constexpr int cursorFractionBits = 32;
constexpr uint64_t cursorOne = uint64_t(1) << cursorFractionBits;
uint64_t cursorStep(int fileRate, int outputRate);

// Adds up to `outputFrames` stereo frames of `audio`, starting at `cursor` and stepping by `step`,
// onto `mix` (interleaved left, right), interpolating linearly between file frames; a mono file
// goes to both sides. Advances `cursor` and returns the frames written, fewer than asked once
// the file ends.
uint32_t resampleAdd(const DecodedAudio& audio, uint64_t& cursor, uint64_t step, int32_t* mix,
                     uint32_t outputFrames);

// ---- Spectrum ---------------------------------------------------------------------------------

constexpr int fftFrames = 1024;
constexpr int fftBins = fftFrames / 2;
// Magnitude of a bin per unit of windowed amplitude: with the Hann window, a full-scale sine on a
// bin's centre reads 0.5 there, and no unclipped signal reads above 1 in any bin.
constexpr float fftMagnitudeScale = 2.0f / fftFrames;

// The 512 magnitudes, bin 0 lowest, of the `fftFrames` frames of `audio` from file frame `start`
// on (zeros past the end), its channels averaged and Hann-windowed.
void spectrumAt(const DecodedAudio& audio, uint64_t start, float magnitudes[fftBins]);

// The page's Web Audio output: the decoded track handed to the page's audio context once, played
// by the browser's audio thread from a buffer source, the clock read from the context's output
// timestamps, and its loss and return.
#include "music/core.h"
#include "music/output.h"

#include <emscripten.h>

#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>

namespace {

// Start-up time of a source: it is scheduled this far past the context's current time, so that
// the audio thread (which renders a device buffer ahead of what the page reads as currentTime)
// still has it in the future, and the frame asked for goes out at exactly the time returned.
constexpr double scheduleLeadSeconds = 0.05;

unsigned rate = 0; // output frames per second of context time

// The context's output is gone when the context time being output has not moved for this long:
// a sound server that went away (Chromium suspends the context then, with an error event;
// Firefox runs its graph on the system clock, and stands still for a second or two when the
// server returns while it opens a stream on it). It is back once it moves again.
constexpr double stallSeconds = 0.5;
// How often the page's timer looks (web/page.js runs none: the output starts its own).
constexpr int stepMilliseconds = 50;

// Under audioLock, from the timer's steps and the core's calls.
bool live = false;      // the output is heard; the clock follows it
bool rejoining = false; // it moves again; the clock is still on the system clock
bool placed = false;    // and the streams have been placed on it
double startFrame = 0;  // the output frame the latest source starts at
double lastContext = 0; // the context time being output, as last read
double movedAt = 0;     // monotonicSeconds when it last moved

} // namespace

// The JavaScript below is kept from clang-format, which would split its ===.
// clang-format off
// Module.zrxAudio is the page's: { context } once the visitor's gesture made it (web/index.html).
// Here it gains `tracks` (handle -> AudioBuffer), `source` (what plays), `schedule` (where the
// current source started: context time and track seconds) and `stamp`, which the tests read.

EM_JS(int, jsAudioRunning, (), {
    const audio = Module.zrxAudio;
    return audio && audio.context && audio.context.state === "running" ? 1 : 0;
});

EM_JS(void, jsAudioStop, (), {
    const audio = Module.zrxAudio;
    if (!audio) return;
    if (audio.source) {
        try {
            audio.source.stop();
        } catch (e) {
        }
        audio.source.disconnect();
        audio.source = null;
    }
    audio.schedule = null;
});

EM_JS(void, jsAudioClose, (), {
    const audio = Module.zrxAudio;
    if (audio) audio.tracks = {};
});

// `planes` holds `channels` planes of `frames` floats each, at `rate`: copied in whole.
EM_JS(void, jsAudioLoad, (int handle, const float* planes, double frames, int channels, int rate),
      {
          const audio = Module.zrxAudio;
          const buffer = audio.context.createBuffer(channels, frames, rate);
          for (let c = 0; c < channels; ++c) {
              const first = (planes >> 2) + c * frames;
              buffer.copyToChannel(HEAPF32.subarray(first, first + frames), c);
          }
          audio.tracks = audio.tracks || {};
          audio.tracks[handle] = buffer;
      });

EM_JS(double, jsAudioPlay, (int handle, double frame, double lead), {
    const audio = Module.zrxAudio;
    const context = audio.context;
    const buffer = audio.tracks[handle];
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(context.destination);
    const when = context.currentTime + lead + (context.baseLatency || 0);
    const offset = frame / buffer.sampleRate;
    source.start(when, Math.min(offset, buffer.duration));
    audio.source = source;
    audio.schedule = {when : when, offset : offset, rate : buffer.sampleRate};
    return when;
});

// Makes audio.stamp(): the context time being output and the performance time (ms) at which it
// was, as getOutputTimestamp() gives them. Firefox computes that from the latency its sound
// server's stream reports, asked for on the page's thread, until it once has a value: asked while
// the stream's callback runs, the page's thread and the audio thread wait on each other for ever
// (the tab hung, in about one start in five here). There the stamp is the context time its graph
// has rendered, which it keeps on the page's thread: ahead of the timestamp by the output latency
// the page may not ask for (about 30 ms through PulseAudio).
EM_JS(void, jsAudioChooseStamp, (), {
    const audio = Module.zrxAudio;
    const context = audio.context;
    audio.stamp = navigator.userAgent.indexOf("Firefox/") >= 0
        ? () => ({ contextTime : context.currentTime,
                   performanceTime : context.currentTime > 0 ? performance.now() : 0 })
        : () => context.getOutputTimestamp();
});

// Into out[0], out[1]: the context time being output and the performance time (seconds) at
// which it was; 0 and 0 before any output.
EM_JS(void, jsAudioTimestamp, (double* out), {
    const audio = Module.zrxAudio;
    const stamp = audio && audio.stamp ? audio.stamp() : null;
    HEAPF64[out >> 3] = stamp && stamp.performanceTime ? stamp.contextTime : 0;
    HEAPF64[(out >> 3) + 1] = stamp && stamp.performanceTime ? stamp.performanceTime / 1000 : 0;
});

// The performance time (seconds) at which a source started now would begin to be heard, by the
// latest output timestamp; 0 before any output.
EM_JS(double, jsAudioStartHeard, (double lead), {
    const context = Module.zrxAudio.context;
    const stamp = Module.zrxAudio.stamp();
    if (!stamp.performanceTime) return 0;
    const when = context.currentTime + lead + (context.baseLatency || 0);
    return stamp.performanceTime / 1000 + (when - stamp.contextTime);
});

EM_JS(void, jsAudioTimer, (int milliseconds), {
    const audio = Module.zrxAudio;
    if (audio.timer) clearInterval(audio.timer);
    audio.timer = setInterval(() => Module._zrxWebAudioStep(), milliseconds);
});

EM_JS(void, jsAudioTimerStop, (), {
    const audio = Module.zrxAudio;
    if (!audio || !audio.timer) return;
    clearInterval(audio.timer);
    audio.timer = null;
});

// clang-format on

namespace {

// The page's audio context (made by the page on the visitor's first click or key, which a browser
// requires) is running: from then on the browser's audio thread plays what is placed, whatever
// the page's main thread does.
bool open(unsigned outputRate) {
    rate = outputRate;
    if (jsAudioRunning() == 0) return false;
    jsAudioChooseStamp();
    const std::lock_guard<std::mutex> lock(audioLock);
    live = true;
    rejoining = placed = false;
    lastContext = 0;
    movedAt = monotonicSeconds();
    jsAudioTimer(stepMilliseconds);
    return true;
}

// Stops what plays and forgets the tracks handed over; the context stays for a later open.
void close() {
    jsAudioTimerStop();
    jsAudioStop();
    jsAudioClose();
}

// The samples as floats, x / 32768, exactly as the desktop's output converts them; here rather
// than in the page's JavaScript, which took a tenth of a second of the start for it.
void load(uint32_t handle, const DecodedAudio& audio) {
    const size_t frames = audio.frames();
    const int channels = audio.channels;
    // Left uninitialised: every element is written below, and zeroing 28 MB took the page 0.1 s.
    const std::unique_ptr<float[]> planes(new float[frames * size_t(channels)]);
    for (int c = 0; c < channels; ++c)
        for (size_t i = 0; i < frames; ++i)
            planes[size_t(c) * frames + i] = float(audio.samples[i * channels + c]) / 32768;
    jsAudioLoad(int(handle), planes.get(), double(frames), channels, audio.rate);
}

// The frame goes out at the context time the source is started at: the clock runs from there
// on the context's output timestamps.
double play(uint32_t handle, uint64_t frame) {
    jsAudioStop();
    startFrame = jsAudioPlay(int(handle), double(frame), scheduleLeadSeconds) * rate;
    return startFrame;
}

void replace() {
    jsAudioStop();
    placed = false; // a placement made while rejoining is outdated too
}

// monotonicSeconds() is the page's performance.now() in seconds (emscripten's monotonic clock),
// the time base of the timestamp's performanceTime. -infinity before anything was output.
double heard(double now) {
    double stamp[2] = {0, 0};
    jsAudioTimestamp(stamp);
    return outputTimestampHeard(stamp[0], stamp[1], now) * rate;
}

// The timer's step, audioLock held: the output's loss when the context's output stands, and its
// return, in the core's three steps, once it moves again.
void step(double now) {
    double stamp[2] = {0, 0};
    jsAudioTimestamp(stamp);
    const bool moved = stamp[0] > lastContext;
    if (moved) {
        lastContext = stamp[0];
        movedAt = now;
    }
    if (live) {
        if (now - movedAt <= stallSeconds) return;
        audioOutputLost(now);
        live = rejoining = false;
        std::fputs("Sound lost: the show goes on without it.\n", stderr);
        return;
    }
    if (!rejoining) {
        rejoining = moved;
        placed = false;
        if (!rejoining) return;
    }
    if (now - movedAt > stallSeconds) { // stood again before it was joined
        rejoining = false;
        return;
    }
    if (audioWantsSound() && !placed) {
        const double heardAt = jsAudioStartHeard(scheduleLeadSeconds);
        if (heardAt <= 0) return;
        audioRejoinPlace(heardAt, true); // plays the streams from where the clock is then
        placed = true;
        return;
    }
    if (placed && heard(now) >= startFrame) audioRejoinConfirmed(now);
    if (!audioWantsSound() || audioRejoinSlewed(now)) {
        audioOutputBack(now);
        live = true;
        rejoining = placed = false;
    }
}

} // namespace

// Called by the output's own timer in the page (jsAudioTimer).
extern "C" EMSCRIPTEN_KEEPALIVE void zrxWebAudioStep() {
    const std::lock_guard<std::mutex> lock(audioLock);
    step(monotonicSeconds());
}

// The page's Web Audio: the whole decoded track handed over once, played from a buffer source.
extern const SoundOutput webAudioOutput = {
    "web", true, open, close, heard, replace, load, play, nullptr,
};

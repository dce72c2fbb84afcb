// The page's Web Audio output: the decoded track handed to the page's audio context once, played
// by the browser's audio thread from a buffer source, and the clock read from the context's
// output timestamps.
#include "music/core.h"
#include "music/output.h"

#include <emscripten.h>

#include <limits>
#include <memory>

namespace {

// Start-up time of a source: it is scheduled this far past the context's current time, so that
// the audio thread (which renders a device buffer ahead of what the page reads as currentTime)
// still has it in the future, and the frame asked for goes out at exactly the time returned.
constexpr double scheduleLeadSeconds = 0.05;

unsigned rate = 0; // output frames per second of context time

} // namespace

// The JavaScript below is kept from clang-format, which would split its ===.
// clang-format off
// Module.zrxAudio is the page's: { context } once the visitor's gesture made it (web/index.html).
// Here it gains `tracks` (handle -> AudioBuffer), `source` (what plays) and `schedule` (where the
// current source started: context time and track seconds), which the tests read.

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

// Into out[0], out[1]: the context time being output and the performance time (seconds) at
// which it was; 0 and 0 before any output.
EM_JS(void, jsAudioTimestamp, (double* out), {
    const audio = Module.zrxAudio;
    const stamp = audio && audio.context ? audio.context.getOutputTimestamp() : null;
    HEAPF64[out >> 3] = stamp && stamp.performanceTime ? stamp.contextTime : 0;
    HEAPF64[(out >> 3) + 1] = stamp && stamp.performanceTime ? stamp.performanceTime / 1000 : 0;
});

// clang-format on

namespace {

// The page's audio context (made by the page on the visitor's first click or key, which a browser
// requires) is running: from then on the browser's audio thread plays what is placed, whatever
// the page's main thread does.
bool open(unsigned outputRate) {
    rate = outputRate;
    return jsAudioRunning() != 0;
}

// Stops what plays and forgets the tracks handed over; the context stays for a later open.
void close() {
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
    return jsAudioPlay(int(handle), double(frame), scheduleLeadSeconds) * rate;
}

void replace() {
    jsAudioStop();
}

// monotonicSeconds() is the page's performance.now() in seconds (emscripten's monotonic clock),
// the time base of the timestamp's performanceTime. -infinity before anything was output.
double heard(double now) {
    double stamp[2] = {0, 0};
    jsAudioTimestamp(stamp);
    return outputTimestampHeard(stamp[0], stamp[1], now) * rate;
}

} // namespace

// The page's Web Audio: the whole decoded track handed over once, played from a buffer source.
extern const SoundOutput webAudioOutput = {
    "web", true, open, close, heard, replace, load, play, nullptr,
};

// Sound through the desktop's sound server (PulseAudio's protocol): its stream, its clock, its
// loss.
#include "music/core.h"
#include "music/output.h"

#include <pulse/pulseaudio.h>

#include <sys/time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// The whole latency asked of the server, from handing a frame over to hearing it, sink included,
// unless PULSE_LATENCY_MSEC asks for another (libpulse reads it). Lower costs more wake-ups.
constexpr double requestedLatencySeconds = 0.04;
// How long start-up waits for a server to answer or refuse.
constexpr double connectSeconds = 2;
// Reconnecting after a loss waits this long at first, then twice as long each time, up to the
// longest wait: a server that returns is heard again within that and its latency. A try costs a
// connection refused on a local socket.
constexpr double firstRetrySeconds = 0.1;
constexpr double longestRetrySeconds = 0.5;
// The thread wakes at least this often, and asks the server for a fresh timing report at the
// interval below, so that the server's pace and any dropout are followed within a few hundredths.
// A server that steps in whole cycles is asked more often, at random intervals: the band its
// reports allow narrows only with reports from all phases of its cycle, and a fixed interval
// visits only a few of them (the band's edges then lie up to a millisecond or two off).
constexpr int sampleMicroseconds = 5000;
constexpr double timingRequestSeconds = 0.02;
constexpr double steppingRequestSeconds = 0.005, steppingRequestSpreadSeconds = 0.01;
// A report this far from the clock's line is a jump of the sound, not jitter.
constexpr double jumpSeconds = 0.005;
// A stream that joins a returning server is placed afresh at most this many times as the
// server's reports show where its frames are heard; then the clock slews over to what is heard.
constexpr int mostPlacements = 4;

using Lock = std::lock_guard<std::mutex>;

// ---- Owned by the server thread (by open() before it starts, by close() after it ends) --------

pa_mainloop* loop = nullptr;
pa_context* context = nullptr;
pa_stream* stream = nullptr;
// Streams replaced while the server was still making them: one can be disconnected only once it
// is made, and left alone it would stay at the server for as long as the connection does.
struct Retired {
    pa_stream* stream;
    bool disconnected; // asked to end, which the server confirms shortly
};
std::vector<Retired> retired;
uint64_t streamGeneration = 0; // the placement the stream plays for
pa_operation* timingRequest = nullptr;
double lastTimingRequest = 0;
double retryAt = 0, retryWait = firstRetrySeconds;
bool connected = false;             // the context reached READY since it was made
bool serverAsked = false;           // the server's name was asked of the current context
uint32_t requestNoise = 0x9e3779b9; // xorshift state for the stepping server's request intervals
double requestInterval = timingRequestSeconds;
// A server that names itself PipeWire steps in whole cycles: its clock is the middle of the band
// its reports allow (CycleLine), which is kept for the current stream.
bool steppingServer = false;
CycleLine cycleLine;
std::thread thread;
pa_sample_spec sampleFormat;

// ---- Shared with the program's thread, under audioLock ----------------------------------------

bool quit = false;
bool live = false;      // a server answers; the clock follows it
bool rejoining = false; // a server answers again; the clock is still on the system clock
// The latest whole latency the server reported, from handing a frame over to hearing it: how
// soon a stream that joins a returning server is expected to be heard.
double predictedLatency = requestedLatencySeconds;
int placements = 0;         // how often the current stream was placed while rejoining
uint64_t placedAt = 0;      // streamWritten when it was placed last
bool verified = false;      // and the server's line has since shown it heard where placed
uint64_t generation = 1;    // bumped by each placement
uint64_t streamBase = 0;    // audioHanded() when the current stream was made
uint64_t streamWritten = 0; // output frames written to the current stream
bool timed = false;         // the current stream's time has been sampled
bool advancing = false;     // and moved between the last two samples
double timeFrames = 0;      // output frames of the current stream heard at `timeStamp`
double timeStamp = 0;
bool reported = false;
// The side of the clock's line the latest report lay far off (+1 ahead, -1 behind; 0 on it).
int farSide = 0;
OutputReport lastReport;

double heard(double now); // audioLock held: the output frame heard at `now` by the server's line

// The wall clock in seconds, for the server's reports, which carry wall-clock stamps.
double wallSeconds() {
    timeval now;
    gettimeofday(&now, nullptr);
    return double(now.tv_sec) + now.tv_usec / 1e6;
}

// A moment on the wall clock, in seconds, as a moment on the monotonic clock. Both clocks are
// read together; a pair the thread was interrupted between (a busy machine) is read again, as
// the interruption would move the moment by its length.
double monotonicFromWall(double wall) {
    double before = 0, offset = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        before = monotonicSeconds();
        const double now = wallSeconds();
        const double after = monotonicSeconds();
        offset = now - (before + after) / 2;
        if (after - before < 0.0002) break;
    }
    return wall - offset;
}

// The server thread, audioLock held, while rejoining a server, before frames are handed to the
// current stream: its first frames go where the clock will be when they are heard, predicted by
// the latency the server last reported; once its line runs, where that line says.
void place() {
    if (streamWritten == 0) {
        audioRejoinPlace(monotonicSeconds() + predictedLatency, true);
        placements = 1;
        placedAt = 0;
        verified = false;
        return;
    }
    if (!timed || !advancing) return;
    if (placements >= mostPlacements) {
        verified = true; // the slew takes what is left
        return;
    }
    const double heardAt = timeStamp + (double(streamWritten) - timeFrames) / sampleFormat.rate;
    if (audioRejoinPlace(heardAt, false) != 0) {
        ++placements;
        placedAt = streamWritten;
        verified = false;
    } else {
        verified = true;
    }
}

// The server thread. Called when the server asks for `bytes` more; they are written in as many
// pieces as the library's buffers take.
void onWrite(pa_stream* s, size_t bytes, void* userdata) {
    const auto mine = uint64_t(uintptr_t(userdata));
    constexpr size_t bytesPerFrame = 2 * sizeof(int16_t);
    while (bytes >= bytesPerFrame) {
        void* data = nullptr;
        size_t size = bytes;
        if (pa_stream_begin_write(s, &data, &size) < 0 || data == nullptr) return;
        const auto frames = uint32_t(std::min(size, bytes) / bytesPerFrame);
        const Lock lock(audioLock);
        // A stream outdated by a placement writes nothing more: the thread replaces it shortly.
        if (mine != generation || frames == 0) {
            pa_stream_cancel_write(s);
            return;
        }
        if (rejoining) place();
        audioMix(static_cast<int16_t*>(data), frames);
        streamWritten += frames;
        if (pa_stream_write(s, data, frames * bytesPerFrame, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        bytes -= frames * bytesPerFrame;
        // What the server asks for first can be less than it waits for before it starts: start
        // it at once, so that the first frame is heard after the latency and not later.
        if (streamWritten == frames) {
            if (pa_operation* started = pa_stream_trigger(s, nullptr, nullptr))
                pa_operation_unref(started);
        }
    }
}

void dropStream() {
    if (timingRequest != nullptr) {
        pa_operation_cancel(timingRequest);
        pa_operation_unref(timingRequest);
        timingRequest = nullptr;
    }
    if (stream == nullptr) return;
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_latency_update_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_CREATING)
        retired.push_back({stream, false});
    else {
        if (pa_stream_get_state(stream) == PA_STREAM_READY) pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    stream = nullptr;
}

// Disconnects the retired streams the server has made since, and lets go of those it has ended.
// True while one is still being made: the next stream waits for that, so that steps in quick
// succession make streams at the pace the server makes them, not faster (PipeWire took seconds
// to work through 200 of them).
bool retire() {
    bool making = false;
    for (auto at = retired.begin(); at != retired.end();) {
        const pa_stream_state_t state = pa_stream_get_state(at->stream);
        if (state == PA_STREAM_READY && !at->disconnected) {
            pa_stream_disconnect(at->stream);
            at->disconnected = true;
        }
        if (state == PA_STREAM_CREATING || state == PA_STREAM_READY) {
            making = making || state == PA_STREAM_CREATING;
            ++at;
            continue;
        }
        pa_stream_unref(at->stream);
        at = retired.erase(at);
    }
    return making;
}

void dropContext() {
    dropStream();
    if (context == nullptr) return;
    pa_context_disconnect(context); // ends every stream of it, retired ones too
    for (const Retired& old : retired)
        pa_stream_unref(old.stream);
    retired.clear();
    pa_context_unref(context);
    context = nullptr;
    connected = false;
    serverAsked = false;
}

bool connect() {
    context = pa_context_new(pa_mainloop_get_api(loop), "Zoomraxvandel");
    if (context == nullptr) return false;
    // A player never starts a server of its own.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        dropContext();
        return false;
    }
    return true;
}

// The server thread, whenever a timing report arrives. The report says which frame was heard at
// the moment the server made it; the clock runs on from there at the output's rate until the
// next report, some hundredths later, so that the server's pace is followed and nothing adds up.
void onTiming(pa_stream* s, void* userdata) {
    const auto mine = uint64_t(uintptr_t(userdata));
    const pa_timing_info* info = pa_stream_get_timing_info(s);
    if (info == nullptr || info->read_index_corrupt || info->write_index_corrupt) return;
    // The report speaks of the moment the server measured, stamped on the wall clock.
    const double moment =
        monotonicFromWall(double(info->timestamp.tv_sec) + info->timestamp.tv_usec / 1e6);
    const double bytesPerFrame = 2 * sizeof(int16_t);
    const double sinkFrames = double(info->sink_usec) * sampleFormat.rate / 1e6;
    const double frame = std::max(0.0, double(info->read_index) / bytesPerFrame - sinkFrames);

    const Lock lock(audioLock);
    if (mine != generation) return;
    const bool playing = info->playing && frame > 0;
    // What the clock read for that moment before it heard of the report, against the report.
    if (timed && advancing && playing) {
        lastReport.moment = moment;
        lastReport.frame = frame;
        lastReport.clockFrame = heard(moment) - double(streamBase);
        lastReport.sinkSeconds = double(info->sink_usec) / 1e6;
        lastReport.latencySeconds =
            double(info->write_index - info->read_index) / bytesPerFrame / sampleFormat.rate +
            lastReport.sinkSeconds;
        reported = true;
        if (live) predictedLatency = lastReport.latencySeconds;
    }
    // A stepping server's reports go to its band, which carries the line; any other server's
    // are followed as a device's (followReport). A reading already given is never taken back:
    // the stream clock holds until the sound catches up.
    if (steppingServer && playing) {
        cycleLineAdd(cycleLine, {moment, frame});
        timeFrames = cycleLineHeard(cycleLine, moment);
    } else if (steppingServer) {
        cycleLine = makeCycleLine(sampleFormat.rate);
        timeFrames = frame;
    } else {
        const double predicted = timed && advancing ? heard(moment) - double(streamBase) : frame;
        timeFrames = followReport(predicted, frame, jumpSeconds * sampleFormat.rate, farSide);
    }
    timeStamp = moment;
    timed = true;
    advancing = playing;
}

void makeStream(uint64_t forGeneration) {
    stream = pa_stream_new(context, "Zoomraxvandel", &sampleFormat, nullptr);
    if (stream == nullptr) return;
    {
        const Lock lock(audioLock);
        streamBase = audioHanded();
        streamWritten = 0;
        timed = advancing = reported = false;
        cycleLine = makeCycleLine(sampleFormat.rate);
        placements = 0;
        verified = false;
    }
    streamGeneration = forGeneration;
    void* const tag = reinterpret_cast<void*>(uintptr_t(forGeneration));
    pa_stream_set_write_callback(stream, onWrite, tag);
    pa_stream_set_latency_update_callback(stream, onTiming, tag);
    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.tlength =
        uint32_t(pa_usec_to_bytes(pa_usec_t(requestedLatencySeconds * 1e6), &sampleFormat));
    attributes.prebuf = uint32_t(-1);
    attributes.minreq = uint32_t(-1);
    attributes.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream, nullptr, &attributes, flags, nullptr, nullptr) < 0)
        dropStream();
}

void requestTiming() {
    if (timingRequest != nullptr) {
        if (pa_operation_get_state(timingRequest) == PA_OPERATION_RUNNING) return;
        pa_operation_unref(timingRequest);
        timingRequest = nullptr;
    }
    const double now = monotonicSeconds();
    if (now - lastTimingRequest < requestInterval) return;
    lastTimingRequest = now;
    requestInterval = timingRequestSeconds;
    if (steppingServer) {
        requestNoise ^= requestNoise << 13;
        requestNoise ^= requestNoise >> 17;
        requestNoise ^= requestNoise << 5;
        requestInterval =
            steppingRequestSeconds + steppingRequestSpreadSeconds * (requestNoise / 4294967296.0);
    }
    timingRequest = pa_stream_update_timing_info(stream, nullptr, nullptr);
}

// The server thread: the server's name, asked when the context is ready.
void onServerInfo(pa_context*, const pa_server_info* info, void*) {
    if (info == nullptr || info->server_name == nullptr) return;
    steppingServer = std::strstr(info->server_name, "PipeWire") != nullptr;
}

// The server went away (or refused the stream): the show runs on without it.
void lose() {
    dropContext();
    const double now = monotonicSeconds();
    retryAt = now + retryWait;
    retryWait = std::min(2 * retryWait, longestRetrySeconds);
    bool wasLive = false;
    {
        const Lock lock(audioLock);
        wasLive = live;
        if (live || rejoining) audioOutputLost(now);
        live = rejoining = false;
    }
    if (wasLive) std::fputs("Sound lost: the show goes on without it.\n", stderr);
}

// One turn of the thread between two waits: reconnects, replaces the stream, samples the clock.
void step() {
    if (context == nullptr) {
        if (monotonicSeconds() >= retryAt && !connect()) lose();
        return;
    }
    const pa_context_state_t state = pa_context_get_state(context);
    if (!PA_CONTEXT_IS_GOOD(state)) {
        lose();
        return;
    }
    if (state != PA_CONTEXT_READY) return;
    const bool making = retire();
    // Asked before any stream is made: the answer comes before the stream's first report.
    if (!serverAsked) {
        serverAsked = true;
        if (pa_operation* asked = pa_context_get_server_info(context, onServerInfo, nullptr))
            pa_operation_unref(asked);
    }
    bool wanted = false;
    uint64_t current = 0;
    {
        const Lock lock(audioLock);
        const double now = monotonicSeconds();
        wanted = audioWantsSound();
        if (!live) rejoining = true;
        // The server's line shows the frames placed last being heard: the clock moves over to
        // it, and follows it alone once there. With nothing playing there is nothing to place.
        if (rejoining && wanted && verified && timed && advancing &&
            heard(now) >= double(streamBase + placedAt))
            audioRejoinConfirmed(now);
        if (rejoining && (!wanted || audioRejoinSlewed(now))) {
            audioOutputBack(now);
            rejoining = false;
            live = true;
        }
        current = generation;
    }
    connected = true;
    retryWait = firstRetrySeconds;
    if (stream != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        lose(); // a stream refused or killed by the server: start again with a fresh connection
        return;
    }
    if (stream != nullptr && (streamGeneration != current || !wanted)) dropStream();
    if (stream == nullptr && wanted && !making) makeStream(current);
    if (stream != nullptr && pa_stream_get_state(stream) == PA_STREAM_READY) requestTiming();
}

void run() {
    for (;;) {
        {
            const Lock lock(audioLock);
            if (quit) break;
        }
        step();
        if (pa_mainloop_prepare(loop, sampleMicroseconds) < 0 || pa_mainloop_poll(loop) < 0 ||
            pa_mainloop_dispatch(loop) < 0)
            break;
    }
    dropContext();
}

// The sound output's calls (music/output.h).

// A server is not tried when SDL_AUDIODRIVER asks for SDL's audio.
bool open(unsigned rate) {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (driver != nullptr && *driver != '\0') return false;
    if (loop != nullptr) return false;
    sampleFormat.format = PA_SAMPLE_S16NE;
    sampleFormat.rate = rate;
    sampleFormat.channels = 2;
    loop = pa_mainloop_new();
    if (loop == nullptr) return false;
    bool ready = false;
    if (connect()) {
        const double deadline = monotonicSeconds() + connectSeconds;
        while (monotonicSeconds() < deadline) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) ready = true;
            if (ready || !PA_CONTEXT_IS_GOOD(state)) break;
            if (pa_mainloop_prepare(loop, 10000) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0)
                break;
        }
    }
    if (!ready) {
        dropContext();
        pa_mainloop_free(loop);
        loop = nullptr;
        return false;
    }
    {
        const Lock lock(audioLock);
        quit = false;
        live = true;
        rejoining = false;
        predictedLatency = requestedLatencySeconds;
        timed = advancing = reported = false;
        ++generation;
    }
    connected = true;
    retryWait = firstRetrySeconds;
    thread = std::thread(run);
    return true;
}

void close() {
    if (loop == nullptr) return;
    {
        const Lock lock(audioLock);
        quit = true;
        live = rejoining = false;
    }
    pa_mainloop_wakeup(loop);
    thread.join();
    pa_mainloop_free(loop);
    loop = nullptr;
}

double heard(double now) {
    if (!timed) return double(streamBase);
    double frames = timeFrames;
    if (advancing) frames += std::max(0.0, now - timeStamp) * sampleFormat.rate;
    return double(streamBase) + std::clamp(frames, 0.0, double(streamWritten));
}

void replace() {
    ++generation;
    timed = advancing = reported = verified = false;
    if (loop != nullptr) pa_mainloop_wakeup(loop);
}

bool report(OutputReport& report) {
    if (!live || !reported) return false;
    report = lastReport;
    report.frame += double(streamBase);
    report.clockFrame += double(streamBase);
    return true;
}

} // namespace

// The desktop's sound server: connects within about two seconds, never starting one; from then
// on a thread of its own plays through it, and reconnects in the background whenever it goes
// away.
extern const SoundOutput soundServerOutput = {
    "server", false, open, close, heard, replace, nullptr, nullptr, report,
};

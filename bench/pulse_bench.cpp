// The music clock against the position a sound server says is heard, on PulseAudio and on
// PipeWire, through the server and through SDL.
//
// For each server and latency (the stream's, asked with PULSE_LATENCY_MSEC, and on PulseAudio a
// sink with a delay of its own) a private server plays a tone, and the clock is compared with it:
// - through the server (our output): with each timing report of the server, the clock's reading
//   for the report's moment before it learnt of the report, against what is heard then. On
//   PulseAudio that is the position reported. PipeWire's pulse server reports the read index at
//   the end of the graph cycle in flight, so that its reports lie up to a cycle ahead of what is
//   heard: what is heard is the line under them (the robust line through the reports, moved down
//   to the third lowest less its expected height above the line), and the offset from the
//   reports themselves is printed too;
// - a plain libpulse player beside it, on the same server alone: what pa_stream_get_time says
//   (interpolated), every 2 ms, against the same line for its own stream;
// - through SDL's audio (its pulse driver, on PulseAudio only): the server is asked for the
//   latency of SDL's stream (its buffer and the sink's), and the position it plays is the audio
//   handed over less that latency; SDL hands over one 1024-frame buffer at a time, so this side
//   is known to about half a buffer (12 ms).
// Prints the mean offset (clock minus heard, positive: the clock ahead) and the 99th percentile of
// its size. Usage: pulse_bench [seconds per measurement, default 4]
#include "bench/bench.h"
#include "music/bass.h"
#include "music/core.h"
#include "tools/mp3.h"
#include "tools/soundserver.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <utility>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double bytesPerSecond = 44100 * 4;

struct Setting {
    ServerKind kind;
    std::string name;
    int streamMs; // PULSE_LATENCY_MSEC; 0 for the default
    int sinkDelayMs;
};

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The latency of the one client stream on the daemon (buffer and sink), asked synchronously.
class Introspection {
  public:
    explicit Introspection(const std::string& server) {
        loop = pa_mainloop_new();
        context = pa_context_new(pa_mainloop_get_api(loop), "pulse_bench");
        pa_context_connect(context, server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr);
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) &&
               pa_context_get_state(context) != PA_CONTEXT_READY)
            pa_mainloop_iterate(loop, 1, nullptr);
    }
    ~Introspection() {
        pa_context_disconnect(context);
        pa_context_unref(context);
        pa_mainloop_free(loop);
    }
    // Seconds from handing a byte over to hearing it; negative when no client stream is found.
    double latency() {
        found = -1;
        pa_operation* op = pa_context_get_sink_input_info_list(context, onInput, this);
        if (op == nullptr) return -1;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_mainloop_iterate(loop, 1, nullptr);
        pa_operation_unref(op);
        return found;
    }

  private:
    static void onInput(pa_context*, const pa_sink_input_info* info, int eol, void* self) {
        // The loopback that keeps the daemon's null sink awake belongs to no client.
        if (eol == 0 && info != nullptr && info->client != PA_INVALID_INDEX)
            static_cast<Introspection*>(self)->found = (info->buffer_usec + info->sink_usec) / 1e6;
    }
    pa_mainloop* loop;
    pa_context* context;
    double found = -1;
};

struct Offsets {
    double mean = 0, p99 = 0;
    size_t count = 0;
};

Offsets summarise(std::vector<double> offsets) {
    Offsets result;
    result.count = offsets.size();
    if (offsets.empty()) return result;
    for (double o : offsets)
        result.mean += o;
    result.mean /= offsets.size();
    for (double& o : offsets)
        o = std::fabs(o);
    std::sort(offsets.begin(), offsets.end());
    result.p99 = offsets[std::min(offsets.size() - 1, size_t(0.99 * offsets.size()))];
    return result;
}

// A report of the server: frames of the stream heard at a moment (monotonic seconds), as said.
struct Said {
    double moment, seconds;
};

// What is heard at each report's moment, in seconds of the stream. PulseAudio: what it says.
// PipeWire: the line under the reports (see the top of this file).
std::vector<double> heardAt(const std::vector<Said>& said, ServerKind kind);

// The same, the line taken over stretches of a hundred reports (two seconds) each, as the clock
// takes it, so that a stall of the server on a busy machine misplaces one stretch only.
std::vector<double> heardInStretches(const std::vector<Said>& said, ServerKind kind) {
    std::vector<double> heard;
    for (size_t from = 0; from < said.size(); from += 100) {
        const std::vector<Said> stretch(said.begin() + from,
                                        said.begin() + std::min(said.size(), from + 100));
        const std::vector<double> part = heardAt(stretch, kind);
        heard.insert(heard.end(), part.begin(), part.end());
    }
    return heard;
}

std::vector<double> heardAt(const std::vector<Said>& said, ServerKind kind) {
    std::vector<double> heard;
    for (const Said& s : said)
        heard.push_back(s.seconds);
    if (kind == ServerKind::pulseaudio || said.size() < 10) return heard;
    std::vector<double> slopes, above;
    for (size_t i = 0; i < said.size(); i += 3)
        for (size_t j = i + 1; j < said.size(); j += 3)
            if (said[j].moment > said[i].moment)
                slopes.push_back((said[j].seconds - said[i].seconds) /
                                 (said[j].moment - said[i].moment));
    std::nth_element(slopes.begin(), slopes.begin() + slopes.size() / 2, slopes.end());
    const double slope = slopes[slopes.size() / 2];
    for (const Said& s : said)
        above.push_back(s.seconds - slope * (s.moment - said.front().moment));
    std::vector<double> sorted = above;
    std::sort(sorted.begin(), sorted.end());
    const double under = sorted[2] - 3 * (sorted.back() - sorted.front()) / (sorted.size() - 1);
    for (size_t i = 0; i < said.size(); ++i)
        heard[i] -= above[i] - under;
    return heard;
}

double wallSeconds() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

// A plain libpulse player: silence at 44100 Hz stereo, the latency asked as our output asks it
// (40 ms unless PULSE_LATENCY_MSEC says otherwise), timing interpolated by the library and
// updated every 20 ms. What pa_stream_get_time says against what is heard, in seconds.
std::vector<double> measurePlayer(ServerKind kind, double seconds) {
    static const pa_sample_spec format = {PA_SAMPLE_S16NE, 44100, 2};
    struct State {
        std::vector<Said> said;
        double wallToMonotonic;
    } state;
    state.wallToMonotonic = wallSeconds() - monotonicSeconds();
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "pulse_bench player");
    pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) &&
           pa_context_get_state(context) != PA_CONTEXT_READY)
        pa_mainloop_iterate(loop, 1, nullptr);
    pa_stream* stream = pa_stream_new(context, "player", &format, nullptr);
    pa_buffer_attr attributes;
    attributes.maxlength = attributes.prebuf = attributes.minreq = attributes.fragsize =
        uint32_t(-1);
    attributes.tlength = uint32_t(pa_usec_to_bytes(40000, &format));
    pa_stream_set_write_callback(
        stream,
        [](pa_stream* s, size_t bytes, void*) {
            std::vector<char> silence(bytes, 0);
            pa_stream_write(s, silence.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE);
        },
        nullptr);
    pa_stream_set_latency_update_callback(
        stream,
        [](pa_stream* s, void* self) {
            auto& st = *static_cast<State*>(self);
            const pa_timing_info* info = pa_stream_get_timing_info(s);
            if (info == nullptr || !info->playing || info->read_index_corrupt) return;
            const double moment =
                double(info->timestamp.tv_sec) + info->timestamp.tv_usec / 1e6 - st.wallToMonotonic;
            st.said.push_back({moment, double(info->read_index) / bytesPerSecond -
                                           double(info->sink_usec) / 1e6});
        },
        &state);
    pa_stream_connect_playback(stream, nullptr, &attributes,
                               pa_stream_flags_t(PA_STREAM_AUTO_TIMING_UPDATE |
                                                 PA_STREAM_INTERPOLATE_TIMING |
                                                 PA_STREAM_ADJUST_LATENCY),
                               nullptr, nullptr);
    std::vector<Said> times; // what pa_stream_get_time said, at a moment
    const double start = monotonicSeconds();
    double lastRequest = 0;
    while (monotonicSeconds() - start < seconds + 1 &&
           PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        pa_mainloop_prepare(loop, 2000);
        pa_mainloop_poll(loop);
        pa_mainloop_dispatch(loop);
        if (pa_stream_get_state(stream) != PA_STREAM_READY) continue;
        const double before = monotonicSeconds();
        pa_usec_t usec = 0;
        const bool got = pa_stream_get_time(stream, &usec) == 0;
        const double after = monotonicSeconds();
        if (got && after - before < 0.0005 && before - start > 1)
            times.push_back({(before + after) / 2, usec / 1e6});
        if (before - lastRequest > 0.02) {
            lastRequest = before;
            if (pa_operation* o = pa_stream_update_timing_info(stream, nullptr, nullptr))
                pa_operation_unref(o);
        }
    }
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    // What is heard at each of pa_stream_get_time's moments: between the two reports around it,
    // from the later one's line (the line under the reports has the server's pace).
    std::vector<Said> said;
    for (const Said& s : state.said)
        if (s.moment - start > 1) said.push_back(s);
    const std::vector<double> heard = heardInStretches(said, kind);
    std::vector<double> offsets;
    size_t next = 0;
    for (const Said& t : times) {
        while (next < said.size() && said[next].moment < t.moment)
            ++next;
        if (next == 0 || next == said.size()) continue;
        offsets.push_back(t.seconds - (heard[next] - (said[next].moment - t.moment)));
    }
    return offsets;
}

HSTREAM playTone(const std::string& path) {
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    BASS_ChannelPlay(stream, TRUE);
    return stream;
}

// Our output: against what is heard (first) and against the reports themselves (second).
std::pair<Offsets, Offsets> measureServer(const std::string& tone, ServerKind kind,
                                          double seconds) {
    if (!BASS_Init(1, 44100, 0, 0, NULL) || std::string(bassOutputName()) != "server") {
        std::fprintf(stderr, "no server output\n");
        BASS_Free();
        return {};
    }
    const HSTREAM stream = playTone(tone);
    const double start = monotonicSeconds();
    std::vector<Said> said;
    std::vector<double> clock;
    double lastMoment = 0;
    while (monotonicSeconds() - start < seconds + 1) {
        BassServerReport report;
        if (monotonicSeconds() - start > 1 && bassServerReport(stream, &report) &&
            report.moment > lastMoment) {
            lastMoment = report.moment;
            said.push_back({report.moment, report.serverBytes / bytesPerSecond});
            clock.push_back(report.clockBytes / bytesPerSecond);
        }
        sleepMs(1);
    }
    BASS_Free();
    const std::vector<double> heard = heardInStretches(said, kind);
    std::vector<double> offHeard, offSaid;
    for (size_t i = 0; i < said.size(); ++i) {
        offHeard.push_back(clock[i] - heard[i]);
        offSaid.push_back(clock[i] - said[i].seconds);
    }
    return {summarise(offHeard), summarise(offSaid)};
}

Offsets measureSdl(const std::string& tone, const SoundServer& daemon, double seconds) {
    std::vector<double> offsets;
    setenv("SDL_AUDIODRIVER", "pulse", 1);
    if (!BASS_Init(1, 44100, 0, 0, NULL) || std::string(bassOutputName()) != "sdl") {
        std::fprintf(stderr, "no SDL output\n");
        BASS_Free();
        unsetenv("SDL_AUDIODRIVER");
        return {};
    }
    const HSTREAM stream = playTone(tone);
    Introspection server(daemon.server());
    const double start = monotonicSeconds();
    while (monotonicSeconds() - start < seconds + 0.5) {
        const double before = monotonicSeconds();
        const double clock0 = double(BASS_ChannelGetPosition(stream));
        const double handed0 = double(bassHandedPosition(stream));
        const double latency = server.latency();
        const double clock1 = double(BASS_ChannelGetPosition(stream));
        const double handed1 = double(bassHandedPosition(stream));
        const double after = monotonicSeconds();
        // Only answers that took under a millisecond: the readings around them stand for one
        // moment.
        if (monotonicSeconds() - start > 0.5 && latency >= 0 && after - before < 0.001) {
            const double heard = (handed0 + handed1) / 2 / bytesPerSecond - latency;
            offsets.push_back((clock0 + clock1) / 2 / bytesPerSecond - heard);
        }
        sleepMs(10);
    }
    BASS_Free();
    unsetenv("SDL_AUDIODRIVER");
    return summarise(offsets);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 4;
    const std::string tone = "/tmp/pulse_bench_tone.mp3";
    if (!writeToneMp3(tone, 44100, 2, int64_t((seconds + 3) * 44100), sineTone(440, 0.3))) {
        std::fprintf(stderr, "cannot write %s\n", tone.c_str());
        return 1;
    }
    const std::vector<Setting> settings = {
        {ServerKind::pulseaudio, "stream 20 ms", 20, 0},
        {ServerKind::pulseaudio, "stream default (40 ms)", 0, 0},
        {ServerKind::pulseaudio, "stream 250 ms", 250, 0},
        {ServerKind::pulseaudio, "stream default, sink +150 ms", 0, 150},
        {ServerKind::pipewire, "stream 20 ms", 20, 0},
        {ServerKind::pipewire, "stream default (40 ms)", 0, 0},
        {ServerKind::pipewire, "stream 250 ms", 250, 0}};
    for (const Setting& setting : settings) {
        if (setting.streamMs > 0)
            setenv("PULSE_LATENCY_MSEC", std::to_string(setting.streamMs).c_str(), 1);
        else
            unsetenv("PULSE_LATENCY_MSEC");
        SoundServer daemon(setting.sinkDelayMs, setting.kind);
        if (!daemon.start()) return 1;
        daemon.useFromThisProcess();
        const auto [heard, said] = measureServer(tone, setting.kind, seconds);
        const Offsets player = summarise(measurePlayer(setting.kind, seconds));
        const std::string name = std::string(serverKindName(setting.kind)) + ", " + setting.name;
        std::printf("%-42s ours: mean %+7.3f ms, p99 %7.3f ms (%zu reports; against the reports "
                    "themselves mean %+7.3f, p99 %7.3f)   plain player: mean %+7.3f ms, p99 %7.3f "
                    "ms\n",
                    name.c_str(), 1000 * heard.mean, 1000 * heard.p99, heard.count,
                    1000 * said.mean, 1000 * said.p99, 1000 * player.mean, 1000 * player.p99);
        const std::string section = "clock against the sound server";
        printFigure(section, name + ": server output, mean offset", 1000 * heard.mean, "ms");
        printFigure(section, name + ": server output, p99 offset", 1000 * heard.p99, "ms");
        printFigure(section, name + ": plain libpulse player, mean offset", 1000 * player.mean,
                    "ms");
        if (setting.kind == ServerKind::pulseaudio) {
            const Offsets sdl = measureSdl(tone, daemon, seconds);
            std::printf("%-42s SDL: mean %+8.3f ms, p99 %8.3f ms (%zu readings)\n", "",
                        1000 * sdl.mean, 1000 * sdl.p99, sdl.count);
            printFigure(section, name + ": SDL output, mean offset", 1000 * sdl.mean, "ms");
            printFigure(section, name + ": SDL output, p99 offset", 1000 * sdl.p99, "ms");
        }
        daemon.stop(SIGTERM);
    }
    std::remove(tone.c_str());
    return 0;
}

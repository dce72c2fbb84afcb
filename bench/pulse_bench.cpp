// The music clock against the position a sound server says it plays, through the server and through
// SDL.
//
// For each latency (the stream's, asked with PULSE_LATENCY_MSEC, and a sink with a delay of its
// own) a private PulseAudio daemon, and then PipeWire's stack, plays a tone, and the clock is
// compared with the server:
// - through the server (our output): with each timing report of the server, the clock's reading
//   for the report's moment before it learnt of the report, against the position reported. On
//   PipeWire, whose reports lie up to a cycle of its graph ahead of what is heard, against what
//   is heard: the middle of the band that all the reports of a stretch of two seconds allow,
//   looking back and ahead (the clock itself sees only the reports before);
// - through SDL's audio (its pulse driver, on the same daemon): the server is asked for the
//   latency of SDL's stream (its buffer and the sink's), and the position it plays is the audio
//   handed over less that latency; SDL hands over one 1024-frame buffer at a time, so this side
//   is known to about half a buffer (12 ms). PipeWire's pulse server reports no latency for a
//   stream, so this side is measured on PulseAudio only.
// Prints the mean offset (clock minus server, positive: the clock ahead) and the 99th percentile
// of its size. Usage: pulse_bench [seconds per measurement, default 4]
#include "bench/bench.h"
#include "music/bass.h"
#include "music/core.h"
#include "tools/mp3.h"
#include "tools/pulsedaemon.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double bytesPerSecond = 44100 * 4;

struct Setting {
    SoundServer server;
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

HSTREAM playTone(const std::string& path) {
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    BASS_ChannelPlay(stream, TRUE);
    return stream;
}

// On a server that steps in cycles: each report's position replaced by what is heard at its
// moment, by the line through all reports of its stretch of `cycleReportWindow` (a short tail
// joins the stretch before it).
void heardFromCycles(std::vector<BassServerReport>& reports) {
    const size_t stretch = cycleReportWindow;
    for (size_t from = 0; from < reports.size();) {
        size_t to = std::min(reports.size(), from + stretch);
        if (reports.size() - to < stretch / 2) to = reports.size();
        CycleLine line = makeCycleLine(bytesPerSecond / 4);
        for (size_t i = from; i < to; ++i)
            cycleLineAdd(line, {reports[i].moment, reports[i].serverBytes / 4});
        for (size_t i = from; i < to; ++i)
            reports[i].serverBytes = 4 * cycleLineHeard(line, reports[i].moment);
        from = to;
    }
}

Offsets measureServer(const std::string& tone, SoundServer server, double seconds,
                      double& rawMean) {
    std::vector<BassServerReport> reports;
    if (!BASS_Init(1, 44100, 0, 0, NULL) || std::string(bassOutputName()) != "server") {
        std::fprintf(stderr, "no server output\n");
        BASS_Free();
        return {};
    }
    const HSTREAM stream = playTone(tone);
    const double start = monotonicSeconds();
    double lastMoment = 0;
    while (monotonicSeconds() - start < seconds + 0.5) {
        BassServerReport report;
        if (monotonicSeconds() - start > 0.5 && bassServerReport(stream, &report) &&
            report.moment > lastMoment) {
            lastMoment = report.moment;
            reports.push_back(report);
        }
        sleepMs(1);
    }
    BASS_Free();
    std::vector<double> offsets;
    for (const BassServerReport& report : reports)
        offsets.push_back((report.clockBytes - report.serverBytes) / bytesPerSecond);
    rawMean = summarise(offsets).mean;
    if (server == SoundServer::pulseaudio) return summarise(offsets);
    heardFromCycles(reports);
    offsets.clear();
    for (const BassServerReport& report : reports)
        offsets.push_back((report.clockBytes - report.serverBytes) / bytesPerSecond);
    return summarise(offsets);
}

Offsets measureSdl(const std::string& tone, const PulseDaemon& daemon, double seconds) {
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
    constexpr SoundServer pulse = SoundServer::pulseaudio, pipewire = SoundServer::pipewire;
    const std::vector<Setting> settings = {{pulse, "stream 20 ms", 20, 0},
                                           {pulse, "stream default (40 ms)", 0, 0},
                                           {pulse, "stream 250 ms", 250, 0},
                                           {pulse, "stream default, sink +150 ms", 0, 150},
                                           {pipewire, "PipeWire, stream 20 ms", 20, 0},
                                           {pipewire, "PipeWire, stream default (40 ms)", 0, 0},
                                           {pipewire, "PipeWire, stream 250 ms", 250, 0}};
    for (const Setting& setting : settings) {
        if (setting.streamMs > 0)
            setenv("PULSE_LATENCY_MSEC", std::to_string(setting.streamMs).c_str(), 1);
        else
            unsetenv("PULSE_LATENCY_MSEC");
        PulseDaemon daemon(setting.sinkDelayMs, setting.server);
        if (!daemon.start()) return 1;
        daemon.useFromThisProcess();
        double rawMean = 0;
        const Offsets server = measureServer(tone, setting.server, seconds, rawMean);
        const std::string section = "clock against the sound server";
        printFigure(section, setting.name + ": server output, mean offset", 1000 * server.mean,
                    "ms");
        printFigure(section, setting.name + ": server output, p99 offset", 1000 * server.p99, "ms");
        if (setting.server == pipewire) {
            std::printf("%-34s server: mean %+7.3f ms, p99 %7.3f ms (%zu reports; %+.3f ms "
                        "against the reports themselves)\n",
                        setting.name.c_str(), 1000 * server.mean, 1000 * server.p99, server.count,
                        1000 * rawMean);
            printFigure(section, setting.name + ": against the reports themselves, mean offset",
                        1000 * rawMean, "ms");
            daemon.stop(SIGTERM);
            continue;
        }
        const Offsets sdl = measureSdl(tone, daemon, seconds);
        std::printf("%-34s server: mean %+7.3f ms, p99 %7.3f ms (%zu reports)   SDL: mean %+8.3f "
                    "ms, p99 %8.3f ms (%zu readings)\n",
                    setting.name.c_str(), 1000 * server.mean, 1000 * server.p99, server.count,
                    1000 * sdl.mean, 1000 * sdl.p99, sdl.count);
        printFigure(section, setting.name + ": SDL output, mean offset", 1000 * sdl.mean, "ms");
        printFigure(section, setting.name + ": SDL output, p99 offset", 1000 * sdl.p99, "ms");
        daemon.stop(SIGTERM);
    }
    std::remove(tone.c_str());
    return 0;
}

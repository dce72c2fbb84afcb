// Recording the show to a video file: checks, start-up off-screen, the frame loop, progress,
// signals.
#include "app/record.h"

#include "app/encoder.h"
#include "app/offscreen.h"
#include "app/options.h"
#include "app/recorder.h"
#include "app/recording.h"
#include "app/startup.h"
#include "music/core.h"
#include "music/music.h"
#include "show/show.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr const char* musicPath = "Data/Zrax2011.mp3";
// Multisampling of the off-screen pictures: the most the driver offers up to this, at least
// what the live window gets.
constexpr int wantedSamples = 8;
// The in-place progress line is redrawn at most this often, in seconds.
constexpr double progressInterval = 0.25;

std::atomic<int> stopSignal{0};

void onStopSignal(int number) {
    stopSignal = number;
}

// SIGINT and SIGTERM end the recording after the frame in progress; a second one ends the
// program at once. A write past the file size limit fails with EFBIG instead of killing.
void catchSignals() {
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

void say(const std::string& line) {
    std::fprintf(stderr, "zoomraxvandel: %s\n", line.c_str());
}

bool readFile(const char* path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        error = std::string("cannot read the music \"") + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

StartupSettings offscreenShow(int width, int height) {
    StartupSettings settings;
    settings.width = width;
    settings.height = height;
    settings.sound = false;
    return settings;
}

RecordedShow recordableShow() {
    RecordedShow show;
    show.hold = [](double seconds) {
        // Every clock reading returns `seconds`, and the stream stands at its sample, so the
        // spectrum fetched is the one at the frame's own moment (the live loop draws with the
        // one fetched after the frame before).
        musicHold(seconds);
        musicFetchSpectrum(spectrum);
    };
    show.draw = [] { return drawFrame(); };
    show.lastPresented = showEnd - 0.001;
    return show;
}

int recordShow(const Options& options) {
    catchSignals();

    // The music's format first, so that a file the libraries cannot write is refused at once.
    std::vector<uint8_t> mp3;
    std::string error;
    DecodedAudio probe;
    if (!readFile(musicPath, mp3, error)) {
        say(error);
        return 1;
    }
    if (!decodeMp3(mp3.data(), mp3.size(), probe, 1)) {
        say(std::string("the music \"") + musicPath + "\" holds no MP3 audio");
        return 1;
    }
    EncoderSettings settings;
    settings.path = options.recordPath;
    settings.width = options.width;
    settings.height = options.height;
    settings.fps = options.fps;
    settings.lossless = options.lossless;
    settings.sampleRate = probe.rate;
    settings.channels = probe.channels;
    Encoder encoder;
    if (!encoder.open(settings, error)) {
        say(error);
        return 1;
    }

    DecodedAudio track;
    decodeMp3(mp3.data(), mp3.size(), track);
    const double trackSeconds = double(track.frames()) / track.rate;
    RecordingPlan plan;
    plan.from = options.from;
    plan.to = options.to < 0 ? trackSeconds : options.to;
    plan.fps = options.fps;
    plan.blend = options.blend;
    plan.sampleRate = track.rate;
    if (plan.to > trackSeconds + 1e-9 || plan.from >= trackSeconds) {
        say("the track ends at " + secondsText(trackSeconds) + "; --from and --to lie within it");
        return 1;
    }
    if (plan.to <= plan.from) {
        say("--to must be later than --from");
        return 1;
    }

    OffscreenContext context;
    if (!context.open(options.width, options.height, wantedSamples, error)) {
        say(error);
        return 1;
    }
    startShow(offscreenShow(options.width, options.height));
    const RecordedShow show = recordableShow();

    const long frames = planFrames(plan);
    const bool inPlace = isatty(STDERR_FILENO) == 1;
    const auto started = std::chrono::steady_clock::now();
    double lastLine = -progressInterval;
    const RecordedPart part =
        recordFrames(plan, show, context, encoder, track, stopSignal, [&](long done) {
            if (!inPlace) return;
            const double elapsed = secondsSince(started);
            if (elapsed - lastLine < progressInterval && done != frames) return;
            lastLine = elapsed;
            std::fprintf(stderr, "\r%s\033[K", progressText(done, frames, elapsed).c_str());
        });
    if (inPlace) std::fputc('\n', stderr);

    if (!encoder.finish(error)) {
        say(error);
        return 1;
    }
    const double elapsed = secondsSince(started);
    const std::string span = secondsText(plan.from) + " to " + secondsText(part.endTime);
    if (part.stopped) {
        say(std::string("stopped by ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") +
            " at music time " + secondsText(part.endTime) + ": \"" + options.recordPath +
            "\" holds " + std::to_string(part.frames) + " of " + std::to_string(frames) +
            " frames, music " + span);
        return 128 + stopSignal;
    }
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", elapsed > 0 ? part.frames / elapsed : 0.0);
    say("recorded \"" + options.recordPath + "\": " + std::to_string(part.frames) +
        " frames, music " + span + ", in " + clockText(elapsed) + " (" + rate +
        " frames a second)");
    return 0;
}

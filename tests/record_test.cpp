// The real program's --record end to end: files decoded back against direct draws and the track.
#include "app/offscreen.h"
#include "app/record.h"
#include "app/recorder.h"
#include "app/recording.h"
#include "app/startup.h"
#include "music/core.h"
#include "tests/mediafile.h"
#include "tests/psnr.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int width = 320, height = 180, fps = 30;

struct Launch {
    std::vector<std::string> arguments;     // after the program's name
    std::vector<std::string> environment;   // NAME=VALUE added
    std::string directory = ZRX_SOURCE_DIR; // where it runs
    long fileSizeLimit = -1;                // bytes, RLIMIT_FSIZE
    std::string stopWhenExists;             // sends `stopSignal` once this file has grown...
    long stopAfterBytes = 0;                // ...past this size
    int stopSignal = SIGINT;
};

Launch launching(std::vector<std::string> arguments) {
    Launch launch;
    launch.arguments = std::move(arguments);
    return launch;
}

struct Outcome {
    int status = -1; // exit status, or 1000 + signal number when killed
    std::string errors;
};

// Runs the program without a display, standard error into a file.
Outcome run(const Launch& launch, const std::string& scratch) {
    const std::string errorsPath = scratch + "/stderr.txt";
    const pid_t child = fork();
    if (child == 0) {
        const int errors = open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(errors, STDERR_FILENO);
        const int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, STDIN_FILENO);
        dup2(nothing, STDOUT_FILENO);
        if (chdir(launch.directory.c_str()) != 0) _exit(126);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        for (const std::string& pair : launch.environment) {
            // A library preloaded here comes after those already preloaded (a sanitizer's).
            const char* preloaded = getenv("LD_PRELOAD");
            if (pair.rfind("LD_PRELOAD=", 0) == 0 && preloaded != nullptr && *preloaded != 0)
                setenv("LD_PRELOAD", (std::string(preloaded) + ":" + pair.substr(11)).c_str(), 1);
            else
                putenv(strdup(pair.c_str()));
            // In an AddressSanitizer build its runtime is not the first library then.
            if (pair.rfind("LD_PRELOAD=", 0) == 0) {
                const char* options = getenv("ASAN_OPTIONS");
                setenv("ASAN_OPTIONS",
                       (std::string(options ? options : "") + ":verify_asan_link_order=0").c_str(),
                       1);
            }
        }
        if (launch.fileSizeLimit >= 0) {
            const rlimit limit{rlim_t(launch.fileSizeLimit), rlim_t(launch.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(ZRX_PROGRAM)};
        for (const std::string& a : launch.arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ZRX_PROGRAM, argv.data());
        _exit(127);
    }
    Outcome outcome;
    int status = 0;
    if (!launch.stopWhenExists.empty()) {
        // Generous bound: software GL at this size draws dozens of frames a second.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
        struct stat info = {};
        while (std::chrono::steady_clock::now() < deadline &&
               waitpid(child, &status, WNOHANG) == 0) {
            if (stat(launch.stopWhenExists.c_str(), &info) == 0 &&
                info.st_size > launch.stopAfterBytes) {
                kill(child, launch.stopSignal);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (waitpid(child, &status, 0) != child) status = 0;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    outcome.errors = readText(errorsPath);
    return outcome;
}

std::vector<std::string> recordArguments(const std::string& path, double from, double to,
                                         std::vector<std::string> more = {}) {
    std::vector<std::string> arguments{
        "--record", path,
        "--size",   std::to_string(width) + "x" + std::to_string(height),
        "--fps",    std::to_string(fps),
        "--from",   std::to_string(from),
        "--to",     std::to_string(to)};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

DecodedAudio decodedTrack() {
    std::ifstream in(std::string(ZRX_SOURCE_DIR) + "/Data/Zrax2011.mp3", std::ios::binary);
    const std::vector<uint8_t> mp3((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    DecodedAudio track;
    EXPECT_TRUE(decodeMp3(mp3.data(), mp3.size(), track));
    return track;
}

// The show started up off-screen in this process, to draw moments directly.
struct DirectDraw {
    OffscreenContext context;
    DecodedAudio track = decodedTrack();
    RecordedShow show;
    std::vector<uint8_t> picture, topDown;

    DirectDraw() {
        unsetenv("DISPLAY");
        std::string error;
        EXPECT_TRUE(context.open(width, height, 8, error)) << error;
        EXPECT_EQ(chdir(ZRX_SOURCE_DIR), 0);
        startShow(offscreenShow(width, height));
        show = recordableShow();
        picture.resize(size_t(width) * height * 4);
        topDown.resize(picture.size());
    }
    // The moment drawn and read, top row first as a decoder gives it.
    const uint8_t* at(double seconds) {
        show.hold(seconds);
        if (show.draw()) context.readPixels(picture.data());
        for (int y = 0; y < height; ++y)
            std::copy_n(&picture[size_t(height - 1 - y) * width * 4], width * 4,
                        &topDown[size_t(y) * width * 4]);
        return topDown.data();
    }
};

void expectTimes(const MediaFile& file, long frames, double tolerance) {
    ASSERT_EQ(long(file.frameTimes.size()), frames);
    for (long k = 0; k < frames; ++k)
        EXPECT_NEAR(file.frameTimes[k], double(k) / fps, tolerance) << "frame " << k;
    EXPECT_EQ(file.frameTimes.front(), 0.0);
    EXPECT_EQ(file.firstSampleTime, 0.0) << "the first sample does not start with frame 0";
}

} // namespace

// The credits with the model, whose stretch follows the spectrum at each frame's time.
TEST(Record, LosslessFramesAreTheDirectDrawsAndTheSoundIsTheTrack) {
    TempDir dir;
    const std::string path = dir.path("model.mkv");
    const double from = 11.1, to = 12.1;
    const Outcome outcome =
        run(launching(recordArguments(path, from, to, {"--lossless"})), dir.dir);
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_NE(outcome.errors.find("recorded \"" + path + "\": 30 frames"), std::string::npos)
        << outcome.errors;
    EXPECT_EQ(outcome.errors.find('\r'), std::string::npos) << "progress line on a non-terminal";

    DirectDraw direct;
    MediaFile file;
    std::string error;
    int differing = 0;
    ASSERT_TRUE(readMediaFile(path, file, error, [&](int k, double, const uint8_t* rgba) {
        const uint8_t* expected = direct.at(from + double(k) / fps);
        if (psnrRgb(rgba, expected, width, height) != INFINITY) ++differing;
    })) << error;
    EXPECT_EQ(file.videoCodec, "ffv1");
    EXPECT_EQ(file.audioCodec, "flac");
    expectTimes(file, 30, 0.0005);
    EXPECT_EQ(differing, 0) << "frames that differ from the direct draw";

    const DecodedAudio& track = direct.track;
    const uint64_t first = sampleAtTime(from, track.rate), last = sampleAtTime(to, track.rate);
    ASSERT_EQ(file.channels, track.channels);
    ASSERT_EQ(file.samples.size(), size_t(last - first) * track.channels);
    size_t wrong = 0;
    for (size_t i = 0; i < file.samples.size(); ++i)
        if (file.samples[i] * 32768.0f != float(track.samples[first * track.channels + i])) ++wrong;
    EXPECT_EQ(wrong, 0u);
}

// The three stacked windows around the portrait, in H.264 with AAC.
TEST(Record, H264FramesAreCloseToTheDirectDrawsAndAacLinesUpWithTheTrack) {
    TempDir dir;
    const std::string path = dir.path("stacked.mp4");
    const double from = 50, to = 52;
    const Outcome outcome = run(launching(recordArguments(path, from, to)), dir.dir);
    ASSERT_EQ(outcome.status, 0) << outcome.errors;

    DirectDraw direct;
    MediaFile file;
    std::string error;
    // Against the direct draw as 4:2:0 holds it (the encoder's own loss), and, for the record,
    // against the direct draw itself.
    double worst = INFINITY, worstRgb = INFINITY;
    ASSERT_TRUE(readMediaFile(path, file, error, [&](int k, double, const uint8_t* rgba) {
        const uint8_t* drawn = direct.at(from + double(k) / fps);
        const std::vector<uint8_t> held = throughYuv420(drawn, width, height);
        worst = std::min(worst, psnrRgb(rgba, held.data(), width, height));
        worstRgb = std::min(worstRgb, psnrRgb(rgba, drawn, width, height));
    })) << error;
    std::printf("worst frame: %.2f dB against the draw in 4:2:0, %.2f dB against the draw\n", worst,
                worstRgb);
    EXPECT_EQ(file.videoCodec, "h264");
    EXPECT_EQ(file.pixelFormat, "yuv420p");
    EXPECT_EQ(file.audioCodec, "aac");
    expectTimes(file, 60, 1e-9);
    EXPECT_GE(worst, 40.0) << "dB, the worst frame";

    // Cross-correlation of the left channel against the track around lag 0.
    const DecodedAudio& track = direct.track;
    const uint64_t first = sampleAtTime(from, track.rate);
    const int channels = track.channels;
    const size_t length = file.samples.size() / channels;
    ASSERT_GT(length, size_t(track.rate));
    int bestLag = 0;
    double best = -INFINITY;
    for (int lag = -2000; lag <= 2000; ++lag) {
        double sum = 0;
        for (size_t i = 4096; i + 4096 < length; ++i)
            sum += file.samples[i * channels] * double(track.samples[(first + i - lag) * channels]);
        if (sum > best) best = sum, bestLag = lag;
    }
    EXPECT_LE(std::abs(bestLag), 1) << "the sound is " << bestLag << " samples late";
}

// ---- Faults -----------------------------------------------------------------------------------

namespace {

void expectFault(const Launch& launch, const TempDir& dir, const std::string& message) {
    const Outcome outcome = run(launch, dir.dir);
    EXPECT_EQ(outcome.status, 1) << outcome.errors;
    EXPECT_NE(outcome.errors.find(message), std::string::npos) << outcome.errors;
    for (const std::string& name : dir.entries())
        EXPECT_EQ(name, "stderr.txt") << "left behind";
}

} // namespace

TEST(RecordFaults, AnExtensionItCannotWriteIsRefusedAtOnce) {
    TempDir dir;
    expectFault(launching(recordArguments(dir.path("show.xyz"), 0, 1)), dir,
                "zoomraxvandel: cannot record to \"" + dir.dir +
                    "/show.xyz\": no container for the extension \".xyz\"");
    expectFault(launching(recordArguments(dir.path("show.webm"), 0, 1)), dir,
                "a \".webm\" file cannot hold H.264 video");
    expectFault(launching(recordArguments(dir.path("show.mp4"), 0, 1, {"--lossless"})), dir,
                "lossless recordings go in .mkv");
}

TEST(RecordFaults, AFolderThatDoesNotExistOrIsNoFolder) {
    TempDir dir;
    expectFault(launching(recordArguments(dir.path("missing/show.mp4"), 0, 1)), dir,
                "cannot write \"" + dir.path("missing/show.mp4") + "\": No such file or directory");
    std::ofstream(dir.path("file")).put('x');
    const Outcome outcome =
        run(launching(recordArguments(dir.path("file/show.mp4"), 0, 1)), dir.dir);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.errors.find("Not a directory"), std::string::npos) << outcome.errors;
}

TEST(RecordFaults, AnEncoderThisFFmpegLacks) {
    TempDir dir;
    Launch launch = launching(recordArguments(dir.path("show.mp4"), 0, 1));
    launch.environment = {std::string("LD_PRELOAD=") + ZRX_HIDE_ENCODER,
                          "ZRX_HIDE_ENCODER=libx264"};
    expectFault(launch, dir, "this system's FFmpeg has no libx264 encoder for H.264");
    launch.arguments = recordArguments(dir.path("show.mkv"), 0, 1, {"--lossless"});
    launch.environment.back() = "ZRX_HIDE_ENCODER=flac";
    expectFault(launch, dir, "this system's FFmpeg has no flac encoder for FLAC");
}

TEST(RecordFaults, TheMusicFileMissing) {
    TempDir dir;
    Launch launch = launching(recordArguments(dir.path("show.mp4"), 0, 1));
    launch.directory = dir.dir; // no Data/ here
    expectFault(launch, dir,
                "zoomraxvandel: cannot read the music \"Data/Zrax2011.mp3\": No such file");
}

// A full disk, as write(2) sees it: the file size limit makes a write fail half-way.
TEST(RecordFaults, AWriteThatFailsLeavesNoFile) {
    TempDir dir;
    Launch launch = launching(recordArguments(dir.path("show.mkv"), 11, 14, {"--lossless"}));
    launch.fileSizeLimit = 300 * 1024;
    expectFault(launch, dir, "cannot write \"" + dir.path("show.mkv") + "\": File too large");
}

TEST(RecordFaults, OutsideTheTrack) {
    TempDir dir;
    expectFault(launching(recordArguments(dir.path("show.mp4"), 10, 9000)), dir,
                "the track ends at");
}

// Interrupted: the file holds what was recorded, plays to its end, and the message says where.
void expectInterrupted(int signal, const std::string& name) {
    TempDir dir;
    const std::string path = dir.path("long.mp4");
    Launch launch = launching(recordArguments(path, 10, 70));
    launch.stopWhenExists = path + ".part";
    launch.stopAfterBytes = 100 * 1024;
    launch.stopSignal = signal;
    const Outcome outcome = run(launch, dir.dir);
    EXPECT_EQ(outcome.status, 128 + signal) << outcome.errors;
    const std::regex said("stopped by " + name +
                          " at music time ([0-9.]+) s: \"[^\"]+\" holds ([0-9]+) of 1800 frames");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(outcome.errors, match, said)) << outcome.errors;
    const double stoppedAt = std::stod(match[1]);
    const long frames = std::stol(match[2]);
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 1800);
    EXPECT_NEAR(stoppedAt, 10 + double(frames) / fps, 0.0005);

    MediaFile file;
    std::string error;
    ASSERT_TRUE(readMediaFile(path, file, error)) << error;
    expectTimes(file, frames, 1e-9);
    const double soundSeconds = double(file.samples.size()) / file.channels / file.sampleRate;
    EXPECT_NEAR(soundSeconds, double(frames) / fps, 1024.0 / file.sampleRate + 1.0 / fps);
    EXPECT_EQ(dir.entries().size(), 2u); // the file and stderr.txt, no partial file
}

TEST(RecordFaults, SigintClosesAFileThatPlaysUpToWhereItStopped) {
    expectInterrupted(SIGINT, "SIGINT");
}

TEST(RecordFaults, SigtermClosesAFileThatPlaysUpToWhereItStopped) {
    expectInterrupted(SIGTERM, "SIGTERM");
}

// On a terminal the progress line is redrawn in place.
TEST(RecordProgress, InPlaceOnATerminal) {
    TempDir dir;
    const std::string path = dir.path("show.mp4");
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(ZRX_SOURCE_DIR) != 0) _exit(126);
        unsetenv("DISPLAY");
        const std::vector<std::string> arguments = recordArguments(path, 20, 23);
        std::vector<char*> argv{const_cast<char*>(ZRX_PROGRAM)};
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ZRX_PROGRAM, argv.data());
        _exit(127);
    }
    std::string screen;
    char buffer[512];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
        screen.append(buffer, n);
    close(terminal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
    EXPECT_NE(screen.find("\rframe 90/90"), std::string::npos) << screen;
    EXPECT_TRUE(std::regex_search(screen, std::regex("frame [0-9]+/90  [0-9.]+ fps  [0-9:]+ left")))
        << screen;
    EXPECT_NE(screen.find("recorded \"" + path + "\": 90 frames"), std::string::npos) << screen;
}

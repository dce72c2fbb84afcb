// The sound side of the real program's end-to-end test: a private daemon, a recorder, a locator.
//
//   soundcheck daemon [pipewire]
//       Starts a private PulseAudio daemon, or PipeWire's stack (tools/pulsedaemon.h), prints its
//       PULSE_SERVER address and then obeys lines on standard input: "kill" (SIGKILL by its process
//       id), "start" (again, on the same socket); each answered by one line, "killed" or
//       "started"/"failed". Standard input closed: the daemon is stopped and its folder removed.
//   soundcheck record SOURCE SECONDS RAW STAMPS
//       Waits (at most 20 s) for sound on SOURCE (PULSE_SERVER's), then records SECONDS of it as
//       44100 Hz 16-bit stereo to RAW; STAMPS gets one line per read, "REALTIME FRAMES": the wall
//       clock right after the read and the frames recorded by then.
//   soundcheck locate MP3 RAW STAMPS CAPTIONS
//       Finds pieces of the recording in the track as our decoder decodes it and prints, for each,
//       "offset MS": how much later in the track the recorded sound is than the music time the
//       caption showed at the moment it was played out, with the piece's frame in the track and
//       in the recording ("offset MS track FRAME recorded FRAME"), or "unmatched FRAME". CAPTIONS
//       holds "BEFORE AFTER MUSICSECONDS" lines: a new caption, set between those two wall times.
#include "music/core.h"
#include "tools/pulsedaemon.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int rate = 44100;

double wallSeconds() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

int daemon(SoundServer kind) {
    PulseDaemon daemon(0, kind);
    if (!daemon.start()) return 1;
    std::cout << daemon.server() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "kill") {
            daemon.stop(SIGKILL);
            std::cout << "killed" << std::endl;
        } else if (line == "start") {
            std::cout << (daemon.start() ? "started" : "failed") << std::endl;
        }
    }
    return 0;
}

int record(const char* source, double seconds, const char* rawPath, const char* stampsPath) {
    pa_sample_spec sampleFormat;
    sampleFormat.format = PA_SAMPLE_S16LE;
    sampleFormat.rate = rate;
    sampleFormat.channels = 2;
    // Reads of 5 ms: a read's stamp is late by little more than that.
    constexpr int chunkFrames = rate / 200;
    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.fragsize = chunkFrames * 4;
    attributes.tlength = attributes.prebuf = attributes.minreq = uint32_t(-1);
    int error = 0;
    pa_simple* in = pa_simple_new(nullptr, "soundcheck", PA_STREAM_RECORD, source, "record",
                                  &sampleFormat, nullptr, &attributes, &error);
    if (in == nullptr) {
        std::cerr << "soundcheck: cannot record " << source << ": " << pa_strerror(error) << "\n";
        return 1;
    }
    std::ofstream raw(rawPath, std::ios::binary), stamps(stampsPath);
    std::vector<int16_t> chunk(2 * chunkFrames);
    const double giveUp = wallSeconds() + 20;
    bool heard = false;
    long frames = 0;
    while (frames < long(seconds * rate)) {
        if (pa_simple_read(in, chunk.data(), chunk.size() * 2, &error) < 0) {
            std::cerr << "soundcheck: reading failed: " << pa_strerror(error) << "\n";
            return 1;
        }
        const double stamp = wallSeconds();
        if (!heard) {
            heard = std::any_of(chunk.begin(), chunk.end(), [](int16_t s) { return s != 0; });
            if (!heard && stamp > giveUp) {
                std::cerr << "soundcheck: no sound on " << source << "\n";
                return 1;
            }
            if (!heard) continue;
        }
        raw.write(reinterpret_cast<const char*>(chunk.data()), std::streamsize(chunk.size() * 2));
        frames += chunkFrames;
        stamps.precision(17);
        stamps << stamp << " " << frames << "\n";
    }
    pa_simple_free(in);
    return raw && stamps ? 0 : 1;
}

// Lines of `count` numbers each.
std::vector<std::vector<double>> lines(const char* path, int count) {
    std::vector<std::vector<double>> found;
    std::ifstream in(path);
    std::vector<double> line(count);
    for (;;) {
        for (double& number : line)
            in >> number;
        if (!in) return found;
        found.push_back(line);
    }
}

int locate(const char* mp3, const char* rawPath, const char* stampsPath, const char* captionsPath) {
    std::ifstream file(mp3, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    DecodedAudio track;
    if (!decodeMp3(bytes.data(), bytes.size(), track) || track.rate != rate ||
        track.channels != 2) {
        std::cerr << "soundcheck: " << mp3 << " is not 44100 Hz stereo\n";
        return 1;
    }
    std::ifstream rawIn(rawPath, std::ios::binary);
    std::vector<int16_t> recorded;
    int16_t sample = 0;
    while (rawIn.read(reinterpret_cast<char*>(&sample), 2))
        recorded.push_back(sample);
    const auto stamps = lines(stampsPath, 2), captions = lines(captionsPath, 3);
    if (stamps.empty() || captions.size() < 2) {
        std::cerr << "soundcheck: no stamps or captions\n";
        return 1;
    }
    // A read's stamp is never early: the earliest stamp less the frames read by then is when
    // the first recorded frame was played out.
    double recordStart = 1e300;
    for (const auto& stamp : stamps)
        recordStart = std::min(recordStart, stamp[0] - stamp[1] / rate);
    // A caption is set before the look that found it ends, and the music time runs at one second
    // per second between the looks of a second around a moment: the music time then is at least
    // that moment + max(music - end of the look). Only looks near it count: the clock may stand
    // for a moment elsewhere (a stream starved on a busy machine waits for its sound). A second
    // holds a new caption even on a slow (sanitizer) build, where a frame takes up to half of it.
    const auto captionAt = [&](double moment, double& time) {
        double offset = -1e300;
        for (const auto& caption : captions)
            if (std::fabs(caption[1] - moment) < 0.5)
                offset = std::max(offset, caption[2] - caption[1]);
        time = moment + offset;
        return offset > -1e300;
    };

    // Pieces of 4096 frames every quarter second, past the first half second (the return of the
    // sound settles there), each looked for within three seconds either side of the caption's
    // time by the least sum of squared differences.
    constexpr long piece = 4096;
    const long recordedFrames = long(recorded.size() / 2);
    int found = 0;
    for (long start = rate / 2; start + piece <= recordedFrames; start += rate / 4) {
        const double playedOut = recordStart + double(start) / rate;
        double captionTime = 0;
        if (!captionAt(playedOut, captionTime)) continue;
        const long centre = std::lround(captionTime * rate);
        const long from = std::max(0L, centre - 3 * rate);
        const long to = std::min(long(track.frames()) - piece, centre + 3 * rate);
        double energy = 0;
        for (long i = 0; i < 2 * piece; ++i)
            energy += double(recorded[2 * start + i]) * recorded[2 * start + i];
        if (energy < 1e3 * piece) continue; // too quiet to place
        double best = 1e300;
        long bestAt = -1;
        for (long at = from; at <= to; ++at) {
            const int16_t* a = &track.samples[2 * size_t(at)];
            const int16_t* b = &recorded[2 * size_t(start)];
            double sum = 0;
            for (long i = 0; i < 2 * piece && sum < best; ++i) {
                const double d = double(a[i]) - b[i];
                sum += d * d;
            }
            if (sum < best) {
                best = sum;
                bestAt = at;
            }
        }
        // PulseAudio plays our samples unchanged, and a true match leaves almost nothing; PipeWire
        // resamples them to its graph's rate and back, which leaves up to some 6 % of the
        // piece's energy. A wrong place leaves about twice the piece's energy.
        if (bestAt < 0 || best > 0.1 * energy) {
            std::cout << "unmatched " << start << "\n";
            continue;
        }
        ++found;
        std::printf("offset %.1f track %ld recorded %ld\n",
                    (double(bestAt) / rate - captionTime) * 1000, bestAt, start);
    }
    return found > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "daemon" && argc == 2) return daemon(SoundServer::pulseaudio);
    if (command == "daemon" && argc == 3 && std::string(argv[2]) == "pipewire")
        return daemon(SoundServer::pipewire);
    if (command == "record" && argc == 6)
        return record(argv[2], std::atof(argv[3]), argv[4], argv[5]);
    if (command == "locate" && argc == 6) return locate(argv[2], argv[3], argv[4], argv[5]);
    std::cerr << "usage: soundcheck daemon [pipewire] | record SOURCE SECONDS RAW STAMPS | "
                 "locate MP3 RAW STAMPS CAPTIONS\n";
    return 2;
}

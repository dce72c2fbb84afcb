// Recording speed: the whole track recorded, beside the same frames drawn alone and encoded alone.
#include "app/encoder.h"
#include "app/offscreen.h"
#include "app/record.h"
#include "app/recorder.h"
#include "app/recording.h"
#include "app/startup.h"
#include "bench/bench.h"
#include "music/core.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

// Usage: record_bench [OUT.mp4 [WIDTH HEIGHT FPS [TO]]] - defaults build-bench/record_bench.mp4,
// 1280 720 60, the whole track. Runs from the source root.
//
// A warm-up draws one moment of each second, untimed, so that no pass pays for the software GL's
// first compilation of a scene's shaders. Then three passes over the same frames:
//  - recording: the recorder as --record runs it, drawing on this thread and encoding on its own;
//  - drawing alone: each moment held, drawn and read back, nothing encoded;
//  - encoding alone: the frames drawn in chunks into memory (untimed), then each chunk handed to
//    one encoder and timed until it has taken the last frame of the chunk; the flush at the end
//    counts too.
// Each pass also prints the cores it kept busy (CPU time over wall time): encoding can hide
// behind drawing only where drawing leaves a core idle.
int main(int argc, char** argv) {
    const std::string out = argc > 1 ? argv[1] : "build-bench/record_bench.mp4";
    const int width = argc > 4 ? std::atoi(argv[2]) : 1280;
    const int height = argc > 4 ? std::atoi(argv[3]) : 720;
    const int fps = argc > 4 ? std::atoi(argv[4]) : 60;

    std::ifstream in("Data/Zrax2011.mp3", std::ios::binary);
    const std::vector<uint8_t> mp3((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    DecodedAudio track;
    if (!decodeMp3(mp3.data(), mp3.size(), track)) {
        std::fprintf(stderr, "record_bench: cannot decode Data/Zrax2011.mp3\n");
        return 1;
    }
    RecordingPlan plan;
    plan.to = argc > 5 ? std::atof(argv[5]) : double(track.frames()) / track.rate;
    plan.fps = fps;
    plan.sampleRate = track.rate;
    const long frames = planFrames(plan);

    OffscreenContext context;
    std::string error;
    if (!context.open(width, height, 8, error)) {
        std::fprintf(stderr, "record_bench: %s\n", error.c_str());
        return 1;
    }
    startShow(offscreenShow(width, height));
    const RecordedShow show = recordableShow();
    std::printf("%ld frames of %dx%d at %d fps, %d samples per pixel\n", frames, width, height, fps,
                context.samples());

    EncoderSettings settings;
    settings.path = out;
    settings.width = width;
    settings.height = height;
    settings.fps = fps;
    settings.sampleRate = track.rate;
    settings.channels = track.channels;

    const size_t pictureBytes = size_t(width) * height * 4;
    std::vector<uint8_t> picture(pictureBytes);
    for (double second = plan.from; second < plan.to; second += 1) {
        show.hold(second);
        if (show.draw()) context.readPixels(picture.data());
    }
    // Cores kept busy since `cpuStart`, over `seconds` of wall time.
    const auto cores = [](double cpuStart, double seconds) {
        return (processCpuSeconds() - cpuStart) / seconds;
    };

    // Recording.
    double recordSeconds = 0, recordCores = 0;
    {
        const double cpuStart = processCpuSeconds();
        Encoder encoder;
        if (!encoder.open(settings, error)) {
            std::fprintf(stderr, "record_bench: %s\n", error.c_str());
            return 1;
        }
        const std::atomic<int> never{0};
        const auto start = Clock::now();
        recordFrames(plan, show, context, encoder, track, never, nullptr);
        if (!encoder.finish(error)) {
            std::fprintf(stderr, "record_bench: %s\n", error.c_str());
            return 1;
        }
        recordSeconds = secondsSince(start);
        recordCores = cores(cpuStart, recordSeconds);
    }
    std::printf("recording: %.1f s, %.2f cores busy\n", recordSeconds, recordCores);

    // Drawing alone.
    double drawSeconds = 0, drawCores = 0;
    {
        const double cpuStart = processCpuSeconds();
        const auto start = Clock::now();
        for (long k = 0; k < frames; ++k) {
            show.hold(planMoment(plan, k, 0));
            if (show.draw()) context.readPixels(picture.data());
        }
        drawSeconds = secondsSince(start);
        drawCores = cores(cpuStart, drawSeconds);
    }
    std::printf("drawing alone: %.1f s, %.2f cores busy\n", drawSeconds, drawCores);

    // Encoding alone, chunk by chunk.
    double encodeSeconds = 0, encodeCpu = 0;
    {
        constexpr long chunk = 120;
        std::vector<std::vector<uint8_t>> pictures(chunk, std::vector<uint8_t>(pictureBytes));
        Encoder encoder;
        settings.path = out + ".encode-only.mp4";
        if (!encoder.open(settings, error)) {
            std::fprintf(stderr, "record_bench: %s\n", error.c_str());
            return 1;
        }
        long handed = 0;
        for (long first = 0; first < frames; first += chunk) {
            const long count = std::min(chunk, frames - first);
            for (long i = 0; i < count; ++i) {
                show.hold(planMoment(plan, first + i, 0));
                if (show.draw()) context.readPixels(picture.data());
                pictures[i] = picture;
            }
            const double cpuStart = processCpuSeconds();
            const auto start = Clock::now();
            for (long i = 0; i < count; ++i) {
                const long k = first + i;
                std::memcpy(encoder.beginFrame(), pictures[i].data(), pictureBytes);
                const uint64_t a = planSample(plan, k), b = planSample(plan, k + 1);
                encoder.endFrame(track.samples.data() + a * track.channels, size_t(b - a));
                ++handed;
            }
            // A benchmark may poll: the encoder reports each frame it has taken.
            while (encoder.framesEncoded() < handed)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            encodeSeconds += secondsSince(start);
            encodeCpu += processCpuSeconds() - cpuStart;
        }
        const double cpuStart = processCpuSeconds();
        const auto start = Clock::now();
        if (!encoder.finish(error)) {
            std::fprintf(stderr, "record_bench: %s\n", error.c_str());
            return 1;
        }
        encodeSeconds += secondsSince(start);
        encodeCpu += processCpuSeconds() - cpuStart;
        std::remove(settings.path.c_str());
    }
    std::printf("encoding alone: %.1f s, %.2f cores busy\n", encodeSeconds,
                encodeCpu / encodeSeconds);

    const double slower = std::max(drawSeconds, encodeSeconds);
    printFigure("record", "recording, wall time", recordSeconds, "s");
    printFigure("record", "recording, frames a second", frames / recordSeconds, "fps");
    printFigure("record", "drawing alone, frames a second", frames / drawSeconds, "fps");
    printFigure("record", "encoding alone, frames a second", frames / encodeSeconds, "fps");
    printFigure("record", "recording, cores busy", recordCores, "cores");
    printFigure("record", "drawing alone, cores busy", drawCores, "cores");
    printFigure("record", "encoding alone, cores busy", encodeCpu / encodeSeconds, "cores");
    printFigure("record", "recording over the slower alone (goal <= 1.1)", recordSeconds / slower,
                "x");
    return 0;
}

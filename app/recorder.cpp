// Recording: holding the clock per moment, drawing, averaging moments, and queueing frames.
#include "app/recorder.h"

#include "app/encoder.h"
#include "app/offscreen.h"
#include "music/core.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

namespace {

// Draws one moment; reads it into `picture` when the show presents it, and leaves `picture` as
// it was (the picture presented last) when it does not.
void drawMoment(const RecordedShow& show, OffscreenContext& context, double seconds,
                uint8_t* picture) {
    show.hold(seconds);
    if (show.draw()) context.readPixels(picture);
}

} // namespace

RecordedPart recordFrames(const RecordingPlan& plan, const RecordedShow& show,
                          OffscreenContext& context, Encoder& encoder, const DecodedAudio& track,
                          const std::atomic<int>& stop,
                          const std::function<void(long done)>& progress) {
    assert(track.channels >= 1 && track.rate == plan.sampleRate);
    const size_t pictureBytes = size_t(context.width()) * context.height() * 4;
    std::vector<uint8_t> picture(pictureBytes, 0); // the latest presented moment
    std::vector<uint32_t> sums(plan.blend > 1 ? pictureBytes : 0);

    show.hold(plan.from);
    if (!show.draw()) drawMoment(show, context, show.lastPresented, picture.data());

    const long frames = planFrames(plan);
    const uint64_t trackFrames = track.frames();
    RecordedPart part;
    for (long k = 0; k < frames; ++k) {
        if (stop.load() != 0) {
            part.stopped = true;
            break;
        }
        for (int j = 0; j < plan.blend; ++j) {
            drawMoment(show, context, planMoment(plan, k, j), picture.data());
            if (plan.blend == 1) break;
            if (j == 0)
                std::copy(picture.begin(), picture.end(), sums.begin());
            else
                for (size_t i = 0; i < pictureBytes; ++i)
                    sums[i] += picture[i];
        }
        uint8_t* out = encoder.beginFrame();
        if (out == nullptr) {
            part.failed = true;
            break;
        }
        if (plan.blend == 1) {
            std::memcpy(out, picture.data(), pictureBytes);
        } else {
            const uint32_t n = uint32_t(plan.blend);
            for (size_t i = 0; i < pictureBytes; ++i)
                out[i] = uint8_t((sums[i] + n / 2) / n);
        }
        // The track's sound during this frame; silence where the track has ended.
        const uint64_t first = std::min(planSample(plan, k), trackFrames);
        const uint64_t last = std::min(planSample(plan, k + 1), trackFrames);
        encoder.endFrame(track.samples.data() + first * track.channels, size_t(last - first));
        part.frames = k + 1;
        if (progress) progress(part.frames);
    }
    part.endTime = std::min(plan.to, plan.from + double(part.frames) / plan.fps);
    return part;
}

// The recording's arithmetic: frame times, blend moments, sample ranges and the progress text.
#include "app/recording.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>

long planFrames(const RecordingPlan& plan) {
    assert(plan.to > plan.from && plan.fps > 0);
    // A hair below a whole count is that count: 11.1 s at 60 fps is 666 frames, not 667.
    const double exact = (plan.to - plan.from) * plan.fps;
    return std::max(1L, long(std::ceil(exact - 1e-6)));
}

double planMoment(const RecordingPlan& plan, long k, int j) {
    assert(plan.blend >= 1 && j >= 0 && j < plan.blend);
    return plan.from + (double(k) + double(j) / plan.blend) / plan.fps;
}

uint64_t sampleAtTime(double seconds, int sampleRate) {
    return uint64_t(std::llround(std::max(0.0, seconds) * sampleRate));
}

uint64_t planSample(const RecordingPlan& plan, long k) {
    const uint64_t first = sampleAtTime(plan.from, plan.sampleRate);
    const uint64_t last = sampleAtTime(plan.to, plan.sampleRate);
    const uint64_t offset = uint64_t(k) * uint64_t(plan.sampleRate) / uint64_t(plan.fps);
    return std::min(first + offset, last);
}

std::string clockText(double seconds) {
    const long whole = long(std::max(0.0, seconds) + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string progressText(long done, long total, double elapsedSeconds) {
    char text[96];
    if (done <= 0 || elapsedSeconds <= 0) {
        std::snprintf(text, sizeof text, "frame %ld/%ld", done, total);
        return text;
    }
    const double rate = done / elapsedSeconds;
    std::snprintf(text, sizeof text, "frame %ld/%ld  %.1f fps  %s left", done, total, rate,
                  clockText((total - done) / rate).c_str());
    return text;
}

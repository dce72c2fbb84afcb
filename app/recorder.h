// Recording: the frame loop that draws each moment off-screen and hands the pictures and sound on.
#pragma once

#include "app/recording.h"

#include <atomic>
#include <functional>
#include <string>

class Encoder;
class OffscreenContext;
struct DecodedAudio;

// What the recorder needs of what it records.
struct RecordedShow {
    // Holds the show's clock at a music time: every reading returns it until the next hold, and
    // the spectrum is the one at that time.
    std::function<void(double seconds)> hold;
    // Draws the held moment into the current GL context. False when it presents nothing (the
    // show after its end), in which case the picture presented last stays.
    std::function<bool()> draw;
    // A moment the show presents, drawn first when the part recorded begins with nothing
    // presented (it starts after the show's end); the picture that stands there.
    double lastPresented = 0;
};

struct RecordedPart {
    long frames = 0;      // frames handed to the encoder
    double endTime = 0;   // music time up to which the file holds pictures and sound
    bool stopped = false; // ended early by `stop`
    bool failed = false;  // ended early by the encoder's failure
};

// Records frames 0 .. planFrames(plan) - 1 of `plan`: each the average of plan.blend moments
// (exact integer means), with the track's samples that play during it. The track is the decoded
// music, `plan.sampleRate` being its rate. Stops after the frame in progress once `stop` is
// non-zero. `progress` (may be empty) is called after each frame with the frames done.
RecordedPart recordFrames(const RecordingPlan& plan, const RecordedShow& show,
                          OffscreenContext& context, Encoder& encoder, const DecodedAudio& track,
                          const std::atomic<int>& stop,
                          const std::function<void(long done)>& progress);

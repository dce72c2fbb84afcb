// The show: the frame for the current music time, drawn from a table of time windows.
#pragma once

#include <limits>

class Texture;
class Model;

// The music time held for one frame, in seconds; written by drawFrame() as it begins.
extern float frameTime;

// Draws the frame for the current music time into the current GL framebuffer, reading the
// music clock afresh for each window's bounds. Returns whether the frame is to be presented: a
// fresh reading after drawing lies before the end of the show. Presenting is the caller's.
bool drawFrame();

// ---- Layer primitives ---------------------------------------------------------------------

// Clears depth and puts the modelview at the image plane, z = -1.81 in eye space.
void beginLayerGroup();
// The texture on the full-screen landscape quad of the current layer group.
void drawImageLayer(const Texture* texture);
// The texture on the centred portrait quad; when drifting, raised by 0.01 units per second
// of `frameTime`.
void drawPortraitLayer(const Texture* texture, bool drifting);
// The model lit, 20 units behind the image plane, spinning with `frameTime` and stretched by
// spectrum bins 2 (x) and 0 (z). A group of its own; leaves the image state as it found it.
void drawModelLayer(Model* model);

// ---- The scene table ----------------------------------------------------------------------

enum class LayerKind { none, image, portrait, driftingPortrait, model };

// One layer of a window: the kind and the global slot it draws (a slot's address, so the
// table is constant while the slots are filled at start-up).
struct Layer {
    LayerKind kind = LayerKind::none;
    Texture* const* texture = nullptr; // image kinds
    Model* const* model = nullptr;     // model kind
};

// The first window has no lower bound and is tested against `frameTime` alone.
constexpr double noStart = -std::numeric_limits<double>::infinity();

// One row of the timeline: drawn while start <= music time < end, layers first to last.
struct TimeWindow {
    static constexpr int maxLayers = 3;
    double start; // seconds, inclusive, or noStart
    double end;   // seconds, exclusive
    Layer layers[maxLayers];
};

extern const TimeWindow showTimeline[30]; // in list order; later windows paint over earlier
constexpr double showEnd = 80.0;          // seconds; from here on no frame is presented

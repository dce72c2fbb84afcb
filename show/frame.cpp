// Frame composition: the per-frame state, the window walk, the layer primitives, the end rule.
#include "show/show.h"

#include "assets/assets.h"
#include "music/music.h"

#include <GL/gl.h>

#include <cassert>

float frameTime = 0;

namespace {

// The image plane, and the half-extents of the landscape quad on it: at depth 1.81 under the
// 45-degree 16:9 projection the view is 1.3328 by 0.7497 units, so this quad just overfills it.
constexpr float imagePlaneZ = -1.81f;
constexpr float wideHalfX = 1.34f, wideHalfY = 0.75f;

// Spectrum gains and the drift rate enter the arithmetic as floats widened to double.
constexpr double gainX = 0.8f;          // on spectrum bin 2
constexpr double gainZ = 0.9f;          // on spectrum bin 0
constexpr float driftPerSecond = 0.01f; // units upward per second of music time

// One GL_QUADS quad centred on the current origin, texture t = 0 at its bottom edge.
void drawQuad(float halfX, float halfY) {
    // clang-format off
    glBegin(GL_QUADS);
        glTexCoord2f(0, 0); glVertex3f(-halfX, -halfY, 0);
        glTexCoord2f(1, 0); glVertex3f(halfX, -halfY, 0);
        glTexCoord2f(1, 1); glVertex3f(halfX, halfY, 0);
        glTexCoord2f(0, 1); glVertex3f(-halfX, halfY, 0);
    glEnd();
    // clang-format on
}

void bindTexture(const Texture* texture) {
    assert(texture != nullptr && "texture slots are filled at start-up");
    glBindTexture(GL_TEXTURE_2D, texture->glName);
}

// The first window is tested against the frame's own reading; every other one against fresh
// readings, the second only taken when the start test has passed.
bool windowHolds(const TimeWindow& window) {
    if (window.start == noStart) return frameTime < window.end;
    return musicTime() >= window.start && musicTime() < window.end;
}

void drawWindow(const TimeWindow& window) {
    beginLayerGroup();
    bool groupOpen = true;
    for (const Layer& layer : window.layers) {
        if (layer.kind == LayerKind::none) break;
        if (layer.kind == LayerKind::model) {
            drawModelLayer(*layer.model);
            groupOpen = false; // images after a model lie in a new group, over it
            continue;
        }
        if (!groupOpen) beginLayerGroup();
        groupOpen = true;
        if (layer.kind == LayerKind::image)
            drawImageLayer(*layer.texture);
        else
            drawPortraitLayer(*layer.texture, layer.kind == LayerKind::driftingPortrait);
    }
}

} // namespace

void beginLayerGroup() {
    glClear(GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0, 0, imagePlaneZ);
}

void drawImageLayer(const Texture* texture) {
    bindTexture(texture);
    drawQuad(wideHalfX, wideHalfY);
}

void drawPortraitLayer(const Texture* texture, bool drifting) {
    if (drifting) glTranslatef(0, driftPerSecond * frameTime, 0);
    bindTexture(texture);
    drawQuad(wideHalfY, wideHalfX);
}

void drawModelLayer(Model* model) {
    assert(model != nullptr && "model slots are filled at start-up");
    glEnable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    beginLayerGroup();
    glTranslatef(0, 0, -20);
    // Degrees from the absolute music time, no wrap-around: 150, 100 and 10 per second.
    glRotatef(150 * frameTime, 1, 0, 0);
    glRotatef(100 * frameTime, 0, 1, 0);
    glRotatef(10 * frameTime, 0, 0, 1);
    // Magnitudes are never negative, so the model is only ever stretched.
    model->applyScale(float(1 + gainX * spectrum[2]), 1, float(1 + gainZ * spectrum[0]));
    model->draw();
    // Drawing switches texturing per material and leaves colour material off.
    glDisable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_TEXTURE_2D);
}

bool drawFrame() {
    frameTime = float(musicTime());

    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();

    // The image state. Texels with alpha 0.5 or less touch neither colour nor depth, so what
    // lies behind them on the same plane shows through.
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);

    for (const TimeWindow& window : showTimeline)
        if (windowHolds(window)) drawWindow(window);

    // From the end of the show on the screen keeps the last picture presented.
    return musicTime() < showEnd;
}

// Textured quads drawn under a scissor box around where their texture is not transparent.
#include "standin/gl/internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace legacygl {

// A software rasteriser spends its time per fragment, whether the alpha test then keeps it or
// not: a full-screen card whose lettering covers a tenth of its image cost as much as a full
// picture. So a textured quad is drawn under a scissor box around where its texture's alpha is
// not 0, when nothing else of it can reach the framebuffer: the alpha test fails alpha 0
// (GL_GREATER with a reference of 0 or more, GL_GEQUAL above 0). The quad itself is unchanged,
// so every fragment inside the box is the one the whole quad has, its depth to the last bit.

// Texels kept around the visible ones. A texel reaches 2^(LOD + 2) texels away at most (linear
// sampling of the coarser of two box-filtered levels), so this covers a LOD up to 2. Quads are
// only cut where their sides show the texture at half size or more (a LOD of 1 at most), which
// leaves room for the LOD's spread over a quad seen in perspective.
constexpr int cutMargin = 16;
constexpr float cutLeastScale = 0.5f; // pixels per texel along each side

// Where level 0's alpha is not 0, for the cut: only RGBA bytes read plainly are looked at.
void findVisibleTexels(TextureInfo& info, GLsizei width, GLsizei height, GLenum format, GLenum type,
                       const GLvoid* pixels) {
    info.width = width;
    info.height = height;
    info.x0 = info.y0 = 0;
    info.x1 = width;
    info.y1 = height;
    const State& s = state;
    if (format != GL_RGBA || type != GL_UNSIGNED_BYTE || pixels == nullptr ||
        s.unpackRowLength != 0 || s.unpackSkipRows != 0 || s.unpackSkipPixels != 0 ||
        s.unpackAlignment < 1)
        return;
    const size_t align = size_t(s.unpackAlignment);
    const size_t stride = (size_t(width) * 4 + align - 1) / align * align;
    int x0 = width, x1 = 0, y0 = height, y1 = 0;
    for (int y = 0; y < height; ++y) {
        const auto* row = static_cast<const uint8_t*>(pixels) + size_t(y) * stride;
        int first = 0;
        while (first < width && row[4 * first + 3] == 0)
            ++first;
        if (first == width) continue;
        int last = width - 1;
        while (row[4 * last + 3] == 0)
            --last;
        x0 = std::min(x0, first);
        x1 = std::max(x1, last + 1);
        y0 = std::min(y0, y);
        y1 = y + 1;
    }
    if (x0 >= x1) x0 = x1 = y0 = y1 = 0;
    info.x0 = x0;
    info.x1 = x1;
    info.y0 = y0;
    info.y1 = y1;
}

namespace {

// Corner `v`'s place in the window in pixels; false when it lies behind the eye.
bool windowPosition(const Matrix& mvp, const Vertex& v, float out[2]) {
    float c[4];
    for (int i = 0; i < 4; ++i)
        c[i] = mvp.m[i] * v.position[0] + mvp.m[4 + i] * v.position[1] +
               mvp.m[8 + i] * v.position[2] + mvp.m[12 + i];
    if (!(c[3] > 0)) return false;
    out[0] = float(state.viewportX) + (c[0] / c[3] + 1) * 0.5f * float(state.viewportWidth);
    out[1] = float(state.viewportY) + (c[1] / c[3] + 1) * 0.5f * float(state.viewportHeight);
    return true;
}

float pixelsBetween(const float a[2], const float b[2]) {
    return std::hypot(a[0] - b[0], a[1] - b[1]);
}

// One axis of the cut: a quad spanning [low, high] of texture coordinates, which the texture
// matrix takes to scale * c + offset, on an image `size` texels long whose alpha is 0 outside
// [first, end) in every repeat. Narrows [from, to] to what may show, or says that nothing may.
// An axis whose margin reaches an edge stays whole, as repeat wrapping samples the far edge
// there, and so does one that spans more than one repeat of the image.
bool visibleSpan(float low, float high, float scale, float offset, int first, int end, int size,
                 float& from, float& to) {
    from = low;
    to = high;
    if (first - cutMargin <= 0 || end + cutMargin >= size) return true;
    const float atLow = scale * low + offset, atHigh = scale * high + offset;
    const float lo = std::min(atLow, atHigh), hi = std::max(atLow, atHigh);
    const float repeat = std::floor(lo);
    if (hi - repeat > 1) return true;
    const float keepFrom = repeat + float(first - cutMargin) / float(size);
    const float keepTo = repeat + float(end + cutMargin) / float(size);
    if (keepFrom >= hi || keepTo <= lo) return false;
    // Ends left uncut keep their exact coordinate.
    auto back = [&](float at) {
        return at == atLow ? low : at == atHigh ? high : (at - offset) / scale;
    };
    const float x = back(std::max(lo, keepFrom)), y = back(std::min(hi, keepTo));
    from = std::min(x, y);
    to = std::max(x, y);
    return true;
}

} // namespace

// For a GL_QUADS quad, corners (s0, t0), (s1, t0), (s1, t1), (s0, t1) on a parallelogram: the
// window box, x, y, width and height in pixels, around the part of it that can show; `nothing`
// when no part can.
Cut visibleBox(const Vertex quad[4], int box[4]) {
    Vertex v[4] = {quad[0], quad[1], quad[2], quad[3]};
    const State& s = state;
    const bool failsAlphaZero = (s.alphaFunc == GL_GREATER && s.alphaRef >= 0) ||
                                (s.alphaFunc == GL_GEQUAL && s.alphaRef > 0);
    if (s.lighting || !s.alphaTest || !failsAlphaZero || s.viewportWidth <= 0 ||
        s.viewportHeight <= 0 || !textureApplies())
        return Cut::whole;
    // A texture matrix that scales and moves s and t each on its own (the show's mirrors t).
    const float* tm = s.texture.back().m;
    if (tm[1] != 0 || tm[3] != 0 || tm[4] != 0 || tm[7] != 0 || tm[15] != 1 || tm[0] == 0 ||
        tm[5] == 0)
        return Cut::whole;
    const TextureInfo& image = s.textures.at(s.boundTexture);
    if (image.ownLevels) return Cut::whole;
    const float s0 = v[0].texCoord[0], t0 = v[0].texCoord[1];
    const float s1 = v[2].texCoord[0], t1 = v[2].texCoord[1];
    if (v[1].texCoord[0] != s1 || v[1].texCoord[1] != t0 || v[3].texCoord[0] != s0 ||
        v[3].texCoord[1] != t1 || s0 == s1 || t0 == t1)
        return Cut::whole;
    for (int i = 1; i < 4; ++i)
        if (std::memcmp(v[i].colour, v[0].colour, sizeof v[0].colour) != 0) return Cut::whole;
    for (int k = 0; k < 3; ++k) {
        const float span = std::max(std::fabs(v[2].position[k] - v[0].position[k]),
                                    std::fabs(v[3].position[k] - v[1].position[k]));
        const float skew =
            v[0].position[k] + v[2].position[k] - v[1].position[k] - v[3].position[k];
        if (!(std::fabs(skew) <= 1e-5f * span)) return Cut::whole;
    }
    const Matrix mvp = product(s.projection.back(), s.modelview.back());
    float at[4][2];
    for (int i = 0; i < 4; ++i)
        if (!windowPosition(mvp, v[i], at[i])) return Cut::whole;
    const float pixelsS = std::min(pixelsBetween(at[0], at[1]), pixelsBetween(at[3], at[2]));
    const float pixelsT = std::min(pixelsBetween(at[0], at[3]), pixelsBetween(at[1], at[2]));
    if (pixelsS < cutLeastScale * std::fabs(tm[0] * (s1 - s0)) * float(image.width) ||
        pixelsT < cutLeastScale * std::fabs(tm[5] * (t1 - t0)) * float(image.height))
        return Cut::whole;

    if (image.x0 >= image.x1 || image.y0 >= image.y1) return Cut::nothing;
    float fromS, toS, fromT, toT;
    if (!visibleSpan(std::min(s0, s1), std::max(s0, s1), tm[0], tm[12], image.x0, image.x1,
                     image.width, fromS, toS) ||
        !visibleSpan(std::min(t0, t1), std::max(t0, t1), tm[5], tm[13], image.y0, image.y1,
                     image.height, fromT, toT))
        return Cut::nothing;
    if (fromS == std::min(s0, s1) && toS == std::max(s0, s1) && fromT == std::min(t0, t1) &&
        toT == std::max(t0, t1))
        return Cut::whole;
    // The new corners keep the old ones' order and so the quad's winding.
    const float newS0 = s0 < s1 ? fromS : toS, newS1 = s0 < s1 ? toS : fromS;
    const float newT0 = t0 < t1 ? fromT : toT, newT1 = t0 < t1 ? toT : fromT;
    float origin[3], alongS[3], alongT[3];
    for (int k = 0; k < 3; ++k) {
        origin[k] = v[0].position[k];
        alongS[k] = (v[1].position[k] - origin[k]) / (s1 - s0);
        alongT[k] = (v[3].position[k] - origin[k]) / (t1 - t0);
    }
    auto place = [&](Vertex& corner, float cs, float ct) {
        for (int k = 0; k < 3; ++k)
            corner.position[k] = origin[k] + (cs - s0) * alongS[k] + (ct - t0) * alongT[k];
        corner.texCoord[0] = cs;
        corner.texCoord[1] = ct;
    };
    place(v[0], newS0, newT0);
    place(v[1], newS1, newT0);
    place(v[2], newS1, newT1);
    place(v[3], newS0, newT1);
    // The part's corners lie within the whole quad's, so none is behind the eye. A pixel around
    // the box takes up rounding.
    float least[2] = {1e30f, 1e30f}, most[2] = {-1e30f, -1e30f};
    for (int i = 0; i < 4; ++i) {
        float p[2];
        if (!windowPosition(mvp, v[i], p)) return Cut::whole;
        for (int k = 0; k < 2; ++k) {
            least[k] = std::min(least[k], p[k]);
            most[k] = std::max(most[k], p[k]);
        }
    }
    for (int k = 0; k < 2; ++k) {
        if (!(most[k] - least[k] < 1e8f)) return Cut::whole;
        box[k] = int(std::floor(least[k])) - 1;
        box[2 + k] = int(std::ceil(most[k])) + 1 - box[k];
    }
    return Cut::cut;
}

// Draws what is gathered with the scissor box narrowed to `box`, as far as the program's own
// scissor state allows, and puts that state back.
void drawScissored(const int box[4]) {
    const bool wasOn = es.IsEnabled(GL_SCISSOR_TEST);
    GLint old[4] = {0, 0, 0, 0};
    es.GetIntegerv(GL_SCISSOR_BOX, old);
    int x0 = box[0], y0 = box[1], x1 = box[0] + box[2], y1 = box[1] + box[3];
    if (wasOn) {
        x0 = std::max(x0, old[0]);
        y0 = std::max(y0, old[1]);
        x1 = std::min(x1, old[0] + old[2]);
        y1 = std::min(y1, old[1] + old[3]);
    }
    if (x1 > x0 && y1 > y0) {
        es.Enable(GL_SCISSOR_TEST);
        es.Scissor(x0, y0, x1 - x0, y1 - y0);
        flushBatch();
        es.Scissor(old[0], old[1], old[2], old[3]);
        if (!wasOn) es.Disable(GL_SCISSOR_TEST);
    }
    clearBatch();
}

} // namespace legacygl

// Colours, paint, the anti-aliased path rasteriser, mask operations and canvas compositing.
#include "tools/tools.h"

#include <algorithm>
#include <cassert>
#include <cmath>

// ---- Colours ----------------------------------------------------------------------------------

Colour hex(uint32_t rgb, float alpha) {
    return Colour{float((rgb >> 16) & 255) / 255, float((rgb >> 8) & 255) / 255,
                  float(rgb & 255) / 255, alpha};
}

Colour mix(const Colour& from, const Colour& to, float t) {
    return Colour{from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
                  from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

Colour withAlpha(Colour c, float alpha) {
    c.a = alpha;
    return c;
}

Colour colourAt(const Stops& stops, float t) {
    assert(!stops.empty());
    if (t <= stops.front().first) return stops.front().second;
    for (size_t i = 1; i < stops.size(); ++i) {
        if (t <= stops[i].first) {
            const float span = stops[i].first - stops[i - 1].first;
            const float along = span > 0 ? (t - stops[i - 1].first) / span : 1;
            return mix(stops[i - 1].second, stops[i].second, along);
        }
    }
    return stops.back().second;
}

// xorshift32: small, fast and the same everywhere.
float Random::next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return float(state >> 8) / float(1u << 24);
}

// ---- Paints -----------------------------------------------------------------------------------

Paint solid(Colour colour) {
    return [colour](float, float) { return colour; };
}

Paint linear(Point from, Point to, Stops stops) {
    const float dx = to.x - from.x, dy = to.y - from.y;
    const float length2 = std::max(dx * dx + dy * dy, 1e-6f);
    return [=](float x, float y) {
        return colourAt(stops, ((x - from.x) * dx + (y - from.y) * dy) / length2);
    };
}

Paint vertical(float top, float bottom, Stops stops) {
    return linear({0, top}, {0, bottom}, std::move(stops));
}

Paint radial(Point centre, float radius, Stops stops) {
    return [=](float x, float y) {
        return colourAt(stops, std::hypot(x - centre.x, y - centre.y) / radius);
    };
}

// ---- Rasteriser -------------------------------------------------------------------------------

namespace {

struct Edge {
    float x0, y0, x1, y1; // y0 < y1
    int winding;
};

// Adds `weight` times the covered length of [from, to) to each pixel of the row.
void addSpan(std::vector<float>& row, float from, float to, float weight) {
    const float width = float(row.size());
    from = std::clamp(from, 0.0f, width);
    to = std::clamp(to, 0.0f, width);
    if (to <= from) return;
    const int first = int(from), last = int(to);
    if (first == last) {
        row[first] += (to - from) * weight;
        return;
    }
    row[first] += (float(first + 1) - from) * weight;
    for (int x = first + 1; x < last; ++x)
        row[x] += weight;
    if (last < int(row.size())) row[last] += (to - float(last)) * weight;
}

} // namespace

// Four sample lines per pixel row, each crossing counted exactly along x: smooth edges at a
// fraction of the cost of full supersampling.
Mask rasterise(const Path& path, int canvasWidth, int canvasHeight) {
    Mask mask;
    const Box box = bounds(path);
    mask.left = std::max(0, int(std::floor(box.left)));
    mask.top = std::max(0, int(std::floor(box.top)));
    const int right = std::min(canvasWidth, int(std::ceil(box.right)) + 1);
    const int bottom = std::min(canvasHeight, int(std::ceil(box.bottom)) + 1);
    if (right <= mask.left || bottom <= mask.top) return mask;
    mask.width = right - mask.left;
    mask.height = bottom - mask.top;
    mask.cover.assign(size_t(mask.width) * mask.height, 0);

    std::vector<Edge> edges;
    for (const Contour& contour : path.contours) {
        for (size_t i = 0; i < contour.size(); ++i) {
            const Point a = contour[i], b = contour[(i + 1) % contour.size()];
            if (a.y == b.y) continue;
            if (a.y < b.y)
                edges.push_back({a.x, a.y, b.x, b.y, 1});
            else
                edges.push_back({b.x, b.y, a.x, a.y, -1});
        }
    }

    constexpr int samples = 4;
    std::vector<std::pair<float, int>> crossings;
    std::vector<float> row(mask.width);
    for (int y = 0; y < mask.height; ++y) {
        std::fill(row.begin(), row.end(), 0.0f);
        for (int s = 0; s < samples; ++s) {
            const float sy = float(mask.top + y) + (float(s) + 0.5f) / samples;
            crossings.clear();
            for (const Edge& e : edges) {
                if (sy < e.y0 || sy >= e.y1) continue;
                const float x = e.x0 + (sy - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0);
                crossings.push_back({x - float(mask.left), e.winding});
            }
            std::sort(crossings.begin(), crossings.end());
            int winding = 0;
            for (size_t i = 0; i + 1 < crossings.size(); ++i) {
                winding += crossings[i].second;
                if (winding != 0)
                    addSpan(row, crossings[i].first, crossings[i + 1].first, 1.0f / samples);
            }
        }
        for (int x = 0; x < mask.width; ++x)
            mask.cover[size_t(y) * mask.width + x] = std::min(row[x], 1.0f);
    }
    return mask;
}

// ---- Mask operations --------------------------------------------------------------------------

float Mask::at(int x, int y) const {
    x -= left;
    y -= top;
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return cover[size_t(y) * width + x];
}

namespace {

Mask emptyMask(int left, int top, int width, int height) {
    Mask m;
    m.left = left;
    m.top = top;
    m.width = std::max(width, 0);
    m.height = std::max(height, 0);
    m.cover.assign(size_t(m.width) * m.height, 0);
    return m;
}

} // namespace

// A pixel `radius` away from a covered one is covered in full, one a pixel further not at all.
Mask grown(const Mask& mask, float radius) {
    const int reach = int(std::ceil(radius)) + 1;
    Mask out = emptyMask(mask.left - reach, mask.top - reach, mask.width + 2 * reach,
                         mask.height + 2 * reach);
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            const float weight =
                std::clamp(radius + 1 - std::hypot(float(dx), float(dy)), 0.0f, 1.0f);
            if (weight <= 0) continue;
            for (int y = 0; y < mask.height; ++y) {
                const float* src = &mask.cover[size_t(y) * mask.width];
                float* dst = &out.cover[size_t(y + reach + dy) * out.width + reach + dx];
                for (int x = 0; x < mask.width; ++x)
                    dst[x] = std::max(dst[x], src[x] * weight);
            }
        }
    return out;
}

Mask blurred(const Mask& mask, int radius) {
    if (radius <= 0) return mask;
    const int reach = 3 * radius;
    Mask out = emptyMask(mask.left - reach, mask.top - reach, mask.width + 2 * reach,
                         mask.height + 2 * reach);
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            out.cover[size_t(y + reach) * out.width + x + reach] =
                mask.cover[size_t(y) * mask.width + x];

    // A running box sum along rows, then along columns, three times over.
    const float scale = 1.0f / float(2 * radius + 1);
    std::vector<float> line;
    auto boxPass = [&](int count, int length, size_t stride, size_t step) {
        line.resize(length);
        for (int i = 0; i < count; ++i) {
            float* p = &out.cover[size_t(i) * stride];
            for (int k = 0; k < length; ++k)
                line[k] = p[size_t(k) * step];
            float sum = 0;
            for (int k = 0; k < std::min(radius, length); ++k)
                sum += line[k];
            for (int k = 0; k < length; ++k) {
                if (k + radius < length) sum += line[k + radius];
                if (k - radius - 1 >= 0) sum -= line[k - radius - 1];
                p[size_t(k) * step] = sum * scale;
            }
        }
    };
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(out.height, out.width, out.width, 1);
        boxPass(out.width, out.height, 1, out.width);
    }
    return out;
}

Mask shifted(Mask mask, int dx, int dy) {
    mask.left += dx;
    mask.top += dy;
    return mask;
}

Mask extruded(const Mask& mask, int dx, int dy) {
    const int steps = std::max(std::abs(dx), std::abs(dy));
    Mask out = mask;
    for (int i = 1; i <= steps; ++i)
        out = united(out, shifted(mask, dx * i / steps, dy * i / steps));
    return out;
}

namespace {

template <typename Combine>
Mask combined(const Mask& a, const Mask& b, int left, int top, int right, int bottom,
              Combine combine) {
    Mask out = emptyMask(left, top, right - left, bottom - top);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            out.cover[size_t(y) * out.width + x] =
                combine(a.at(left + x, top + y), b.at(left + x, top + y));
    return out;
}

} // namespace

Mask united(const Mask& a, const Mask& b) {
    if (a.cover.empty()) return b;
    if (b.cover.empty()) return a;
    return combined(a, b, std::min(a.left, b.left), std::min(a.top, b.top),
                    std::max(a.left + a.width, b.left + b.width),
                    std::max(a.top + a.height, b.top + b.height),
                    [](float p, float q) { return std::max(p, q); });
}

Mask intersected(const Mask& a, const Mask& b) {
    return combined(a, b, std::max(a.left, b.left), std::max(a.top, b.top),
                    std::min(a.left + a.width, b.left + b.width),
                    std::min(a.top + a.height, b.top + b.height),
                    [](float p, float q) { return p * q; });
}

Mask subtracted(const Mask& a, const Mask& b) {
    return combined(a, b, a.left, a.top, a.left + a.width, a.top + a.height,
                    [](float p, float q) { return p * (1 - q); });
}

// ---- Canvas -----------------------------------------------------------------------------------

namespace {

void blendPixel(Colour& dst, const Colour& src, float coverage) {
    const float a = src.a * coverage;
    const float keep = 1 - a;
    dst.r = src.r * a + dst.r * keep;
    dst.g = src.g * a + dst.g * keep;
    dst.b = src.b * a + dst.b * keep;
    dst.a = a + dst.a * keep;
}

} // namespace

void paint(Canvas& canvas, const Mask& mask, const Paint& paint, float opacity) {
    const int x0 = std::max(mask.left, 0), y0 = std::max(mask.top, 0);
    const int x1 = std::min(mask.left + mask.width, canvas.width);
    const int y1 = std::min(mask.top + mask.height, canvas.height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            float coverage = mask.cover[size_t(y - mask.top) * mask.width + x - mask.left];
            if (canvas.clip != nullptr) coverage *= canvas.clip->at(x, y);
            if (coverage <= 0) continue;
            blendPixel(canvas.pixels[size_t(y) * canvas.width + x],
                       paint(float(x) + 0.5f, float(y) + 0.5f), coverage * opacity);
        }
}

void fill(Canvas& canvas, const Path& path, const Paint& paint_, float opacity) {
    paint(canvas, rasterise(path, canvas.width, canvas.height), paint_, opacity);
}

void fill(Canvas& canvas, const Paint& paint) {
    fill(canvas, rect(0, 0, float(canvas.width), float(canvas.height)), paint);
}

Colour pixelAt(const Canvas& canvas, int x, int y) {
    const Colour& p = canvas.pixels[size_t(y) * canvas.width + x];
    if (p.a <= 0) return Colour{0, 0, 0, 0};
    return Colour{p.r / p.a, p.g / p.a, p.b / p.a, p.a};
}

void paintCanvas(Canvas& canvas, const Canvas& picture, float x, float y, const Mask& mask) {
    const int ox = int(std::lround(x)), oy = int(std::lround(y));
    paint(canvas, mask, [&](float px, float py) {
        const int sx = int(px) - ox, sy = int(py) - oy;
        if (sx < 0 || sy < 0 || sx >= picture.width || sy >= picture.height)
            return Colour{0, 0, 0, 0};
        return pixelAt(picture, sx, sy);
    });
}

Style styled(Paint fill, Colour outline, float outlineWidth) {
    Style style;
    style.fill = std::move(fill);
    style.outline = outline;
    style.outlineWidth = outlineWidth;
    return style;
}

void draw(Canvas& canvas, const Path& path, const Style& style) {
    const Mask body = rasterise(path, canvas.width, canvas.height);
    if (body.cover.empty()) return;
    const Mask outer = style.outlineWidth > 0 ? grown(body, style.outlineWidth) : body;
    if (style.shadow.a > 0) {
        Mask shadow = style.extrude ? extruded(outer, style.shadowX, style.shadowY)
                                    : shifted(outer, style.shadowX, style.shadowY);
        paint(canvas, blurred(shadow, style.shadowBlur), solid(style.shadow));
    }
    if (style.outlineWidth > 0 && style.outline.a > 0) paint(canvas, outer, solid(style.outline));
    paint(canvas, body, style.fill);
}

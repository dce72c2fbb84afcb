// Path building: rectangles, ellipses, stars, thick lines, curves and transformations.
#include "tools/tools.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float pi = 3.14159265358979f;

// Twice the signed area; positive for contours that turn clockwise on screen (y down).
float signedArea(const Contour& c) {
    float sum = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        const Point a = c[i], b = c[(i + 1) % c.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum;
}

// Every outer contour winds clockwise, so that paths added together unite.
Contour clockwise(Contour c) {
    if (signedArea(c) < 0) std::reverse(c.begin(), c.end());
    return c;
}

Path single(Contour c) {
    Path p;
    p.contours.push_back(clockwise(std::move(c)));
    return p;
}

// Enough segments that no chord strays a quarter pixel from the true curve.
int segmentsFor(float radius) {
    return std::clamp(int(std::ceil(2 * pi / std::acos(1 - 0.25f / std::max(radius, 1.0f)))), 12,
                      360);
}

} // namespace

Path& operator+=(Path& path, const Path& more) {
    path.contours.insert(path.contours.end(), more.contours.begin(), more.contours.end());
    return path;
}

Path operator+(Path path, const Path& more) {
    return path += more;
}

Box bounds(const Path& path) {
    Box box{1e30f, 1e30f, -1e30f, -1e30f};
    for (const Contour& c : path.contours)
        for (const Point& p : c) {
            box.left = std::min(box.left, p.x);
            box.top = std::min(box.top, p.y);
            box.right = std::max(box.right, p.x);
            box.bottom = std::max(box.bottom, p.y);
        }
    if (box.left > box.right) return Box{};
    return box;
}

Path rect(float x, float y, float width, float height) {
    return single({{x, y}, {x + width, y}, {x + width, y + height}, {x, y + height}});
}

Path roundRect(float x, float y, float width, float height, float radius) {
    radius = std::min({radius, width / 2, height / 2});
    const int quarter = std::max(3, segmentsFor(radius) / 4);
    const Point centres[4] = {{x + width - radius, y + radius},
                              {x + width - radius, y + height - radius},
                              {x + radius, y + height - radius},
                              {x + radius, y + radius}};
    Contour c;
    for (int corner = 0; corner < 4; ++corner) {
        const float start = -pi / 2 + float(corner) * pi / 2;
        for (int i = 0; i <= quarter; ++i) {
            const float a = start + float(i) / float(quarter) * pi / 2;
            c.push_back({centres[corner].x + radius * std::cos(a),
                         centres[corner].y + radius * std::sin(a)});
        }
    }
    return single(std::move(c));
}

Path ellipse(float cx, float cy, float rx, float ry, float rotation) {
    const int n = segmentsFor(std::max(rx, ry));
    const float cr = std::cos(rotation), sr = std::sin(rotation);
    Contour c;
    for (int i = 0; i < n; ++i) {
        const float a = 2 * pi * float(i) / float(n);
        const float x = rx * std::cos(a), y = ry * std::sin(a);
        c.push_back({cx + x * cr - y * sr, cy + x * sr + y * cr});
    }
    return single(std::move(c));
}

Path circle(float cx, float cy, float r) {
    return ellipse(cx, cy, r, r);
}

Path ring(float cx, float cy, float outer, float inner) {
    Path p = circle(cx, cy, outer);
    Contour hole = circle(cx, cy, inner).contours[0];
    std::reverse(hole.begin(), hole.end());
    p.contours.push_back(std::move(hole));
    return p;
}

Path polygon(std::vector<Point> points) {
    return single(std::move(points));
}

Path star(float cx, float cy, float outer, float inner, int points, float rotation) {
    Contour c;
    for (int i = 0; i < 2 * points; ++i) {
        const float a = rotation - pi / 2 + pi * float(i) / float(points);
        const float r = i % 2 == 0 ? outer : inner;
        c.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return single(std::move(c));
}

Path line(Point from, Point to, float width) {
    const float dx = to.x - from.x, dy = to.y - from.y;
    const float length = std::max(std::hypot(dx, dy), 1e-4f);
    const float nx = -dy / length * width / 2, ny = dx / length * width / 2;
    Path p = polygon({{from.x + nx, from.y + ny},
                      {to.x + nx, to.y + ny},
                      {to.x - nx, to.y - ny},
                      {from.x - nx, from.y - ny}});
    p += circle(from.x, from.y, width / 2);
    p += circle(to.x, to.y, width / 2);
    return p;
}

Path polyline(const std::vector<Point>& points, float width) {
    Path p;
    for (size_t i = 0; i + 1 < points.size(); ++i)
        p += line(points[i], points[i + 1], width);
    return p;
}

Path arcBand(float cx, float cy, float outer, float inner, float from, float to) {
    const int n = std::max(2, int(float(segmentsFor(outer)) * std::abs(to - from) / (2 * pi)));
    Contour c;
    for (int i = 0; i <= n; ++i) {
        const float a = from + (to - from) * float(i) / float(n);
        c.push_back({cx + outer * std::cos(a), cy + outer * std::sin(a)});
    }
    for (int i = n; i >= 0; --i) {
        const float a = from + (to - from) * float(i) / float(n);
        c.push_back({cx + inner * std::cos(a), cy + inner * std::sin(a)});
    }
    return single(std::move(c));
}

std::vector<Point> curve(Point from, Point control, Point to, int steps) {
    std::vector<Point> points;
    for (int i = 0; i <= steps; ++i) {
        const float t = float(i) / float(steps), u = 1 - t;
        points.push_back({u * u * from.x + 2 * u * t * control.x + t * t * to.x,
                          u * u * from.y + 2 * u * t * control.y + t * t * to.y});
    }
    return points;
}

Path mapped(Path path, const std::function<Point(Point)>& map) {
    for (Contour& c : path.contours)
        for (Point& p : c)
            p = map(p);
    return path;
}

Path translated(Path path, float dx, float dy) {
    return mapped(std::move(path), [=](Point p) { return Point{p.x + dx, p.y + dy}; });
}

Path scaled(Path path, float sx, float sy, Point about) {
    path = mapped(std::move(path), [=](Point p) {
        return Point{about.x + (p.x - about.x) * sx, about.y + (p.y - about.y) * sy};
    });
    // A mirror turns every contour around; turning them back keeps the path adding up.
    if (sx * sy < 0)
        for (Contour& c : path.contours)
            std::reverse(c.begin(), c.end());
    return path;
}

Path rotated(Path path, float radians, Point about) {
    const float c = std::cos(radians), s = std::sin(radians);
    return mapped(std::move(path), [=](Point p) {
        const float x = p.x - about.x, y = p.y - about.y;
        return Point{about.x + x * c - y * s, about.y + x * s + y * c};
    });
}

Path centredAt(Path path, float cx, float cy) {
    const Box box = bounds(path);
    return translated(std::move(path), cx - (box.left + box.right) / 2,
                      cy - (box.top + box.bottom) / 2);
}

// Figures shared by several pictures: Glimmox, Cart, the logo, a television, trees, a horse.
#include "tools/tools.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float pi = 3.14159265358979f;
const Colour ink = hex(0x1d1030); // every cartoon outline

Colour darker(Colour c, float by) {
    return mix(c, Colour{0, 0, 0, c.a}, by);
}
Colour lighter(Colour c, float by) {
    return mix(c, Colour{1, 1, 1, c.a}, by);
}

// A shape lit from the upper left: light spot, own colour, darker rim.
Paint shaded(Colour base, Box box) {
    const Point light{box.left + box.width() * 0.35f, box.top + box.height() * 0.3f};
    return radial(light, std::max(box.width(), box.height()) * 0.85f,
                  {{0, lighter(base, 0.35f)}, {0.55f, base}, {1, darker(base, 0.35f)}});
}

void cartoon(Canvas& canvas, const Path& path, Colour base, float outline) {
    draw(canvas, path, styled(shaded(base, bounds(path)), ink, outline));
}

void eye(Canvas& canvas, float cx, float cy, float rx, float ry, float gaze, float outline) {
    draw(canvas, ellipse(cx, cy, rx, ry), styled(solid(hex(0xffffff)), ink, outline));
    const float r = rx * 0.5f;
    const float px = cx + gaze * (rx - r) * 0.8f, py = cy + ry * 0.15f;
    fill(canvas, circle(px, py, r), solid(ink));
    fill(canvas, circle(px - r * 0.35f, py - r * 0.4f, r * 0.32f), solid(hex(0xffffff)));
}

} // namespace

void drawTitle(Canvas& canvas, const Path& text, Paint fill, Colour outline, float outlineWidth,
               int depth) {
    Style style = styled(std::move(fill), outline, outlineWidth);
    style.shadow = darker(outline, 0.3f);
    style.shadowX = depth;
    style.shadowY = depth;
    style.extrude = true;
    draw(canvas, text, style);
}

void drawGlimmox(Canvas& canvas, float cx, float cy, float h, const GlimmoxLook& look) {
    const float w = std::max(2.0f, 0.018f * h); // outline
    const Colour steel = hex(0xaab4c4);

    // Antennae, then arms and feet, all behind the body.
    for (int side = -1; side <= 1; side += 2) {
        const Point root{cx + side * 0.12f * h, cy - 0.42f * h};
        const Point tip{cx + side * 0.3f * h, cy - 0.8f * h};
        const bool metal = look.cyborg && side > 0;
        const auto stalk = metal ? std::vector<Point>{root, tip}
                                 : curve(root, {cx + side * 0.1f * h, cy - 0.7f * h}, tip);
        draw(canvas, polyline(stalk, 0.035f * h), styled(solid(metal ? steel : look.body), ink, w));
        cartoon(canvas, circle(tip.x, tip.y, 0.065f * h), metal ? hex(0xff2a2a) : hex(0xff5fa2), w);
    }
    for (int side = -1; side <= 1; side += 2) {
        const Point shoulder{cx + side * 0.33f * h, cy + 0.04f * h};
        const Point hand = look.armsUp ? Point{cx + side * 0.6f * h, cy - 0.32f * h}
                                       : Point{cx + side * 0.56f * h, cy + 0.26f * h};
        draw(canvas, line(shoulder, hand, 0.09f * h), styled(solid(look.body), ink, w));
        cartoon(canvas, circle(hand.x, hand.y, 0.075f * h), look.body, w);
        cartoon(canvas, ellipse(cx + side * 0.17f * h, cy + 0.49f * h, 0.15f * h, 0.075f * h),
                darker(look.body, 0.25f), w);
    }

    const Path body = ellipse(cx, cy, 0.4f * h, 0.5f * h);
    cartoon(canvas, body, look.body, w);
    if (look.cyborg) {
        // The right half of the body is a steel shell with a seam of rivets.
        const Mask half =
            intersected(rasterise(body, canvas.width, canvas.height),
                        rasterise(rect(cx, cy - h, h, 2 * h), canvas.width, canvas.height));
        paint(canvas, half, shaded(steel, bounds(body)));
        fill(canvas, rect(cx - 0.01f * h, cy - 0.5f * h, 0.02f * h, h), solid(ink));
        for (int i = -3; i <= 3; ++i)
            cartoon(canvas, circle(cx + 0.05f * h, cy + float(i) * 0.12f * h, 0.018f * h), steel,
                    1);
    }
    fill(canvas, ellipse(cx, cy + 0.2f * h, 0.24f * h, 0.22f * h),
         solid(look.cyborg ? withAlpha(look.belly, 0.85f) : look.belly));

    // Face: cheeks, eyes, mouth.
    for (int side = -1; side <= 1; side += 2)
        fill(canvas, ellipse(cx + side * 0.26f * h, cy + 0.03f * h, 0.06f * h, 0.035f * h),
             solid(withAlpha(hex(0xff7aa8), 0.6f)));
    eye(canvas, cx - 0.14f * h, cy - 0.15f * h, 0.11f * h, 0.14f * h, look.gaze, w);
    if (look.cyborg) {
        const Point lens{cx + 0.14f * h, cy - 0.15f * h};
        fill(canvas, circle(lens.x, lens.y, 0.2f * h),
             radial(lens, 0.2f * h, {{0, hex(0xff3030, 0.8f)}, {1, hex(0xff3030, 0)}}));
        draw(canvas, circle(lens.x, lens.y, 0.1f * h),
             styled(radial(lens, 0.1f * h,
                           {{0, hex(0xffe0e0)}, {0.35f, hex(0xff2020)}, {1, hex(0x800000)}}),
                    hex(0x30343c), 0.03f * h));
    } else {
        eye(canvas, cx + 0.14f * h, cy - 0.15f * h, 0.11f * h, 0.14f * h, look.gaze, w);
    }
    if (look.mouthOpen) {
        draw(canvas, ellipse(cx, cy + 0.1f * h, 0.11f * h, 0.09f * h),
             styled(solid(hex(0x8a1438)), ink, w));
        fill(canvas, ellipse(cx, cy + 0.16f * h, 0.06f * h, 0.03f * h), solid(hex(0xff6f8f)));
    } else {
        fill(canvas, arcBand(cx, cy - 0.02f * h, 0.18f * h, 0.15f * h, 0.2f * pi, 0.8f * pi),
             solid(ink));
    }
}

void drawCart(Canvas& canvas, float cx, float ground, float w, int number) {
    const float o = std::max(2.0f, 0.02f * w);
    const Colour wood = hex(0xc9803c);

    // The shafts reach out behind, left.
    for (int i = 0; i < 2; ++i) {
        const float y = ground - (0.56f - 0.08f * float(i)) * w;
        draw(canvas, line({cx - 0.45f * w, y}, {cx - 1.0f * w, y + 0.12f * w}, 0.05f * w),
             styled(solid(darker(wood, 0.2f)), ink, o));
    }
    const Path box = polygon({{cx - 0.56f * w, ground - 0.86f * w},
                              {cx + 0.56f * w, ground - 0.86f * w},
                              {cx + 0.46f * w, ground - 0.3f * w},
                              {cx - 0.46f * w, ground - 0.3f * w}});
    draw(canvas, box,
         styled(vertical(ground - 0.86f * w, ground - 0.3f * w,
                         {{0, lighter(wood, 0.2f)}, {1, darker(wood, 0.2f)}}),
                ink, o));
    for (int i = 1; i < 4; ++i) {
        const float y = ground - 0.86f * w + float(i) * 0.14f * w;
        fill(canvas, rect(cx - 0.52f * w, y, 1.04f * w, 0.012f * w),
             solid(withAlpha(darker(wood, 0.5f), 0.7f)));
    }
    fill(canvas, rect(cx - 0.6f * w, ground - 0.9f * w, 1.2f * w, 0.07f * w), solid(ink));
    fill(canvas, rect(cx - 0.58f * w, ground - 0.89f * w, 1.16f * w, 0.05f * w),
         solid(darker(wood, 0.3f)));

    // A face looking ahead, and the race number behind it.
    eye(canvas, cx + 0.12f * w, ground - 0.64f * w, 0.085f * w, 0.11f * w, 0.8f, o);
    eye(canvas, cx + 0.34f * w, ground - 0.64f * w, 0.085f * w, 0.11f * w, 0.8f, o);
    fill(canvas,
         arcBand(cx + 0.23f * w, ground - 0.58f * w, 0.16f * w, 0.13f * w, 0.2f * pi, 0.8f * pi),
         solid(ink));
    if (number > 0) {
        const Point badge{cx - 0.27f * w, ground - 0.58f * w};
        draw(canvas, circle(badge.x, badge.y, 0.17f * w), styled(solid(hex(0xffffff)), ink, o));
        fill(canvas, caption(std::to_string(number), Typeface::Sans, 0.26f * w, badge.x, badge.y),
             solid(hex(0xd0202a)));
    }

    // Spoked wheels in front of the box.
    for (int side = -1; side <= 1; side += 2) {
        const float wx = cx + side * 0.3f * w, r = 0.22f * w, wy = ground - r;
        draw(canvas, ring(wx, wy, r, 0.78f * r), styled(solid(hex(0x5a3418)), ink, o));
        for (int k = 0; k < 8; ++k) {
            const float a = float(k) * pi / 4 + 0.2f;
            draw(canvas,
                 line({wx, wy}, {wx + 0.8f * r * std::cos(a), wy + 0.8f * r * std::sin(a)},
                      0.06f * r),
                 styled(solid(hex(0x8a5428)), ink, 1));
        }
        cartoon(canvas, circle(wx, wy, 0.18f * r), hex(0xd8b040), o);
    }
}

void drawOstravelLogo(Canvas& canvas, float cx, float cy, float width) {
    const float s = width / 1000; // designed 1000 pixels wide
    // An orbit ring tilted behind the letters, its front arc drawn again over them.
    auto band = [&](float from, float to) {
        return mapped(arcBand(0, 0, 470 * s, 430 * s, from, to), [&](Point p) {
            const float x = p.x, y = p.y * 150 / 450;
            const float c = std::cos(-0.18f), sn = std::sin(-0.18f);
            return Point{cx + x * c - y * sn, cy + x * sn + y * c};
        });
    };
    const Paint orbitPaint =
        linear({cx - 470 * s, cy}, {cx + 470 * s, cy},
               {{0, hex(0x36d6ff)}, {0.5f, hex(0xb44cff)}, {1, hex(0x36d6ff)}});
    draw(canvas, band(pi, 2 * pi), styled(orbitPaint, ink, 5 * s));
    fill(canvas, star(cx + 430 * s, cy - 150 * s, 52 * s, 20 * s, 4), solid(ink));
    fill(canvas, star(cx + 430 * s, cy - 150 * s, 42 * s, 14 * s, 4), solid(hex(0xfff4a8)));

    const Path text = caption("OSTRAVEL", Typeface::Sans, 190 * s, cx, cy, 880 * s);
    const Box box = bounds(text);
    drawTitle(canvas, text,
              vertical(box.top, box.bottom,
                       {{0, hex(0xfff27a)}, {0.5f, hex(0xffa51f)}, {1, hex(0xff3d6e)}}),
              ink, 9 * s, int(std::lround(12 * s)));
    // A gloss stripe across the upper half of the letters.
    const Mask letters = rasterise(text, canvas.width, canvas.height);
    const Mask upper =
        intersected(letters, rasterise(rect(box.left, box.top, box.width(), box.height() * 0.42f),
                                       canvas.width, canvas.height));
    paint(canvas, upper, solid(hex(0xffffff)), 0.28f);
    draw(canvas, band(0.05f, pi - 0.05f), styled(orbitPaint, ink, 5 * s));
}

void drawTelevision(Canvas& canvas, Box box, const std::function<void(Canvas&)>& screen) {
    const float w = box.width(), h = box.height();
    const float o = std::max(3.0f, 0.008f * w);
    // Rabbit-ear antenna and little legs.
    const Point base{box.left + 0.42f * w, box.top};
    draw(canvas, line(base, {base.x - 0.18f * w, box.top - 0.32f * h}, 0.012f * w),
         styled(solid(hex(0x9aa0a8)), ink, o / 2));
    draw(canvas, line(base, {base.x + 0.16f * w, box.top - 0.36f * h}, 0.012f * w),
         styled(solid(hex(0x9aa0a8)), ink, o / 2));
    cartoon(canvas, ellipse(base.x, box.top, 0.07f * w, 0.04f * w), hex(0x4a4a52), o);
    for (int side = -1; side <= 1; side += 2) {
        const float x = box.left + w / 2 + side * 0.36f * w;
        draw(canvas,
             line({x, box.bottom - 0.02f * h}, {x + side * 0.03f * w, box.bottom + 0.08f * h},
                  0.025f * w),
             styled(solid(hex(0x3a2414)), ink, o / 2));
    }
    const Colour walnut = hex(0x8c4e24);
    draw(canvas, roundRect(box.left, box.top, w, h, 0.06f * w),
         styled(linear({box.left, box.top}, {box.right, box.bottom},
                       {{0, lighter(walnut, 0.15f)}, {1, darker(walnut, 0.35f)}}),
                ink, o));

    // Screen on the left, a panel of knobs and a speaker grille on the right.
    const Box glass{box.left + 0.05f * w, box.top + 0.08f * h, box.left + 0.74f * w,
                    box.bottom - 0.08f * h};
    const Path screenPath =
        roundRect(glass.left, glass.top, glass.width(), glass.height(), 0.1f * glass.height());
    draw(canvas,
         roundRect(glass.left - 0.015f * w, glass.top - 0.015f * w, glass.width() + 0.03f * w,
                   glass.height() + 0.03f * w, 0.12f * glass.height()),
         styled(solid(hex(0x2a2a30)), ink, o / 2));
    const Mask clip = rasterise(screenPath, canvas.width, canvas.height);
    canvas.clip = &clip;
    screen(canvas);
    // Scan lines and the bulge of the tube.
    for (float y = glass.top; y < glass.bottom; y += 4)
        fill(canvas, rect(glass.left, y, glass.width(), 1.5f), solid(hex(0x000000, 0.12f)));
    fill(canvas, screenPath,
         radial({glass.left + glass.width() / 2, glass.top + glass.height() / 2},
                glass.width() * 0.62f, {{0.55f, hex(0x000000, 0)}, {1, hex(0x000000, 0.55f)}}));
    fill(canvas,
         ellipse(glass.left + 0.3f * glass.width(), glass.top + 0.2f * glass.height(),
                 0.22f * glass.width(), 0.07f * glass.height(), -0.25f),
         solid(hex(0xffffff, 0.22f)));
    canvas.clip = nullptr;

    const float px = box.left + 0.87f * w;
    for (int i = 0; i < 2; ++i) {
        const float py = box.top + (0.22f + 0.2f * float(i)) * h;
        cartoon(canvas, circle(px, py, 0.055f * w), hex(0xd8c8a0), o / 2);
        fill(canvas, line({px, py}, {px + 0.03f * w, py - 0.03f * w}, 0.01f * w), solid(ink));
    }
    for (int i = 0; i < 6; ++i) {
        const float gy = box.top + (0.58f + 0.05f * float(i)) * h;
        fill(canvas, roundRect(px - 0.07f * w, gy, 0.14f * w, 0.018f * h, 0.01f * h),
             solid(hex(0x2a1408)));
    }
}

void drawPineTree(Canvas& canvas, float x, float ground, float height, Colour leaves) {
    const float o = std::max(2.0f, 0.012f * height);
    draw(canvas, rect(x - 0.045f * height, ground - 0.35f * height, 0.09f * height, 0.35f * height),
         styled(solid(hex(0x8a4a26)), ink, o));
    for (int tier = 0; tier < 4; ++tier) {
        const float top = ground - height + float(tier) * 0.17f * height;
        const float half = (0.14f + 0.06f * float(tier)) * height;
        const float bottom = top + 0.32f * height;
        draw(canvas,
             polygon({{x, top},
                      {x + half, bottom},
                      {x + half * 0.3f, bottom - 0.03f * height},
                      {x, bottom + 0.01f * height},
                      {x - half * 0.3f, bottom - 0.03f * height},
                      {x - half, bottom}}),
             styled(vertical(top, bottom, {{0, lighter(leaves, 0.2f)}, {1, darker(leaves, 0.3f)}}),
                    ink, o));
    }
}

void drawPalmTree(Canvas& canvas, float x, float ground, float height, float lean, Colour colour) {
    // The trunk bends towards `lean` (a fraction of the height) as it rises.
    const Point top{x + lean * height, ground - height};
    const auto trunk = curve({x, ground}, {x, ground - 0.6f * height}, top, 16);
    for (size_t i = 0; i + 1 < trunk.size(); ++i) {
        const float width = (0.07f - 0.035f * float(i) / float(trunk.size())) * height;
        fill(canvas, line(trunk[i], trunk[i + 1], width), solid(colour));
    }
    for (int k = 0; k < 7; ++k) {
        const float a = pi + float(k) * pi / 6;
        const float reach = (0.42f + 0.06f * float(k % 2)) * height;
        const Point tip{top.x + reach * std::cos(a),
                        top.y + reach * std::sin(a) * 0.55f + 0.22f * height};
        const Point mid{top.x + 0.55f * reach * std::cos(a), top.y - 0.12f * height};
        const auto spine = curve(top, mid, tip, 12);
        std::vector<Point> leaf = spine, back;
        for (size_t i = 0; i < spine.size(); ++i) {
            const float t = float(i) / float(spine.size() - 1);
            const float bulge = std::sin(t * pi) * 0.07f * height;
            back.push_back({spine[i].x, spine[i].y + bulge});
        }
        leaf.insert(leaf.end(), back.rbegin(), back.rend());
        fill(canvas, polygon(leaf), solid(colour));
    }
    for (int k = 0; k < 3; ++k)
        fill(canvas,
             circle(top.x + float(k - 1) * 0.035f * height, top.y + 0.03f * height, 0.03f * height),
             solid(colour));
}

void drawHorse(Canvas& canvas, float x, float ground, float length, Colour coat) {
    // Designed on a 100-unit grid, nose to the right, hooves at y = 100.
    const float s = length / 100;
    auto at = [&](float gx, float gy) { return Point{x + (gx - 50) * s, ground - (100 - gy) * s}; };
    auto shape = [&](std::initializer_list<Point> grid) {
        std::vector<Point> points;
        for (Point p : grid)
            points.push_back(at(p.x, p.y));
        return polygon(points);
    };
    const float o = std::max(2.0f, 1.2f * s);
    const Colour far = darker(coat, 0.3f), hair = hex(0x2a1810);

    // Far legs, tail, body with near legs, mane.
    draw(canvas, shape({{66, 56}, {72, 58}, {72, 92}, {74, 100}, {67, 100}, {66, 92}}),
         styled(solid(far), ink, o));
    draw(canvas,
         shape({{24, 56}, {31, 58}, {28, 76}, {30, 92}, {31, 100}, {24, 100}, {23, 92}, {21, 76}}),
         styled(solid(far), ink, o));
    draw(canvas, polyline(curve(at(14, 38), at(2, 48), at(6, 74)), 5 * s),
         styled(solid(hair), ink, o));
    const Path body =
        shape({{14, 38}, {30, 33}, {50, 35}, {62, 32}, {69, 26},  {75, 15},  {79, 7},   {79, 0},
               {83, 5},  {88, 8},  {95, 19}, {98, 25}, {95, 29},  {88, 27},  {82, 23},  {77, 31},
               {75, 42}, {75, 56}, {78, 75}, {79, 92}, {81, 100}, {73, 100}, {72, 92},  {69, 75},
               {66, 60}, {50, 60}, {36, 60}, {33, 76}, {35, 92},  {37, 100}, {30, 100}, {28, 92},
               {24, 76}, {19, 62}, {13, 52}, {12, 44}});
    draw(canvas, body, styled(shaded(coat, bounds(body)), ink, o));
    draw(canvas, polyline({at(79, 4), at(74, 14), at(69, 24), at(63, 31)}, 5 * s),
         styled(solid(hair), ink, o / 2));
    fill(canvas, circle(at(88, 13).x, at(88, 13).y, 1.6f * s), solid(ink));
    for (Point hoof : {Point{77, 98}, Point{33, 98}})
        fill(canvas, rect(at(hoof.x - 4, 0).x, at(0, hoof.y - 1).y, 8 * s, 3 * s), solid(hair));
}

void drawCloud(Canvas& canvas, float cx, float cy, float width, Colour colour) {
    const float u = width / 10;
    Path cloud = roundRect(cx - 5 * u, cy - 1.2f * u, 10 * u, 2.4f * u, 1.2f * u);
    cloud += circle(cx - 2 * u, cy - 1.2f * u, 1.9f * u);
    cloud += circle(cx + 1 * u, cy - 1.9f * u, 2.5f * u);
    cloud += circle(cx + 3.3f * u, cy - 0.8f * u, 1.5f * u);
    fill(canvas, translated(cloud, 0.3f * u, 0.4f * u),
         solid(withAlpha(darker(colour, 0.3f), 0.35f * colour.a)));
    fill(canvas, cloud,
         vertical(cy - 4.4f * u, cy + 1.2f * u,
                  {{0, colour}, {1, mix(colour, hex(0xc8d8f0), 0.5f)}}));
}

void drawHeart(Canvas& canvas, float cx, float cy, float size, Colour colour, Colour outline) {
    const float s = size;
    Path heart = circle(cx - 0.25f * s, cy - 0.12f * s, 0.27f * s);
    heart += circle(cx + 0.25f * s, cy - 0.12f * s, 0.27f * s);
    heart += polygon(
        {{cx - 0.51f * s, cy - 0.05f * s}, {cx + 0.51f * s, cy - 0.05f * s}, {cx, cy + 0.48f * s}});
    draw(canvas, heart, styled(shaded(colour, bounds(heart)), outline, std::max(2.0f, 0.05f * s)));
}

// The show's pictures: backgrounds, title and credit cards, and the picture sequence.
#include "tools/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr float pi = 3.14159265358979f;
constexpr float W = 1280, H = 720;
const Colour ink = hex(0x1d1030);
const Colour white = hex(0xffffff);

// ---- Backdrops --------------------------------------------------------------------------------

// Rays of `colour` from `centre` over whatever lies beneath.
void sunburst(Canvas& c, Point centre, int rays, Paint colour, float rotation = 0) {
    Path p;
    for (int i = 0; i < rays; ++i) {
        const float a0 = rotation + 2 * pi * float(i) / float(rays);
        const float a1 = a0 + pi / float(rays);
        p += polygon({centre,
                      {centre.x + 3000 * std::cos(a0), centre.y + 3000 * std::sin(a0)},
                      {centre.x + 3000 * std::cos(a1), centre.y + 3000 * std::sin(a1)}});
    }
    fill(c, p, colour);
}

void vignette(Canvas& c, float strength) {
    fill(c, radial({c.width / 2.0f, c.height / 2.0f}, std::hypot(c.width / 2.0f, c.height / 2.0f),
                   {{0.55f, hex(0x000000, 0)}, {1, hex(0x000000, strength)}}));
}

void stars(Canvas& c, uint32_t seed, int count, Box area, Colour colour) {
    Random random(seed);
    for (int i = 0; i < count; ++i) {
        const float x = random.range(area.left, area.right);
        const float y = random.range(area.top, area.bottom);
        const float r = random.range(0.6f, 2.2f);
        fill(c, circle(x, y, r), solid(withAlpha(colour, random.range(0.4f, 1.0f))));
        if (r > 2.0f) fill(c, star(x, y, 4 * r, r * 0.6f, 4), solid(withAlpha(colour, 0.8f)));
    }
}

// A silhouette along y = base: random heights, smoothed, between `low` and `high` above it.
Path hills(uint32_t seed, float base, float low, float high, int bumps, float bottom = H) {
    Random random(seed);
    std::vector<float> heights;
    for (int i = 0; i <= bumps + 1; ++i)
        heights.push_back(random.range(low, high));
    std::vector<Point> points{{-10, bottom}};
    for (int x = -10; x <= int(W) + 10; x += 8) {
        const float t = float(x + 10) / (W + 20) * float(bumps);
        const int i = int(t);
        const float f = t - float(i), smooth = f * f * (3 - 2 * f);
        points.push_back({float(x), base - (heights[i] + (heights[i + 1] - heights[i]) * smooth)});
    }
    points.push_back({W + 10, bottom});
    return polygon(points);
}

// ---- Cards (transparent outside their lettering) ----------------------------------------------

// A gradient from the top of `text` to its bottom.
Paint topDown(const Path& text, Stops stops) {
    const Box box = bounds(text);
    return vertical(box.top, box.bottom, std::move(stops));
}

const Stops gold = {{0, hex(0xfff6a0)}, {0.5f, hex(0xffc21f)}, {1, hex(0xff6a1f)}};
const Stops ice = {{0, hex(0xffffff)}, {0.55f, hex(0xb8f4ff)}, {1, hex(0x38c8ff)}};

// Little pictures either side of a role: a palette, notes, brackets, each about 100 pixels.
void paletteIcon(Canvas& c, float x, float y) {
    draw(c, ellipse(x, y, 50, 38, -0.2f), styled(solid(hex(0xf0c890)), ink, 5));
    static const uint32_t paints[4] = {0xff3c5a, 0xffd23f, 0x36a8ff, 0x4ad85a};
    for (int i = 0; i < 4; ++i) {
        const float a = -2.4f + 0.75f * float(i);
        fill(c, circle(x + 30 * std::cos(a), y + 22 * std::sin(a) + 4, 10), solid(hex(paints[i])));
    }
    draw(c, line({x + 10, y + 30}, {x + 50, y - 40}, 9), styled(solid(hex(0x8a5428)), ink, 3));
    draw(c, ellipse(x + 8, y + 34, 8, 12, 0.5f), styled(solid(hex(0xff3c5a)), ink, 3));
}

void notesIcon(Canvas& c, float x, float y) {
    const Style style = styled(vertical(y - 50, y + 50, ice), ink, 5);
    Path notes = ellipse(x - 24, y + 32, 17, 12, -0.4f) + ellipse(x + 26, y + 24, 17, 12, -0.4f);
    notes += rect(x - 11, y - 42, 7, 74) + rect(x + 39, y - 50, 7, 74);
    notes += polygon({{x - 11, y - 42}, {x + 46, y - 50}, {x + 46, y - 34}, {x - 11, y - 26}});
    draw(c, notes, style);
}

void bracketsIcon(Canvas& c, float x, float y) {
    const Path text = caption("</>", Typeface::Mono, 64, x, y);
    draw(c, text, styled(topDown(text, ice), ink, 5));
}

void roleCard(Canvas& c, const char* role, void (*icon)(Canvas&, float, float)) {
    const Path text = caption(role, Typeface::Sans, 118, W / 2, 118);
    const Box box = bounds(text);
    icon(c, box.left - 95, 118);
    icon(c, box.right + 95, 118);
    drawTitle(c, text, topDown(text, ice), ink, 8, 8);
    draw(c, roundRect(box.left, box.bottom + 24, box.width(), 14, 7),
         styled(linear({box.left, 0}, {box.right, 0},
                       {{0, hex(0xff5fa2)}, {0.5f, hex(0xffd23f)}, {1, hex(0x36d6ff)}}),
                ink, 4));
}

void nameCard(Canvas& c, const char* name) {
    const Path text = caption(name, Typeface::Sans, 150, W / 2, 598);
    const Box box = bounds(text);
    for (int side = -1; side <= 1; side += 2) {
        const float x = W / 2 + side * (box.width() / 2 + 70);
        draw(c, star(x, 598, 38, 15, 5, side * 0.2f), styled(solid(hex(0xffd23f)), ink, 5));
    }
    drawTitle(c, text, topDown(text, gold), ink, 9, 10);
}

void ostravelCard(Canvas& c) {
    drawOstravelLogo(c, W / 2, 270, 900);
}

void presentsCard(Canvas& c) {
    const Path text = caption("presents", Typeface::SerifItalic, 120, W / 2, 590);
    drawTitle(c, text, topDown(text, {{0, white}, {1, hex(0xffe27a)}}), ink, 7, 7);
}

// ---- Backgrounds ------------------------------------------------------------------------------

void loadingScreen(Canvas& c) {
    fill(c, radial({W / 2, 320}, 820, {{0, hex(0x4a2488)}, {1, hex(0x0e0624)}}));
    sunburst(c, {W / 2, 300}, 20, solid(hex(0xffffff, 0.05f)));
    drawOstravelLogo(c, W / 2, 290, 820);
    const Path text = caption("LOADING", Typeface::Sans, 54, W / 2 - 18, 520);
    drawTitle(c, text, solid(white), ink, 5, 4);
    const Box box = bounds(text);
    for (int i = 0; i < 3; ++i)
        draw(c, circle(box.right + 22 + 22 * float(i), box.bottom - 6, 6),
             styled(solid(white), ink, 3));
    // A progress bar, part filled with candy stripes.
    const Box bar{390, 580, 890, 614};
    draw(c, roundRect(bar.left, bar.top, bar.width(), bar.height(), 17),
         styled(solid(hex(0x1a0c38)), hex(0xffffff, 0.85f), 3));
    const Path done =
        roundRect(bar.left + 5, bar.top + 5, bar.width() * 0.62f, bar.height() - 10, 12);
    fill(c, done, [](float x, float y) {
        return std::fmod(x + y + 4000, 40.0f) < 20 ? hex(0xff5fa2) : hex(0xffb347);
    });
}

void creditsBackground(Canvas& c) {
    fill(c, radial({W / 2, 330}, 900,
                   {{0, hex(0xff9a4a)}, {0.35f, hex(0xc8348c)}, {1, hex(0x3c0e5c)}}));
    sunburst(c, {W / 2, 330}, 18,
             radial({W / 2, 330}, 900, {{0, hex(0xffe08a, 0.35f)}, {1, hex(0xffffff, 0.06f)}}),
             0.1f);
    stars(c, 11, 40, {0, 0, W, H}, hex(0xfff4c8));
    vignette(c, 0.6f);
}

// Deep space over a neon grid: dark and calm, so the lit model stands out in the middle.
void credits2Background(Canvas& c) {
    const float horizon = 478;
    fill(c, vertical(0, horizon, {{0, hex(0x05031a)}, {0.6f, hex(0x1c0a44)}, {1, hex(0x5a1a6e)}}));
    stars(c, 7, 260, {0, 0, W, horizon - 40}, hex(0xe8eeff));
    // Two soft nebulae, away from the centre.
    for (Point p : {Point{230, 150}, Point{1060, 250}})
        fill(c, circle(p.x, p.y, 260),
             radial(p, 260, {{0, hex(0x7a3cff, 0.22f)}, {1, hex(0x7a3cff, 0)}}));
    fill(c, rect(0, horizon - 120, W, 120),
         vertical(horizon - 120, horizon, {{0, hex(0xff3ca0, 0)}, {1, hex(0xff3ca0, 0.45f)}}));
    fill(c, hills(5, horizon, 10, 70, 9, horizon + 1), solid(hex(0x1a0830)));

    fill(c, rect(0, horizon, W, H - horizon),
         vertical(horizon, H, {{0, hex(0x2a0a4a)}, {1, hex(0x0a0218)}}));
    const Paint neon = vertical(horizon, H, {{0, hex(0xff4fd8, 0.5f)}, {1, hex(0x36d6ff, 0.95f)}});
    for (int i = -16; i <= 16; ++i) {
        const float x0 = W / 2 + float(i) * 18, x1 = W / 2 + float(i) * 150;
        fill(c, polygon({{x0 - 0.6f, horizon}, {x0 + 0.6f, horizon}, {x1 + 2, H}, {x1 - 2, H}}),
             neon);
    }
    for (int k = 1; k < 12; ++k) {
        const float y = horizon + (H - horizon) * std::pow(float(k) / 11, 2.2f);
        fill(c, rect(0, y - 0.5f - 0.12f * float(k), W, 1 + 0.24f * float(k)), neon);
    }
    fill(c, rect(0, horizon - 1.5f, W, 3), solid(hex(0xffb0f0)));
}

// London at dusk: Big Ben and Parliament at the left, the Eye at the right, the river below.
void londonBackground(Canvas& c) {
    const float river = 560;
    fill(c, vertical(0, river,
                     {{0, hex(0x1b1446)},
                      {0.45f, hex(0x5b2a7a)},
                      {0.8f, hex(0xff7b5c)},
                      {1, hex(0xffc36a)}}));
    fill(c, circle(760, 545, 230),
         radial({760, 545}, 230,
                {{0, hex(0xffe9a0, 0.9f)}, {0.4f, hex(0xffb060, 0.5f)}, {1, hex(0xff8060, 0)}}));
    fill(c, circle(760, 545, 82), solid(hex(0xfff0b0)));
    stars(c, 3, 60, {0, 0, W, 220}, hex(0xffffff));

    // Far city, then the landmarks in one dark silhouette.
    Random random(21);
    Path far;
    for (float x = 0; x < W; x += random.range(24, 60))
        far += rect(x, river - random.range(30, 110), random.range(30, 70), 120);
    fill(c, far, solid(hex(0x5a2d6e)));

    const Colour dusk = hex(0x1c0f33);
    Path city;
    // Big Ben: tower, belfry, spire.
    city += rect(140, 210, 70, river - 210);
    city += rect(132, 200, 86, 22);
    city += polygon({{134, 200}, {216, 200}, {175, 110}});
    city += rect(172, 70, 6, 45);
    // The Houses of Parliament with their pinnacles and the Victoria Tower.
    city += rect(210, 420, 330, river - 420);
    for (float x = 222; x < 520; x += 26)
        city += polygon({{x - 5, 421}, {x + 5, 421}, {x + 2, 388}, {x, 378}, {x - 2, 388}});
    city += rect(470, 300, 60, river - 300);
    city += polygon({{470, 301}, {530, 301}, {522, 280}, {478, 280}});
    // St Paul's dome.
    city += rect(585, 470, 110, river - 470);
    city += ellipse(640, 470, 48, 56);
    city += rect(634, 396, 12, 30);
    // The Shard and the Gherkin.
    city += polygon({{860, river}, {935, river}, {905, 215}, {898, 185}, {894, 215}});
    city += ellipse(960, 470, 32, 110);
    city += rect(720, 500, 120, 60);
    fill(c, city, solid(dusk));
    // Big Ben's lit clock face.
    fill(c, circle(175, 258, 24), radial({175, 258}, 24, {{0, hex(0xfff6c8)}, {1, hex(0xffc24a)}}));
    fill(c, line({175, 258}, {175, 242}, 3), solid(dusk));
    fill(c, line({175, 258}, {187, 262}, 3), solid(dusk));

    // The London Eye: rim, spokes, capsules, and its A-frame legs.
    const Point hub{1120, 380};
    const float rim = 170;
    Path eye = ring(hub.x, hub.y, rim + 4, rim - 4);
    for (int i = 0; i < 16; ++i) {
        const float a = float(i) * pi / 8;
        const Point end{hub.x + rim * std::cos(a), hub.y + rim * std::sin(a)};
        eye += line(hub, end, 2.5f);
        eye += ellipse(end.x, end.y, 9, 7);
    }
    eye += line(hub, {1050, river}, 10);
    eye += line(hub, {1190, river}, 10);
    eye += circle(hub.x, hub.y, 14);
    fill(c, eye, solid(dusk));

    // Lit windows.
    Random windows(8);
    const Mask buildings = rasterise(city, c.width, c.height);
    for (int i = 0; i < 140; ++i) {
        const float x = windows.range(200, 1000), y = windows.range(430, river - 8);
        if (buildings.at(int(x), int(y)) < 1) continue;
        fill(c, rect(x, y, 4, 6), solid(hex(0xffd37a, windows.range(0.5f, 1))));
    }

    // The Thames, with the sun's glitter.
    fill(c, rect(0, river, W, H - river),
         vertical(river, H, {{0, hex(0x3a2a6a)}, {1, hex(0x120c28)}}));
    Random glitter(12);
    for (int i = 0; i < 70; ++i) {
        const float y = glitter.range(river + 4, H);
        const float spread = 40 + (y - river) * 0.9f;
        const float x = 760 + glitter.range(-spread, spread);
        fill(c, roundRect(x, y, glitter.range(14, 50), 3, 1.5f),
             solid(hex(0xffd890, 0.9f - (y - river) / 300)));
    }
    fill(c, rect(0, river, W, 3), solid(hex(0x2a1d50)));
}

// ---- Cards ------------------------------------------------------------------------------------

void atVm2011Card(Canvas& c) {
    const Path at = caption("at", Typeface::SerifItalic, 100, W / 2, 200);
    drawTitle(c, at, topDown(at, {{0, white}, {1, hex(0xffe27a)}}), ink, 6, 6);
    const Path party = caption("VELLAMARKFEST", Typeface::Sans, 120, W / 2, 360, 1180);
    drawTitle(c, party, topDown(party, ice), ink, 8, 9);
    const Path year = caption("2011", Typeface::Sans, 150, W / 2, 530);
    drawTitle(c, year, topDown(year, gold), ink, 9, 10);
}

void calledCard(Canvas& c) {
    const Path text = caption("called", Typeface::SerifItalic, 150, W / 2, 360);
    drawTitle(c, text, topDown(text, {{0, white}, {1, hex(0xffe27a)}}), ink, 8, 8);
}

void glimmoxZurorCard(Canvas& c) {
    GlimmoxLook look;
    look.armsUp = true;
    drawGlimmox(c, W / 2, 335, 370, look);
    const Path name = caption("GLIMMOX ZUROR", Typeface::Sans, 84, W / 2, 648);
    drawTitle(c, name, topDown(name, gold), ink, 8, 8);
}

// ---- The picture sequence -----------------------------------------------------------------------

// The whole canvas in a sky gradient that reaches its last colour at `horizon`.
void sky(Canvas& c, float horizon, Stops stops) {
    fill(c, vertical(0, horizon, std::move(stops)));
}

// A sun with a face and twelve rays, `r` the radius of its disc.
void smilingSun(Canvas& c, Point p, float r) {
    Path rays;
    for (int i = 0; i < 12; ++i) {
        const float a = float(i) * pi / 6 + 0.1f;
        rays += polygon(
            {{p.x + 1.15f * r * std::cos(a - 0.13f), p.y + 1.15f * r * std::sin(a - 0.13f)},
             {p.x + 1.6f * r * std::cos(a), p.y + 1.6f * r * std::sin(a)},
             {p.x + 1.15f * r * std::cos(a + 0.13f), p.y + 1.15f * r * std::sin(a + 0.13f)}});
    }
    draw(c, rays, styled(solid(hex(0xffb020)), ink, 3));
    draw(c, circle(p.x, p.y, r),
         styled(radial({p.x - 0.3f * r, p.y - 0.3f * r}, 1.4f * r,
                       {{0, hex(0xfff8b0)}, {0.6f, hex(0xffd83a)}, {1, hex(0xffa01a)}}),
                ink, 4));
    for (int side = -1; side <= 1; side += 2) {
        fill(c, ellipse(p.x + side * 0.32f * r, p.y - 0.18f * r, 0.09f * r, 0.14f * r), solid(ink));
        fill(c, ellipse(p.x + side * 0.55f * r, p.y + 0.2f * r, 0.14f * r, 0.08f * r),
             solid(hex(0xff7a50, 0.6f)));
    }
    fill(c, arcBand(p.x, p.y, 0.55f * r, 0.45f * r, 0.15f * pi, 0.85f * pi), solid(ink));
}

void happyPonderosa(Canvas& c) {
    sky(c, 470, {{0, hex(0x2f9cf0)}, {1, hex(0xc4ecff)}});
    smilingSun(c, {1150, 160}, 62);
    drawCloud(c, 250, 250, 240, white);
    drawCloud(c, 860, 300, 180, white);
    fill(c, hills(31, 520, 20, 110, 4), solid(hex(0x8fd46a)));
    for (float x : {90.0f, 300.0f, 1000.0f, 1200.0f})
        drawPineTree(c, x, 500 + 10 * std::sin(x), 190, hex(0x2f8a3a));
    fill(c, hills(32, 640, 30, 100, 3), vertical(520, H, {{0, hex(0x5cb844)}, {1, hex(0x2f7a2a)}}));

    // The happy ponderosa itself: a tall pine with a face.
    drawPineTree(c, 640, 660, 520, hex(0x2e9a44));
    for (int side = -1; side <= 1; side += 2) {
        fill(c, ellipse(640 + side * 38, 420, 26, 32), solid(white));
        fill(c, circle(640 + side * 38 + 6, 426, 14), solid(ink));
        fill(c, circle(640 + side * 38 + 1, 420, 5), solid(white));
    }
    fill(c, arcBand(640, 440, 62, 50, 0.15f * pi, 0.85f * pi), solid(ink));
    for (float x : {180.0f, 420.0f, 880.0f, 1100.0f})
        drawPineTree(c, x, 690 + 10 * std::cos(x), 260, hex(0x24803a));
    for (int i = 0; i < 40; ++i) {
        Random r(100 + i);
        const float x = r.range(0, W), y = r.range(600, 715);
        fill(c, circle(x, y, 5), solid(i % 2 ? hex(0xfff36a) : white));
        fill(c, circle(x, y, 2), solid(hex(0xff9a2a)));
    }

    // The title, arched like a ranch sign.
    Path title = caption("Happy Ponderosa", Typeface::SerifItalic, 92, 590, 90, 860);
    title = mapped(title, [](Point p) {
        const float dx = (p.x - 590) / 600;
        return Point{p.x, p.y + 60 * dx * dx};
    });
    drawTitle(c, title, topDown(title, gold), hex(0x5a2a0a), 7, 7);
}

// Grass, a track with kerbs, and speed lines: the race of cart number `number`.
void cartRace(Canvas& c, int number) {
    sky(c, 420, {{0, hex(0x4cb0ff)}, {1, hex(0xd8f0ff)}});
    drawCloud(c, 1030, 120, 260, white);
    drawCloud(c, 380, 90, 170, white);
    fill(c, hills(41, 440, 10, 80, 5), solid(hex(0x7acb5a)));
    // Grandstand with a crowd of dots, and chequered flags.
    draw(c, rect(80, 300, 520, 130), styled(solid(hex(0xe84a5f)), ink, 4));
    draw(c, polygon({{60, 300}, {620, 300}, {600, 260}, {80, 260}}), styled(solid(white), ink, 4));
    Random crowd(3);
    for (float y = 320; y < 420; y += 24)
        for (float x = 100; x < 590; x += 22)
            fill(c, circle(x + crowd.range(-4, 4), y, 8),
                 solid(hex(crowd.next() < 0.5f   ? 0xffd23f
                           : crowd.next() < 0.5f ? 0x36d6ff
                                                 : 0xffffff)));
    fill(c, rect(0, 440, W, H - 440), vertical(440, H, {{0, hex(0x5cb844)}, {1, hex(0x3a9030)}}));
    fill(c, rect(0, 520, W, 150), solid(hex(0x55565e)));
    for (float x = 0; x < W; x += 80) {
        fill(c, rect(x, 512, 40, 10), solid(hex(0xe8303a)));
        fill(c, rect(x + 40, 512, 40, 10), solid(white));
        fill(c, rect(x, 668, 40, 10), solid(white));
        fill(c, rect(x + 40, 668, 40, 10), solid(hex(0xe8303a)));
        fill(c, rect(x + 10, 592, 40, 6), solid(hex(0xffffff, 0.8f)));
    }
    for (float x : {1000.0f, 1180.0f}) {
        fill(c, rect(x, 300, 6, 220), solid(ink));
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 3; ++j)
                fill(c, rect(x + 6 + 22 * float(i), 300 + 22 * float(j), 22, 22),
                     solid((i + j) % 2 ? white : ink));
    }
    // Speed lines and dust behind the cart.
    Random dust(number);
    for (int i = 0; i < 9; ++i) {
        const float y = 380 + 28 * float(i), x = 80 + dust.range(0, 160);
        draw(c, line({x, y}, {x + dust.range(160, 300), y}, 8), styled(solid(white), ink, 2));
    }
    for (int i = 0; i < 6; ++i)
        fill(c, circle(380 - 40 * float(i), 630 - dust.range(0, 40), 34 - 4 * float(i)),
             solid(hex(0xd8c8a8, 0.9f)));
    drawCart(c, 700, 640, 380, number);
}

// Cart number 4 leaps off a ramp in the desert at sunset.
void cart4(Canvas& c) {
    sky(c, 470, {{0, hex(0x3a1a6a)}, {0.5f, hex(0xd8487a)}, {1, hex(0xffb050)}});
    fill(c, circle(990, 420, 110),
         radial({990, 420}, 110, {{0, hex(0xfff0a0)}, {1, hex(0xffc040)}}));
    fill(c, polygon({{0, 480}, {60, 360}, {260, 350}, {300, 480}}), solid(hex(0x8a3a5a)));
    fill(c, polygon({{700, 480}, {760, 390}, {900, 380}, {960, 480}}), solid(hex(0x8a3a5a)));
    fill(c, rect(0, 470, W, H - 470), vertical(470, H, {{0, hex(0xe89a50)}, {1, hex(0xb0582a)}}));
    for (Point p : {Point{150, 620}, Point{1150, 560}, Point{1020, 680}}) {
        const float h = p.y / 4;
        Path cactus = roundRect(p.x - 16, p.y - h, 32, h, 16);
        cactus += roundRect(p.x - 50, p.y - 0.75f * h, 24, 0.4f * h, 12);
        cactus += roundRect(p.x - 50, p.y - 0.5f * h, 50, 20, 10);
        cactus += roundRect(p.x + 28, p.y - 0.85f * h, 24, 0.45f * h, 12);
        cactus += roundRect(p.x, p.y - 0.55f * h, 52, 20, 10);
        draw(c, cactus, styled(solid(hex(0x3f9a4a)), ink, 4));
    }
    // The ramp, the cart in the air, its shadow and motion arcs.
    draw(c, polygon({{170, 660}, {520, 660}, {520, 520}}), styled(solid(hex(0xa86a3a)), ink, 5));
    for (float x = 220; x < 520; x += 50)
        fill(c, line({x, 660}, {x, 660 - (x - 170) * 0.4f}, 4), solid(hex(0x6a3a1a)));
    fill(c, ellipse(760, 655, 170, 18), solid(hex(0x5a2a10, 0.45f)));
    for (int i = 0; i < 3; ++i)
        draw(c,
             polyline(curve({300, 420 + 30 * float(i)}, {420, 300 + 30 * float(i)},
                            {520, 330 + 30 * float(i)}),
                      7),
             styled(solid(white), ink, 2));
    drawCart(c, 770, 480, 360, 4);
    for (Point p : {Point{560, 200}, Point{1040, 150}, Point{1130, 300}})
        draw(c, star(p.x, p.y, 34, 13, 5), styled(solid(hex(0xfff36a)), ink, 4));
}

// A red lorry on the motorway, with Cart riding on its flatbed.
void cartInTruck(Canvas& c) {
    sky(c, 430, {{0, hex(0x58b8ff)}, {1, hex(0xe0f4ff)}});
    drawCloud(c, 200, 110, 220, white);
    drawCloud(c, 1000, 160, 280, white);
    fill(c, hills(51, 450, 30, 150, 4), solid(hex(0x9ad07a)));
    fill(c, hills(52, 470, 10, 60, 7), solid(hex(0x6ab85a)));
    fill(c, rect(0, 560, W, H - 560), solid(hex(0x4a4c56)));
    fill(c, rect(0, 556, W, 8), solid(hex(0xd8d8d0)));
    for (float x = 0; x < W; x += 140)
        fill(c, rect(x, 660, 80, 10), solid(hex(0xfff2a0)));
    for (int i = 0; i < 5; ++i)
        draw(c,
             line({20 + 30 * float(i % 2), 420 + 32 * float(i)},
                  {150 + 40 * float(i % 3), 420 + 32 * float(i)}, 7),
             styled(solid(white), ink, 2));

    // Flatbed with Cart on it, then the cab.
    draw(c, rect(180, 520, 720, 40), styled(solid(hex(0x6a6e78)), ink, 5));
    drawCart(c, 540, 522, 300, 0);
    draw(c, rect(200, 560, 690, 26), styled(solid(hex(0x3a3c44)), ink, 4));
    const Path cab = roundRect(900, 330, 250, 250, 30) + rect(900, 420, 290, 160);
    draw(c, cab, styled(vertical(330, 580, {{0, hex(0xff5a4a)}, {1, hex(0xb8202a)}}), ink, 6));
    draw(c, roundRect(935, 360, 170, 110, 16),
         styled(linear({935, 360}, {1105, 470}, {{0, hex(0xd8f4ff)}, {1, hex(0x6ab4e8)}}), ink, 5));
    fill(c, polygon({{960, 370}, {1000, 370}, {950, 460}, {940, 460}}), solid(hex(0xffffff, 0.5f)));
    draw(c, rect(1175, 480, 22, 40), styled(solid(hex(0xfff2a0)), ink, 4));
    draw(c, rect(1070, 270, 22, 70), styled(solid(hex(0x9aa0a8)), ink, 4));
    for (int i = 0; i < 3; ++i)
        fill(c, circle(1090 - 30 * float(i), 240 - 40 * float(i), 18 + 8 * float(i)),
             solid(hex(0x8a8a90, 0.5f)));
    for (float x : {300.0f, 460.0f, 1040.0f}) {
        draw(c, circle(x, 590, 58), styled(solid(hex(0x2a2a30)), ink, 5));
        draw(c, circle(x, 590, 26), styled(solid(hex(0xc8ccd4)), ink, 4));
    }
}

// Cart rides a galloping horse across the prairie.
void cartOnHorse(Canvas& c) {
    sky(c, 470, {{0, hex(0x6a3aa8)}, {0.55f, hex(0xff7a7a)}, {1, hex(0xffd88a)}});
    fill(c, circle(300, 430, 90), solid(hex(0xfff0b0)));
    fill(c, hills(61, 480, 40, 170, 5), solid(hex(0x9a5aa0)));
    fill(c, rect(0, 470, W, H - 470), vertical(470, H, {{0, hex(0xe8b860)}, {1, hex(0xb8782a)}}));
    Random grass(6);
    for (int i = 0; i < 90; ++i) {
        const float x = grass.range(0, W), y = grass.range(500, H);
        fill(c, polyline({{x, y}, {x - 6, y - 20}}, 3), solid(hex(0x8a5a1a, 0.7f)));
        fill(c, polyline({{x, y}, {x + 8, y - 18}}, 3), solid(hex(0x8a5a1a, 0.7f)));
    }
    fill(c, ellipse(650, 690, 300, 20), solid(hex(0x5a3a10, 0.4f)));
    drawHorse(c, 640, 690, 560, hex(0xa0582a));
    // A saddle blanket for Cart to sit on.
    draw(c, roundRect(450, 690 - 67 * 5.6f - 6, 220, 70, 18), styled(solid(hex(0x2a8ad8)), ink, 5));
    fill(c, rect(450, 690 - 67 * 5.6f + 44, 220, 8), solid(hex(0xffd23f)));
    // The horse's back is at 33 of its 100-unit grid.
    drawCart(c, 560, 690 - 67 * 5.6f + 20, 220, 0);
    for (int i = 0; i < 4; ++i)
        fill(c, circle(260 - 40 * float(i), 670 - 12 * float(i), 30 - 5 * float(i)),
             solid(hex(0xe8d0a0, 0.9f)));
}

void ranch(Canvas& c) {
    sky(c, 450, {{0, hex(0x2a3a8a)}, {0.5f, hex(0xe8708a)}, {1, hex(0xffc070)}});
    fill(c, circle(1050, 440, 80), solid(hex(0xfff0a8)));
    fill(c, hills(71, 460, 20, 90, 4), solid(hex(0x6a4a8a)));
    fill(c, rect(0, 450, W, H - 450), vertical(450, H, {{0, hex(0xc8b040)}, {1, hex(0x8a8a2a)}}));
    for (int i = 0; i < 12; ++i) {
        const float y = 460 + 22 * float(i) * (1 + 0.12f * float(i));
        fill(c, rect(0, y, W, 3 + 0.5f * float(i)), solid(hex(0x6a6a1a, 0.5f)));
    }
    // The red barn: gambrel roof, white trim, cross-braced doors, hay loft.
    const Path barn = polygon(
        {{380, 560}, {380, 330}, {430, 250}, {560, 200}, {690, 250}, {740, 330}, {740, 560}});
    draw(c, barn, styled(vertical(200, 560, {{0, hex(0xe8403a)}, {1, hex(0xa01c1c)}}), ink, 6));
    draw(c, polyline({{370, 336}, {428, 244}, {560, 192}, {692, 244}, {750, 336}}, 16),
         styled(solid(white), ink, 4));
    draw(c, rect(490, 410, 140, 150), styled(solid(hex(0xb82424)), white, 8));
    fill(c, line({490, 410}, {630, 560}, 10), solid(white));
    fill(c, line({630, 410}, {490, 560}, 10), solid(white));
    draw(c, rect(525, 270, 70, 70), styled(solid(hex(0x3a1a10)), white, 7));
    // A windmill on its lattice tower.
    const Point hub{1010, 300};
    for (float side : {-1.0f, 1.0f})
        fill(c, line(hub, {hub.x + side * 45, 560}, 8), solid(ink));
    for (int i = 0; i < 4; ++i)
        fill(c, rect(hub.x - 24 - 6 * float(i), 350 + 55 * float(i), 48 + 12 * float(i), 6),
             solid(ink));
    for (int i = 0; i < 12; ++i) {
        const float a = float(i) * pi / 6;
        fill(c,
             polygon({{hub.x + 18 * std::cos(a), hub.y + 18 * std::sin(a)},
                      {hub.x + 80 * std::cos(a - 0.12f), hub.y + 80 * std::sin(a - 0.12f)},
                      {hub.x + 80 * std::cos(a + 0.12f), hub.y + 80 * std::sin(a + 0.12f)}}),
             solid(hex(0xe8e0d0)));
    }
    fill(c, circle(hub.x, hub.y, 14), solid(ink));
    // The gate with its sign hanging above the barn, and the fence in front.
    for (float x : {110.0f, 1170.0f})
        draw(c, rect(x - 14, 60, 28, 590), styled(solid(hex(0x8a5428)), ink, 5));
    draw(c, rect(70, 40, 1140, 34), styled(solid(hex(0x8a5428)), ink, 5));
    for (float x : {440.0f, 840.0f})
        fill(c, line({x, 74}, {x, 96}, 4), solid(ink));
    draw(c, roundRect(390, 92, 500, 92, 14), styled(solid(hex(0xc88a48)), ink, 6));
    const Path sign = caption("RANCH", Typeface::Serif, 78, W / 2, 138);
    drawTitle(c, sign, topDown(sign, gold), hex(0x3a1a08), 5, 4);
    for (float y : {600.0f, 650.0f})
        draw(c, rect(0, y, W, 16), styled(solid(hex(0xb07838)), ink, 4));
    for (float x = 40; x < W; x += 160)
        draw(c, polygon({{x - 14, 700}, {x - 14, 570}, {x, 556}, {x + 14, 570}, {x + 14, 700}}),
             styled(solid(hex(0x9a6430)), ink, 4));
}

void meatAndGold(Canvas& c) {
    fill(c, radial({W / 2, 420}, 800, {{0, hex(0x8a1a2a)}, {1, hex(0x2a0410)}}));
    sunburst(c, {W / 2, 420}, 24,
             radial({W / 2, 420}, 800, {{0, hex(0xffd040, 0.35f)}, {1, hex(0xffd040, 0)}}));
    // Meat on the bone, left: the bone runs right through it and out at both ends.
    const Point bone0{130, 560}, bone1{670, 340};
    const float along = std::atan2(bone1.y - bone0.y, bone1.x - bone0.x);
    draw(c, line(bone0, bone1, 50), styled(solid(hex(0xfff4e0)), ink, 5));
    for (Point end : {bone0, bone1})
        for (int side = -1; side <= 1; side += 2)
            draw(c,
                 circle(end.x + side * 30 * std::sin(along), end.y - side * 30 * std::cos(along),
                        34),
                 styled(solid(hex(0xfff4e0)), ink, 5));
    const Path meat = ellipse(400, 450, 220, 155, along);
    draw(c, meat,
         styled(radial({340, 390}, 320,
                       {{0, hex(0xe8785a)}, {0.6f, hex(0xb8402a)}, {1, hex(0x6a1a10)}}),
                ink, 6));
    fill(c, ellipse(330, 390, 80, 26, along), solid(hex(0xffffff, 0.45f)));
    fill(c, ellipse(450, 360, 26, 10, along), solid(hex(0xffffff, 0.45f)));
    // Gold: a stack of bars and piles of coins, right.
    const Colour gold1 = hex(0xffc21f);
    for (int row = 0; row < 3; ++row)
        for (int i = 0; i < 3 - row; ++i) {
            const float x = 800 + 150 * float(i) + 75 * float(row), y = 600 - 70 * float(row);
            draw(
                c, polygon({{x, y}, {x + 140, y}, {x + 120, y - 60}, {x + 20, y - 60}}),
                styled(vertical(y - 60, y, {{0, hex(0xfff2a0)}, {0.4f, gold1}, {1, hex(0xb8780a)}}),
                       ink, 5));
        }
    Random coins(9);
    for (int i = 0; i < 14; ++i) {
        const float x = coins.range(700, 1220), y = coins.range(620, 690);
        draw(c, ellipse(x, y, 40, 16),
             styled(vertical(y - 16, y + 16, {{0, hex(0xfff2a0)}, {1, hex(0xd8900a)}}), ink, 4));
    }
    for (Point p : {Point{860, 360}, Point{1150, 420}, Point{130, 250}, Point{650, 600}})
        fill(c, star(p.x, p.y, 40, 8, 4), solid(hex(0xfff8d0)));
    const Path title = caption("MEAT & GOLD", Typeface::Serif, 120, W / 2, 110);
    drawTitle(c, title, topDown(title, gold), ink, 8, 9);
}

// Colour bars of a test card, behind a framed "COMMERCIAL BREAK".
void colourBars(Canvas& c) {
    static const uint32_t bars[7] = {0xe8e8e8, 0xe8e020, 0x20d8e0, 0x20d040,
                                     0xd830c8, 0xe02830, 0x2030d8};
    for (int i = 0; i < 7; ++i)
        fill(c, rect(W * float(i) / 7, 0, W / 7 + 1, 520), solid(hex(bars[i])));
    for (int i = 0; i < 7; ++i)
        fill(c, rect(W * float(i) / 7, 520, W / 7 + 1, 60), solid(hex(bars[6 - i] & 0x7f7f7f)));
    for (int i = 0; i < 8; ++i)
        fill(c, rect(W * float(i) / 8, 580, W / 8 + 1, 140),
             solid(hex(i % 2 ? 0x101018 : 0x3a3a44)));
}

void commercialBreakSign(Canvas& c, float cy) {
    draw(c, roundRect(200, cy - 150, 880, 300, 40), styled(solid(hex(0x141020, 0.92f)), white, 8));
    const Path top = caption("COMMERCIAL", Typeface::Sans, 110, W / 2, cy - 45, 780);
    drawTitle(c, top, topDown(top, ice), ink, 6, 6);
    const Path bottom = caption("BREAK", Typeface::Sans, 110, W / 2, cy + 75);
    drawTitle(c, bottom, topDown(bottom, gold), ink, 6, 6);
}

void commercialBreak(Canvas& c) {
    colourBars(c);
    commercialBreakSign(c, 300);
    const Path back = caption("we'll be right back", Typeface::SerifItalic, 46, W / 2, 650);
    drawTitle(c, back, solid(white), ink, 5, 3);
}

// A red crate of cola bottles.
void colaCrate(Canvas& c, float cx, float bottom, float width) {
    const float s = width / 600;
    for (int i = 0; i < 5; ++i) {
        const float x = cx - 220 * s + 110 * float(i) * s;
        const Path bottle = roundRect(x - 38 * s, bottom - 420 * s, 76 * s, 260 * s, 30 * s) +
                            roundRect(x - 16 * s, bottom - 520 * s, 32 * s, 120 * s, 10 * s);
        draw(c, bottle,
             styled(linear({x - 38 * s, 0}, {x + 38 * s, 0},
                           {{0, hex(0x3a140a)}, {0.3f, hex(0x8a3a1a)}, {1, hex(0x2a0a04)}}),
                    ink, 4));
        draw(c, rect(x - 20 * s, bottom - 540 * s, 40 * s, 22 * s),
             styled(solid(hex(0xd8202a)), ink, 3));
        fill(c, rect(x - 24 * s, bottom - 400 * s, 10 * s, 200 * s), solid(hex(0xffffff, 0.3f)));
    }
    const Path crate = rect(cx - width / 2, bottom - 300 * s, width, 300 * s);
    draw(c, crate,
         styled(vertical(bottom - 300 * s, bottom, {{0, hex(0xf0303a)}, {1, hex(0xa8101a)}}), ink,
                6));
    draw(c, roundRect(cx - 240 * s, bottom - 250 * s, 480 * s, 150 * s, 20 * s),
         styled(solid(white), ink, 4));
    fill(c, caption("COLA", Typeface::SerifItalic, 120 * s, cx, bottom - 175 * s),
         solid(hex(0xd8202a)));
    for (int i = 0; i < 2; ++i)
        fill(c,
             roundRect(cx - 260 * s + 420 * s * float(i), bottom - 75 * s, 100 * s, 36 * s, 18 * s),
             solid(hex(0x6a0a10)));
}

void cocacolaboks(Canvas& c) {
    fill(c, radial({W / 2, 300}, 800, {{0, hex(0x5ad0ff)}, {1, hex(0x1a4aa8)}}));
    Random bubbles(13);
    for (int i = 0; i < 60; ++i) {
        const float x = bubbles.range(0, W), y = bubbles.range(0, H), r = bubbles.range(6, 30);
        fill(c, ring(x, y, r, r * 0.8f), solid(hex(0xffffff, 0.5f)));
        fill(c, circle(x - 0.35f * r, y - 0.35f * r, 0.2f * r), solid(hex(0xffffff, 0.7f)));
    }
    fill(c, rect(0, 600, W, 120), vertical(600, H, {{0, hex(0xc89058)}, {1, hex(0x8a5a2a)}}));
    for (Point p : {Point{200, 640}, Point{1080, 620}, Point{1150, 670}})
        fill(c, rotated(roundRect(p.x - 40, p.y - 40, 80, 80, 14), 0.3f, p),
             solid(hex(0xe8f8ff, 0.8f)));
    colaCrate(c, W / 2, 660, 620);
}

void commercialBreakCola(Canvas& c) {
    fill(c, solid(hex(0xd8202a)));
    sunburst(c, {W / 2, 480}, 16, solid(hex(0xff5a4a)));
    colaCrate(c, W / 2, 700, 440);
    draw(c, roundRect(160, 30, 960, 130, 30), styled(solid(hex(0x141020)), white, 7));
    const Path text = caption("COMMERCIAL BREAK", Typeface::Sans, 84, W / 2, 96, 880);
    drawTitle(c, text, topDown(text, gold), ink, 5, 5);
    for (float x : {120.0f, 1160.0f})
        draw(c, star(x, 400, 70, 30, 5), styled(solid(hex(0xfff36a)), ink, 5));
}

void ibiza(Canvas& c) {
    const float sea = 440;
    sky(c, sea,
        {{0, hex(0x2a0a5a)}, {0.45f, hex(0xb82a8a)}, {0.8f, hex(0xff6a5a)}, {1, hex(0xffb050)}});
    const Path sun = circle(W / 2, sea, 150);
    const Mask above = rasterise(rect(0, 0, W, sea), c.width, c.height);
    c.clip = &above;
    fill(c, sun, vertical(sea - 150, sea, {{0, hex(0xfff070)}, {1, hex(0xff7a3a)}}));
    for (int i = 0; i < 6; ++i)
        fill(c, rect(0, sea - 70 + 14 * float(i), W, 3 + 1.5f * float(i)), solid(hex(0xb82a6a)));
    c.clip = nullptr;
    fill(c, rect(0, sea, W, H - sea), vertical(sea, H, {{0, hex(0x8a2a8a)}, {1, hex(0x1a0a4a)}}));
    for (int i = 0; i < 14; ++i) {
        const float y = sea + 8 + 15 * float(i), half = 150 - 8 * float(i);
        fill(c, roundRect(W / 2 - half, y, 2 * half, 5, 2.5f),
             solid(hex(0xffb060, 0.8f - 0.05f * float(i))));
    }
    fill(c, polygon({{0, H}, {0, 600}, {300, 640}, {700, 690}, {1280, 660}, {1280, H}}),
         solid(hex(0x2a0a2a)));
    drawPalmTree(c, 130, 690, 420, 0.25f, hex(0x1a0620));
    drawPalmTree(c, 1180, 680, 360, -0.3f, hex(0x1a0620));
    drawPalmTree(c, 1060, 700, 260, -0.15f, hex(0x1a0620));
    // Party lights strung across the sky.
    const auto wire = curve({0, 40}, {W / 2, 200}, {W, 40}, 40);
    fill(c, polyline(wire, 2), solid(hex(0x1a0620)));
    static const uint32_t bulbs[4] = {0xff4fd8, 0x36d6ff, 0xfff36a, 0x7aff6a};
    for (size_t i = 2; i + 1 < wire.size(); i += 3) {
        const Point p = wire[i];
        const Colour bulb = hex(bulbs[(i / 3) % 4]);
        fill(c, circle(p.x, p.y + 10, 26),
             radial({p.x, p.y + 10}, 26, {{0, withAlpha(bulb, 0.6f)}, {1, withAlpha(bulb, 0)}}));
        fill(c, ellipse(p.x, p.y + 10, 7, 10), solid(bulb));
    }
    const Path title = caption("IBIZA", Typeface::Sans, 170, W / 2, 250);
    drawTitle(c, title,
              topDown(title, {{0, hex(0xffffff)}, {0.5f, hex(0x7af0ff)}, {1, hex(0xff4fd8)}}), ink,
              9, 10);
}

void rome(Canvas& c) {
    sky(c, 540, {{0, hex(0x3a6ad8)}, {0.55f, hex(0xf0a070)}, {1, hex(0xffd890)}});
    drawCloud(c, 250, 130, 230, hex(0xfff0e0));
    drawCloud(c, 1050, 90, 200, hex(0xfff0e0));
    fill(c, rect(0, 540, W, H - 540), vertical(540, H, {{0, hex(0xc8a060)}, {1, hex(0x8a6a30)}}));
    // The Colosseum: three storeys of arches, the top storey broken away at the right.
    const float left = 240, right = 1030, ground = 580;
    const Path wall = polygon({{left, ground},
                               {left, 260},
                               {left + 40, 240},
                               {760, 232},
                               {860, 240},
                               {900, 300},
                               {940, 330},
                               {980, 380},
                               {right, 400},
                               {right, ground}});
    draw(c, wall, styled(vertical(232, ground, {{0, hex(0xf0d8a8)}, {1, hex(0xc89a5a)}}), ink, 6));
    const Mask stone = rasterise(wall, c.width, c.height);
    c.clip = &stone;
    for (int storey = 0; storey < 3; ++storey) {
        const float top = 290 + 100 * float(storey);
        fill(c, rect(left, top - 14, right - left, 8), solid(hex(0xa87a40)));
        for (float x = left + 20; x < right - 40; x += 62)
            fill(c, roundRect(x, top + 8, 38, 80, 19), solid(hex(0x5a3418)));
    }
    fill(c, rect(left, 248, right - left, 30),
         [](float x, float) { return std::fmod(x, 40.0f) < 20 ? hex(0xb8884a) : hex(0xd8b078); });
    c.clip = nullptr;
    // Cypresses and an umbrella pine either side.
    for (float x : {90.0f, 160.0f, 1230.0f}) {
        draw(c, ellipse(x, 470, 26, 120),
             styled(vertical(350, 590, {{0, hex(0x3a8a3a)}, {1, hex(0x1a4a1a)}}), ink, 4));
    }
    draw(c, line({1150, 600}, {1135, 470}, 14), styled(solid(hex(0x6a3a1a)), ink, 3));
    draw(c, ellipse(1135, 455, 85, 34), styled(solid(hex(0x2a6a2a)), ink, 4));
    const Path title = caption("ROME", Typeface::Serif, 120, W / 2, 650);
    drawTitle(c, title, topDown(title, gold), ink, 8, 8);
}

// A living room with wallpaper `pattern` and a television showing `show`.
void livingRoom(Canvas& c, const Paint& wallpaper, Colour floor,
                const std::function<void(Canvas&)>& show) {
    fill(c, wallpaper);
    fill(c, rect(0, 560, W, H - 560),
         vertical(560, H, {{0, floor}, {1, mix(floor, hex(0), 0.4f)}}));
    fill(c, rect(0, 552, W, 12), solid(hex(0xf0e8d8)));
    fill(c, ellipse(W / 2, 650, 480, 50), solid(hex(0xc83a5a)));
    fill(c, ellipse(W / 2, 650, 440, 40), solid(hex(0xe8a040)));
    // A standard lamp and a potted plant either side.
    draw(c, line({150, 640}, {150, 260}, 10), styled(solid(hex(0x3a2a20)), ink, 3));
    draw(c, polygon({{80, 300}, {220, 300}, {190, 200}, {110, 200}}),
         styled(solid(hex(0xfff0b0)), ink, 5));
    fill(c, circle(150, 300, 160),
         radial({150, 300}, 160, {{0, hex(0xfff0b0, 0.45f)}, {1, hex(0xfff0b0, 0)}}));
    for (int i = 0; i < 7; ++i) {
        const float a = pi + float(i) * pi / 6;
        draw(c, ellipse(1140 + 60 * std::cos(a), 470 + 70 * std::sin(a), 22, 60, a + pi / 2),
             styled(solid(hex(0x3aa84a)), ink, 3));
    }
    draw(c, polygon({{1090, 630}, {1190, 630}, {1200, 520}, {1080, 520}}),
         styled(solid(hex(0xd8703a)), ink, 5));
    drawTelevision(c, {300, 150, 980, 600}, show);
}

void glimmoxOnTv(Canvas& c) {
    livingRoom(
        c, [](float x, float) { return std::fmod(x, 64.0f) < 32 ? hex(0xf0a858) : hex(0xe89848); },
        hex(0x8a5a3a),
        [](Canvas& tv) {
            fill(tv, vertical(160, 560, {{0, hex(0x1a5ab8)}, {1, hex(0x0a2a6a)}}));
            for (int i = 0; i < 5; ++i)
                fill(tv, rect(350 + 90 * float(i), 210, 50, 200), solid(hex(0x3a7ad8, 0.4f)));
            GlimmoxLook look;
            look.gaze = 0;
            drawGlimmox(tv, 568, 380, 240, look);
            draw(tv, rect(420, 440, 296, 130),
                 styled(vertical(440, 570, {{0, hex(0xd8dce8)}, {1, hex(0x8a90a0)}}), ink, 4));
            fill(tv, rect(334, 484, 470, 52), solid(hex(0xd8202a)));
            fill(tv, caption("GLIMMOX ON TV", Typeface::Sans, 38, 568, 510, 420), solid(white));
            draw(tv, rect(356, 204, 110, 46), styled(solid(white), ink, 3));
            fill(tv, caption("NEWS", Typeface::Sans, 28, 411, 227), solid(hex(0xd8202a)));
        });
}

void glimmoxOnTv2(Canvas& c) {
    livingRoom(
        c,
        [](float x, float y) {
            const float gx = std::fmod(x, 60.0f) - 30, gy = std::fmod(y, 60.0f) - 30;
            return gx * gx + gy * gy < 64 ? hex(0xffffff, 1) : hex(0x3ab0a8);
        },
        hex(0x5a4a6a),
        [](Canvas& tv) {
            fill(tv, solid(hex(0xffd23f)));
            sunburst(tv, {568, 380}, 16, solid(hex(0xff9a2a)));
            GlimmoxLook look;
            look.armsUp = true;
            look.mouthOpen = true;
            look.gaze = 0;
            drawGlimmox(tv, 568, 400, 230, look);
            for (Point p : {Point{420, 270}, Point{716, 260}, Point{410, 480}, Point{726, 470}})
                draw(tv, star(p.x, p.y, 30, 12, 5), styled(solid(white), ink, 3));
            draw(tv, roundRect(356, 204, 100, 44, 10), styled(solid(hex(0xd8202a)), white, 3));
            fill(tv, caption("LIVE", Typeface::Sans, 28, 406, 226), solid(white));
        });
}

void glimmoxOnTv3(Canvas& c) {
    livingRoom(
        c,
        [](float x, float y) {
            const float u = std::fmod(x + y + 4000, 80.0f), v = std::fmod(x - y + 4000, 80.0f);
            return (u < 40) != (v < 40) ? hex(0x7a4aa8) : hex(0x8a5ab8);
        },
        hex(0x3a2a4a),
        [](Canvas& tv) {
            fill(tv, radial({568, 380}, 400, {{0, hex(0xffb0d8)}, {1, hex(0xe8508a)}}));
            for (Point p : {Point{390, 250}, Point{746, 240}, Point{390, 500}, Point{746, 490}})
                drawHeart(tv, p.x, p.y, 60, hex(0xff2a6a), ink);
            GlimmoxLook look;
            look.gaze = -0.6f;
            drawGlimmox(tv, 568, 520, 640, look);
        });
}

// Cyborg Glimmox on a circuit board, tall: the show sees its middle, then its lower part.
void cyglimmox(Canvas& c) {
    const float w = float(c.width), h = float(c.height);
    fill(c, vertical(0, h, {{0, hex(0x062a2a)}, {0.5f, hex(0x0a3a3a)}, {1, hex(0x041818)}}));
    Random traces(17);
    for (int i = 0; i < 90; ++i) {
        float x = std::round(traces.range(0, w) / 24) * 24,
              y = std::round(traces.range(0, h) / 24) * 24;
        std::vector<Point> path{{x, y}};
        for (int k = 0; k < 4; ++k) {
            if (k % 2 == 0)
                x += std::round(traces.range(-6, 6)) * 24;
            else
                y += std::round(traces.range(-6, 6)) * 24;
            path.push_back({x, y});
        }
        const Colour glow = traces.next() < 0.3f ? hex(0x4affd8, 0.9f) : hex(0x2a8a7a, 0.8f);
        fill(c, polyline(path, 4), solid(glow));
        fill(c, ring(path.back().x, path.back().y, 9, 5), solid(glow));
        fill(c, circle(path.front().x, path.front().y, 6), solid(glow));
    }
    for (float y : {300.0f, 1000.0f})
        fill(
            c, rect(0, y, w, 260),
            vertical(y, y + 260,
                     {{0, hex(0x4affd8, 0)}, {0.5f, hex(0x4affd8, 0.08f)}, {1, hex(0x4affd8, 0)}}));
    GlimmoxLook look;
    look.cyborg = true;
    look.armsUp = true;
    look.gaze = -0.2f;
    drawGlimmox(c, w / 2, 770, 400, look);
    const Path name = caption("CYGLIMMOX", Typeface::Sans, 96, w / 2, 345, 640);
    drawTitle(c, name, topDown(name, {{0, hex(0xe0fff8)}, {1, hex(0x4affd8)}}), ink, 7, 7);
    const Path cry = caption("WADAWDA!", Typeface::Sans, 110, w / 2, 1130, 640);
    drawTitle(c, cry, topDown(cry, gold), ink, 8, 9);
}

void glimmoxAndTheGays(Canvas& c) {
    static const uint32_t rainbow[6] = {0xe8303a, 0xff8a2a, 0xffd83a, 0x3ac85a, 0x3a8aff, 0x9a4ad8};
    fill(c, solid(hex(0x2a0a4a)));
    for (int i = 0; i < 36; ++i) {
        const float a0 = pi + float(i) * pi / 36, a1 = a0 + pi / 36;
        fill(c,
             polygon({{W / 2, 620},
                      {W / 2 + 2000 * std::cos(a0), 620 + 2000 * std::sin(a0)},
                      {W / 2 + 2000 * std::cos(a1), 620 + 2000 * std::sin(a1)}}),
             solid(hex(rainbow[i % 6])));
    }
    fill(c,
         radial({W / 2, 620}, 900,
                {{0, hex(0xffffff, 0.35f)}, {0.5f, hex(0xffffff, 0)}, {1, hex(0x000000, 0.45f)}}));
    // Spotlight beams, the stage and the band.
    for (float x : {200.0f, 640.0f, 1080.0f})
        fill(c, polygon({{x - 20, 0}, {x + 20, 0}, {x + 200, 640}, {x - 200, 640}}),
             solid(hex(0xffffff, 0.16f)));
    draw(c, rect(-10, 600, W + 20, 130),
         styled(vertical(600, H, {{0, hex(0x3a2a4a)}, {1, hex(0x1a1024)}}), ink, 5));
    GlimmoxLook pink;
    pink.body = hex(0xff6ab0);
    pink.belly = hex(0xffd0e8);
    pink.gaze = 0.6f;
    drawGlimmox(c, 300, 490, 220, pink);
    draw(c, rotated(ellipse(300, 530, 80, 50) + rect(300, 520, 150, 16), -0.5f, {300, 530}),
         styled(solid(hex(0x3ad0ff)), ink, 4));
    GlimmoxLook blue;
    blue.body = hex(0x4a9aff);
    blue.belly = hex(0xc8e0ff);
    blue.armsUp = true;
    blue.gaze = -0.6f;
    draw(c, ellipse(980, 580, 120, 60), styled(solid(hex(0xd8202a)), ink, 5));
    drawGlimmox(c, 980, 470, 220, blue);
    draw(c, ellipse(980, 545, 110, 40), styled(solid(hex(0xfff0e0)), ink, 5));
    GlimmoxLook star;
    star.armsUp = true;
    star.mouthOpen = true;
    star.gaze = 0;
    drawGlimmox(c, W / 2, 462, 270, star);
    draw(c, line({570, 610}, {570, 452}, 8), styled(solid(hex(0x9aa0a8)), ink, 3));
    draw(c, ellipse(570, 440, 20, 26), styled(solid(hex(0x3a3a44)), ink, 4));

    const Path name = caption("GLIMMOX", Typeface::Sans, 130, W / 2, 88);
    drawTitle(c, name, solid(white), ink, 9, 10);
    const Path band = caption("AND THE GAYS", Typeface::Sans, 70, W / 2, 190);
    drawTitle(c, band, topDown(band, gold), ink, 7, 7);
}

// Pixel art from rows of characters: '#' in `on`, '.' in `off`, '*' in ink, spaces left alone.
void pixels(Canvas& c, float x, float y, float size, const std::vector<const char*>& rows,
            Colour on, Colour off) {
    for (size_t j = 0; j < rows.size(); ++j)
        for (size_t i = 0; rows[j][i] != 0; ++i) {
            const char p = rows[j][i];
            if (p == ' ') continue;
            fill(c, rect(x + float(i) * size, y + float(j) * size, size, size),
                 solid(p == '#'   ? on
                       : p == '.' ? off
                                  : ink));
        }
}

// An arcade screen: score, lives, a hero jumping for hearts.
void takingLives(Canvas& c) {
    fill(c, vertical(0, H, {{0, hex(0x0a0a2a)}, {1, hex(0x2a0a4a)}}));
    stars(c, 23, 80, {0, 120, W, 520}, hex(0xc8d8ff));
    static const std::vector<const char*> heart = {" ## ## ", "#######", "#######",
                                                   " ##### ", "  ###  ", "   #   "};
    // Glimmox in twelve by eleven pixels.
    static const std::vector<const char*> hero = {"  .      .  ", "   #    #   ", "    #  #    ",
                                                  "   ######   ", "  ########  ", " ##..##..## ",
                                                  " ##.*##.*## ", " ########## ", " ###****### ",
                                                  "  ########  ", "   ##  ##   "};
    static const std::vector<const char*> brick = {"########", "#...#...", "########", "..#...#."};
    for (float x = 0; x < W; x += 64)
        pixels(c, x, 620, 8, brick, hex(0xd86a2a), hex(0x6a2a10));
    for (float x = 0; x < W; x += 64)
        pixels(c, x, 652, 8, brick, hex(0xd86a2a), hex(0x6a2a10));
    fill(c, rect(0, 684, W, 36), solid(hex(0x4a1a08)));
    for (int i = 0; i < 3; ++i)
        pixels(c, 960 + 90 * float(i), 30, 10, heart, hex(0xff2a4a), {});
    fill(c, caption("SCORE 002011", Typeface::Mono, 40, 200, 60), solid(white));
    fill(c, caption("LIVES", Typeface::Mono, 40, 860, 60), solid(white));
    // Hearts to catch, the hero in mid-jump, a "+1UP".
    for (Point p : {Point{250, 330}, Point{530, 170}, Point{1000, 320}})
        pixels(c, p.x, p.y, 12, heart, hex(0xff2a4a), {});
    pixels(c, 598, 290, 14, hero, hex(0x62c93c), hex(0xffffff));
    fill(c, caption("+1UP", Typeface::Mono, 44, 572, 135), solid(hex(0x7aff6a)));
    const Path title = caption("TAKING LIVES", Typeface::Mono, 120, W / 2, 530, 1100);
    drawTitle(c, title, topDown(title, {{0, hex(0xfff36a)}, {1, hex(0xff8a2a)}}), hex(0xd8202a), 6,
              8);
    for (float y = 0; y < H; y += 4)
        fill(c, rect(0, y, W, 1.5f), solid(hex(0x000000, 0.18f)));
}

// The last picture of the show, which stays on screen: a big splash of paint.
void splatt(Canvas& c) {
    fill(c, solid(hex(0xfff6e0)));
    for (float y = 10; y < H; y += 28)
        for (float x = 10 + std::fmod(y, 56.0f) / 2; x < W; x += 28)
            fill(c, circle(x, y, 3), solid(hex(0xf0d8b0)));
    auto splash = [&](Point centre, float radius, uint32_t seed, Colour colour) {
        Random random(seed);
        std::vector<Point> outline;
        const int n = 96;
        for (int i = 0; i < n; ++i) {
            const float a = 2 * pi * float(i) / float(n);
            float r = radius * (0.8f + 0.2f * std::sin(3 * a + float(seed)));
            if (i % 8 == 0) r *= random.range(1.25f, 1.6f);
            outline.push_back({centre.x + r * std::cos(a), centre.y + r * 0.8f * std::sin(a)});
        }
        Path blot = polygon(outline);
        for (int i = 0; i < 14; ++i) {
            const float a = random.range(0, 2 * pi), d = random.range(1.2f, 1.9f) * radius;
            const Point drop{centre.x + d * std::cos(a),
                             std::min(centre.y + 0.8f * d * std::sin(a), 600.0f)};
            blot += circle(drop.x, drop.y, random.range(6, 0.12f * radius));
        }
        draw(c, blot, styled(solid(colour), ink, 5));
    };
    splash({720, 400}, 250, 1, hex(0x36c8ff));
    splash({560, 340}, 270, 2, hex(0xff3c9a));
    splash({780, 300}, 120, 3, hex(0xffd23f));
    Path text = caption("SPLATT!", Typeface::Sans, 190, W / 2, 360);
    text = rotated(text, -0.08f, {W / 2, 360});
    drawTitle(c, text, topDown(text, {{0, white}, {1, hex(0xfff0c0)}}), ink, 10, 12);
    fill(c, caption("Ostravel  at  Vellamarkfest 2011", Typeface::SerifItalic, 36, W / 2, 680),
         solid(ink));
}

// ---- The program's icon -----------------------------------------------------------------------

// Glimmox with his arms up on a rounded purple tile; drawn at the canvas's own size, so the
// small sizes are rasterised afresh rather than scaled down.
void programIcon(Canvas& c) {
    const float s = float(c.width) / 256, border = std::max(1.5f, 6 * s);
    fill(c, roundRect(8 * s, 8 * s, 240 * s, 240 * s, 44 * s), solid(ink));
    const Path tile = roundRect(8 * s + border, 8 * s + border, 240 * s - 2 * border,
                                240 * s - 2 * border, 44 * s - border);
    const Mask inside = rasterise(tile, c.width, c.height);
    fill(c, tile, radial({128 * s, 110 * s}, 190 * s, {{0, hex(0x7a3cc8)}, {1, hex(0x1a0c48)}}));
    c.clip = &inside;
    sunburst(c, {128 * s, 120 * s}, 12, solid(hex(0xffffff, 0.08f)));
    c.clip = nullptr;
    GlimmoxLook look;
    look.armsUp = true;
    look.gaze = 0;
    drawGlimmox(c, 128 * s, 148 * s, 140 * s, look);
}
} // namespace

const std::vector<Picture>& pictures() {
    static const std::vector<Picture> all = {
        {"Data/PlinketaLoading.png", FileKind::OpaquePng, 1280, 720, loadingScreen},
        {"Data/Ostravel.png", FileKind::Png, 1280, 720, ostravelCard},
        {"Data/Presents.png", FileKind::Png, 1280, 720, presentsCard},
        {"Data/CreditsBackground.png", FileKind::OpaquePng, 1280, 720, creditsBackground},
        {"Data/Graphics.png", FileKind::Png, 1280, 720,
         [](Canvas& c) { roleCard(c, "Graphics", paletteIcon); }},
        {"Data/ZPT.png", FileKind::Png, 1280, 720, [](Canvas& c) { nameCard(c, "ZPT"); }},
        {"Data/Credits2Background.png", FileKind::OpaquePng, 1280, 720, credits2Background},
        {"Data/LondonBackground.png", FileKind::OpaquePng, 1280, 720, londonBackground},
        {"Data/GlimmoxZuror.png", FileKind::Png, 1280, 720, glimmoxZurorCard},
        {"Data/AtVM2011.png", FileKind::Png, 1280, 720, atVm2011Card},
        {"Data/Called.png", FileKind::Png, 1280, 720, calledCard},
        {"Data/Didovari.png", FileKind::Png, 1280, 720, [](Canvas& c) { nameCard(c, "Didovari"); }},
        {"Data/Music.png", FileKind::Png, 1280, 720,
         [](Canvas& c) { roleCard(c, "Music", notesIcon); }},
        {"Data/KeB.png", FileKind::Png, 1280, 720, [](Canvas& c) { nameCard(c, "KeB"); }},
        {"Data/Code.png", FileKind::Png, 1280, 720,
         [](Canvas& c) { roleCard(c, "Code", bracketsIcon); }},
        {"Data/HappyPonderosa.png", FileKind::OpaquePng, 1280, 720, happyPonderosa},
        {"Data/Cart2.png", FileKind::OpaquePng, 1280, 720, [](Canvas& c) { cartRace(c, 2); }},
        {"Data/Cart4.png", FileKind::OpaquePng, 1280, 720, cart4},
        {"Data/cartenitrucken.png", FileKind::OpaquePng, 1280, 720, cartInTruck},
        {"Data/cartypaahest.png", FileKind::OpaquePng, 1280, 720, cartOnHorse},
        {"Data/Ranch.png", FileKind::OpaquePng, 1280, 720, ranch},
        {"Data/MeatAndGold.png", FileKind::OpaquePng, 1280, 720, meatAndGold},
        {"Data/commercialbreak.png", FileKind::OpaquePng, 1280, 720, commercialBreak},
        {"Data/commercialbreakcolaboks.png", FileKind::OpaquePng, 1280, 720, commercialBreakCola},
        {"Data/cocacolaboks.png", FileKind::OpaquePng, 1280, 720, cocacolaboks},
        {"Data/Ibiza.jpg", FileKind::Jpeg, 1280, 720, ibiza},
        {"Data/Rome.png", FileKind::OpaquePng, 1280, 720, rome},
        {"Data/GlimmoxOnTV.png", FileKind::OpaquePng, 1280, 720, glimmoxOnTv},
        {"Data/GlimmoxOnTV2.png", FileKind::OpaquePng, 1280, 720, glimmoxOnTv2},
        {"Data/GlimmoxOnTV3.png", FileKind::OpaquePng, 1280, 720, glimmoxOnTv3},
        {"Data/cyglimmox_wadawda.png", FileKind::OpaquePng, 720, 1287, cyglimmox},
        {"Data/GLIMMOXANDTHEGAYS.png", FileKind::OpaquePng, 1280, 720, glimmoxAndTheGays},
        {"Data/TakingLives.png", FileKind::OpaquePng, 1280, 720, takingLives},
        {"Data/splatt.png", FileKind::OpaquePng, 1280, 720, splatt},
        {"icons/zoomraxvandel-256.png", FileKind::Png, 256, 256, programIcon},
        {"icons/zoomraxvandel-48.png", FileKind::Png, 48, 48, programIcon},
    };
    return all;
}

bool writePictures(const std::string& root, const std::string& only) {
    bool ok = true, found = only.empty();
    for (const Picture& picture : pictures()) {
        const std::string file = picture.file;
        if (!only.empty() && file.substr(file.find('/') + 1) != only) continue;
        found = true;
        Canvas canvas(picture.width, picture.height);
        picture.draw(canvas);
        ok = saveImage(canvas, root + "/" + file, picture.kind) && ok;
    }
    if (!found) std::fprintf(stderr, "makedata: no picture %s\n", only.c_str());
    return ok && found;
}

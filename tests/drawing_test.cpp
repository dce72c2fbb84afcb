// The generator's drawing kit: rasteriser coverage, winding, masks, lettering and image files.
#include "tests/support.h"
#include "tools/tools.h"

#include <IL/il.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

float coverage(const Path& path, int x, int y) {
    return rasterise(path, 64, 64).at(x, y);
}

} // namespace

TEST(Rasteriser, CoversFractionalEdgesByTheirShare) {
    // x from 10.25 to 14.75, y from 5.5 to 8.5.
    const Path box = rect(10.25f, 5.5f, 4.5f, 3);
    EXPECT_FLOAT_EQ(coverage(box, 12, 6), 1);
    EXPECT_FLOAT_EQ(coverage(box, 10, 6), 0.75f);
    EXPECT_FLOAT_EQ(coverage(box, 14, 7), 0.75f);
    EXPECT_FLOAT_EQ(coverage(box, 12, 5), 0.5f);
    EXPECT_FLOAT_EQ(coverage(box, 12, 8), 0.5f);
    EXPECT_FLOAT_EQ(coverage(box, 10, 5), 0.375f);
    EXPECT_FLOAT_EQ(coverage(box, 9, 6), 0);
    EXPECT_FLOAT_EQ(coverage(box, 15, 6), 0);

    // A circle's polygon keeps its area, and stays within a quarter pixel of the true circle.
    const Path round = circle(32, 32, 20);
    const Contour& rim = round.contours[0];
    float polygonArea = 0;
    for (size_t i = 0; i < rim.size(); ++i) {
        const Point a = rim[i], b = rim[(i + 1) % rim.size()];
        polygonArea += (a.x * b.y - b.x * a.y) / 2;
    }
    const Mask disc = rasterise(round, 64, 64);
    float area = 0;
    for (float c : disc.cover)
        area += c;
    EXPECT_NEAR(area, std::abs(polygonArea), 0.5f);
    EXPECT_NEAR(area, 3.14159265f * 400, 2 * 3.14159265f * 20 * 0.25f);
}

TEST(Rasteriser, AddedShapesUniteAndRingsKeepTheirHoles) {
    // Two overlapping discs, one drawn the other way round: the overlap stays covered.
    const Path pair = circle(20, 32, 10) + polygon({{40, 22}, {40, 42}, {24, 42}, {24, 22}});
    EXPECT_FLOAT_EQ(coverage(pair, 27, 32), 1);
    const Path mirrored = circle(20, 32, 10) + scaled(rect(24, 22, 16, 20), -1, 1, {32, 0});
    EXPECT_FLOAT_EQ(coverage(mirrored, 26, 32), 1);

    const Path donut = ring(32, 32, 20, 10);
    EXPECT_FLOAT_EQ(coverage(donut, 32, 32), 0);
    EXPECT_FLOAT_EQ(coverage(donut, 32, 17), 1);
    // Lettering adds up with shapes: the bar of an "O" with a disc over its hole.
    const Path o = centredAt(lettering("O", Typeface::Sans, 50), 32, 32);
    EXPECT_FLOAT_EQ(coverage(o, 32, 32), 0);
    EXPECT_FLOAT_EQ(coverage(o + circle(32, 32, 4), 32, 32), 1);
}

TEST(Masks, GrowAndShiftByTheirDistances) {
    const Mask dot = rasterise(rect(30, 30, 4, 4), 64, 64);
    const Mask wide = grown(dot, 5);
    EXPECT_FLOAT_EQ(wide.at(32, 25), 1); // 5 above the top edge's pixel centre row
    EXPECT_FLOAT_EQ(wide.at(38, 32), 1);
    EXPECT_FLOAT_EQ(wide.at(40, 32), 0);
    EXPECT_FLOAT_EQ(wide.at(38, 38), 0); // corners round off: 5 * sqrt 2 away
    const Mask moved = shifted(dot, 10, -4);
    EXPECT_FLOAT_EQ(moved.at(41, 27), 1);
    EXPECT_FLOAT_EQ(moved.at(31, 31), 0);
    const Mask swept = extruded(dot, 6, 6);
    EXPECT_FLOAT_EQ(swept.at(31, 31), 1);
    EXPECT_FLOAT_EQ(swept.at(34, 34), 1);
    EXPECT_FLOAT_EQ(swept.at(39, 39), 1);
    EXPECT_FLOAT_EQ(swept.at(39, 30), 0);
}

TEST(Lettering, StandsUprightOnItsBaselineAtItsSize) {
    const Box h = bounds(lettering("H", Typeface::Sans, 100));
    // DejaVu's capitals stand about 0.73 em above the baseline at y = 0; y grows downward.
    EXPECT_NEAR(h.bottom, 0, 0.5f);
    EXPECT_NEAR(h.top, -73, 2);
    const Box hh = bounds(lettering("HH", Typeface::Sans, 100));
    EXPECT_GT(hh.width(), 1.8f * h.width());
    // A "p" hangs below the baseline; a wide caption is scaled into its width.
    EXPECT_GT(bounds(lettering("p", Typeface::Sans, 100)).bottom, 15);
    const Box fitted = bounds(caption("VELLAMARKFEST", Typeface::Sans, 200, 320, 100, 600));
    EXPECT_NEAR(fitted.width(), 600, 1);
    EXPECT_NEAR((fitted.left + fitted.right) / 2, 320, 1);
}

TEST(Canvas, PaintsOverWhatLiesBeneath) {
    Canvas canvas(4, 1);
    fill(canvas, rect(2, 0, 2, 1), solid(hex(0x0000ff)));
    fill(canvas, rect(1, 0, 2, 1), solid(hex(0xff0000, 0.5f)));
    const Colour alone = pixelAt(canvas, 1, 0), over = pixelAt(canvas, 2, 0);
    EXPECT_FLOAT_EQ(alone.r, 1); // straight colour, half covered
    EXPECT_FLOAT_EQ(alone.a, 0.5f);
    EXPECT_FLOAT_EQ(over.r, 0.5f);
    EXPECT_FLOAT_EQ(over.b, 0.5f);
    EXPECT_FLOAT_EQ(over.a, 1);
    EXPECT_FLOAT_EQ(pixelAt(canvas, 0, 0).a, 0);
}

TEST(ImageFile, KeepsStraightAlphaWithTheTopRowFirst) {
    TempDir tmp;
    ilInit();
    Canvas canvas(3, 2);
    fill(canvas, rect(0, 0, 1, 1), solid(hex(0xff0000, 128 / 255.0f)));
    fill(canvas, rect(0, 1, 3, 1), solid(hex(0x00ff00)));
    ASSERT_TRUE(saveImage(canvas, tmp.path("card.png"), FileKind::Png));
    const Image card = readImage(tmp.path("card.png"));
    ASSERT_EQ(card.width, 3);
    ASSERT_EQ(card.height, 2);
    EXPECT_EQ(card.at(0, 0), (Rgba{255, 0, 0, 128}));
    EXPECT_EQ(card.at(2, 0).a, 0);
    EXPECT_EQ(card.at(1, 1), (Rgba{0, 255, 0, 255}));

    // A picture meant to be opaque is refused while any of it is see-through.
    EXPECT_FALSE(saveImage(canvas, tmp.path("picture.png"), FileKind::OpaquePng));
    fill(canvas, solid(hex(0x808080)));
    ASSERT_TRUE(saveImage(canvas, tmp.path("picture.jpg"), FileKind::Jpeg));
    const Image jpeg = readImage(tmp.path("picture.jpg"));
    ASSERT_EQ(jpeg.width, 3);
    EXPECT_TRUE(near(jpeg.at(0, 0), Rgba{128, 128, 128, 255}, 6));
}

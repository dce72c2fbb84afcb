// Texture loading against real GL: formats, failures, the mirrored texture matrix.
#include "assets/assets.h"
#include "tests/support.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> textureTexels(const Texture& texture, int width, int height) {
    std::vector<uint8_t> texels(size_t(width) * height * 4);
    glBindTexture(GL_TEXTURE_2D, texture.glName);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

Rgba texel(const std::vector<uint8_t>& texels, int width, int x, int y) {
    const uint8_t* p = &texels[(size_t(y) * width + x) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
}

int textureSize(const Texture& texture, GLenum which) {
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture.glName);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, which, &value);
    return value;
}

class TextureTest : public ::testing::Test {
  protected:
    void SetUp() override { openTestWindow(); }
    TempDir tmp;
};

} // namespace

TEST_F(TextureTest, RgbGreyAndPalettedFilesBecomeRgbaWithTheirColours) {
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 128};
    writeImage(
        tmp.path("rgba.png"), 4, 2, [&](int x, int) { return x < 2 ? red : green; }, IL_PNG);
    writeGreyImage(tmp.path("grey.png"), 3, 3, [](int x, int) { return uint8_t(x * 100); });
    const Rgba palette[2] = {{10, 20, 30, 255}, {200, 150, 100, 255}};
    writePalettedBmp(tmp.path("pal.bmp"), 5, 4, palette, [](int x, int y) { return (x + y) % 2; });

    Texture rgba(tmp.path("rgba.png").c_str());
    ASSERT_NE(rgba.glName, 0u);
    EXPECT_EQ(textureSize(rgba, GL_TEXTURE_WIDTH), 4);
    EXPECT_EQ(textureSize(rgba, GL_TEXTURE_HEIGHT), 2);
    auto t = textureTexels(rgba, 4, 2);
    EXPECT_EQ(texel(t, 4, 0, 0), red);
    EXPECT_EQ(texel(t, 4, 3, 1), green); // alpha survives

    Texture grey(tmp.path("grey.png").c_str());
    ASSERT_NE(grey.glName, 0u);
    t = textureTexels(grey, 3, 3);
    EXPECT_EQ(texel(t, 3, 2, 1), (Rgba{200, 200, 200, 255}));
    EXPECT_EQ(texel(t, 3, 0, 2), (Rgba{0, 0, 0, 255}));

    Texture pal(tmp.path("pal.bmp").c_str());
    ASSERT_NE(pal.glName, 0u);
    EXPECT_EQ(textureSize(pal, GL_TEXTURE_WIDTH), 5); // not padded to a power of two
    t = textureTexels(pal, 5, 4);
    int ones = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const Rgba c = texel(t, 5, x, y);
            ASSERT_TRUE(c == palette[0] || c == palette[1]) << x << "," << y;
            ones += c == palette[1];
        }
    EXPECT_EQ(ones, 10);
}

TEST_F(TextureTest, JpegLoads) {
    writeImage(
        tmp.path("blue.jpg"), 16, 16,
        [](int, int) {
            return Rgba{0, 0, 255, 255};
        },
        IL_JPG);
    Texture jpeg(tmp.path("blue.jpg").c_str());
    ASSERT_NE(jpeg.glName, 0u);
    const auto t = textureTexels(jpeg, 16, 16);
    EXPECT_TRUE(near(texel(t, 16, 8, 8), Rgba{0, 0, 255, 255}, 12));
    EXPECT_EQ(texel(t, 16, 8, 8).a, 255);
}

TEST_F(TextureTest, MissingFileGivesMessageAndEmptyRecordAndFreesTheImage) {
    ILuint probe = 0; // DevIL hands out the name it freed last, so the load below gets it
    ilGenImages(1, &probe);
    ilDeleteImages(1, &probe);

    testing::internal::CaptureStderr();
    Texture missing;
    EXPECT_FALSE(missing.load(tmp.path("nothing.png").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: DevIL failed to load the image!\n");
    EXPECT_EQ(missing.glName, 0u);
    EXPECT_FALSE(ilIsImage(probe)) << "the decoded image of a failed load is left allocated";

    testing::internal::CaptureStderr();
    writeText(tmp.path("junk.png"), "this is not a picture");
    Texture junk(tmp.path("junk.png").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: DevIL failed to load the image!\n");
    EXPECT_EQ(junk.glName, 0u);
}

TEST_F(TextureTest, SameFileTwiceGivesTwoGlNames) {
    writeImage(
        tmp.path("a.png"), 2, 2,
        [](int, int) {
            return Rgba{1, 2, 3, 255};
        },
        IL_PNG);
    Texture first(tmp.path("a.png").c_str()), second(tmp.path("a.png").c_str());
    EXPECT_NE(first.glName, 0u);
    EXPECT_NE(second.glName, 0u);
    EXPECT_NE(first.glName, second.glName);
}

TEST_F(TextureTest, TextureMatrixIsTheMirrorAndTQuarterSamplesAQuarterUp) {
    // 64 rows; the row k rows up from the bottom has green 4k.
    writeImage(
        tmp.path("ramp.png"), 1, 64,
        [](int, int y) {
            return Rgba{0, uint8_t(4 * (63 - y)), 0, 255};
        },
        IL_PNG);
    writeImage(
        tmp.path("b.png"), 2, 2, [](int, int) { return Rgba{}; }, IL_PNG);
    Texture ramp(tmp.path("ramp.png").c_str());
    Texture other(tmp.path("b.png").c_str());
    Texture more(tmp.path("b.png").c_str());

    GLfloat m[16];
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    const GLfloat mirror[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], mirror[i]) << i;
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    // Fill the screen with the texture sampled at t = 0.25 everywhere.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindTexture(GL_TEXTURE_2D, ramp.glName);
    // clang-format off
    glBegin(GL_QUADS);
        glTexCoord2f(0, 0.25f); glVertex3f(-1, -1, 0);
        glTexCoord2f(1, 0.25f); glVertex3f(1, -1, 0);
        glTexCoord2f(1, 0.25f); glVertex3f(1, 1, 0);
        glTexCoord2f(0, 0.25f); glVertex3f(-1, 1, 0);
    glEnd();
    // clang-format on
    glFinish();
    // A quarter up is the edge between rows 15 and 16 from the bottom: green (60 + 64) / 2.
    const Rgba seen = readBackPixel(640, 360);
    EXPECT_NEAR(seen.g, 62, 3);
}

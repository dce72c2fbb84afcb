// Drawing without a window: a known picture drawn off-screen with no display, and read back.
#include "app/offscreen.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

namespace {

constexpr int width = 320, height = 180;

const uint8_t* at(const std::vector<uint8_t>& rgba, int x, int y) {
    return &rgba[(size_t(y) * width + x) * 4]; // y counts from the bottom row
}

// Pixel coordinates under an orthographic projection, y upward.
void pixelProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

} // namespace

TEST(Offscreen, DrawsAndReadsBackWithoutADisplay) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    OffscreenContext context;
    std::string error;
    ASSERT_TRUE(context.open(width, height, 8, error)) << error;
    EXPECT_EQ(context.width(), width);
    EXPECT_EQ(context.height(), height);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], width);
    EXPECT_EQ(viewport[3], height);

    // Blue everywhere, a red quad over the lower left quarter, depth-tested green behind it.
    pixelProjection();
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0);
    glVertex3f(0, 0, 0.5f);
    glVertex3f(width / 2.0f, 0, 0.5f);
    glVertex3f(width / 2.0f, height / 2.0f, 0.5f);
    glVertex3f(0, height / 2.0f, 0.5f);
    glColor3f(0, 1, 0); // farther away (larger depth under glOrtho's z flip): hidden
    glVertex3f(0, 0, -0.5f);
    glVertex3f(width / 4.0f, 0, -0.5f);
    glVertex3f(width / 4.0f, height / 4.0f, -0.5f);
    glVertex3f(0, height / 4.0f, -0.5f);
    glEnd();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    context.readPixels(rgba.data());
    const uint8_t* lowLeft = at(rgba, 10, 10);
    EXPECT_EQ(lowLeft[0], 255);
    EXPECT_EQ(lowLeft[1], 0);
    EXPECT_EQ(lowLeft[2], 0);
    const uint8_t* upRight = at(rgba, width - 10, height - 10);
    EXPECT_EQ(upRight[0], 0);
    EXPECT_EQ(upRight[2], 255);
    const uint8_t* lowRight = at(rgba, width - 10, 10);
    EXPECT_EQ(lowRight[0], 0);
    EXPECT_EQ(lowRight[2], 255);
}

TEST(Offscreen, SmoothsEdgesAsMuchAsTheWindow) {
    unsetenv("DISPLAY");
    OffscreenContext context;
    std::string error;
    ASSERT_TRUE(context.open(width, height, 8, error)) << error;
    EXPECT_GE(context.samples(), 4);

    // A white triangle with a shallow edge on black: multisampling leaves grey steps along it.
    pixelProjection();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1, 1, 1);
    glBegin(GL_TRIANGLES);
    glVertex2f(0, 20);
    glVertex2f(width, 60);
    glVertex2f(0, 120);
    glEnd();
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    context.readPixels(rgba.data());
    std::set<int> greys;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (at(rgba, x, y)[0] > 0 && at(rgba, x, y)[0] < 255) greys.insert(at(rgba, x, y)[0]);
    EXPECT_GE(greys.size(), size_t(context.samples() - 1)) << "no antialiased edge";
}

TEST(Offscreen, DrawsAtAnyRequestedSize) {
    unsetenv("DISPLAY");
    for (auto [w, h] : {std::pair{64, 36}, std::pair{1920, 1080}}) {
        OffscreenContext context;
        std::string error;
        ASSERT_TRUE(context.open(w, h, 4, error)) << error;
        glClearColor(1, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        std::vector<uint8_t> rgba(size_t(w) * h * 4, 0);
        context.readPixels(rgba.data());
        const uint8_t* last = &rgba[rgba.size() - 4];
        EXPECT_EQ(last[0], 255);
        EXPECT_EQ(last[1], 255);
        EXPECT_EQ(last[2], 0);
    }
}

// A display in the environment changes nothing: the context never asks for one.
TEST(Offscreen, IgnoresADisplayInTheEnvironment) {
    setenv("DISPLAY", ":4321", 1); // no such server
    OffscreenContext context;
    std::string error;
    ASSERT_TRUE(context.open(width, height, 8, error)) << error;
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    context.readPixels(rgba.data());
    EXPECT_EQ(at(rgba, 5, 5)[1], 255);
    EXPECT_EQ(at(rgba, 5, 5)[0], 0);
}

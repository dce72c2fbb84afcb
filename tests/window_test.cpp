// Window, render context, loading screen and light against a real X server and GL.
#include "app/window.h"
#include "show/stage.h"
#include "assets/assets.h"
#include "tests/support.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <IL/il.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

void expectShowState() {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 1280);
    EXPECT_EQ(viewport[3], 720);
    GLint mode = 0, depthFunc = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));

    GLdouble projection[16], expected[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(45.0, 1280.0 / 720.0, 0.10000000149011612, 200.0);
    glGetDoublev(GL_PROJECTION_MATRIX, expected);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(projection[i], expected[i], 1e-6) << i;
}

// Runs the start-up steps up to the light from a directory holding Data/PlinketaLoading.png.
class LoadingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(tmp.path("Data"));
        previous = std::filesystem::current_path();
        std::filesystem::current_path(tmp.dir);
    }
    void TearDown() override { std::filesystem::current_path(previous); }
    void startUp() {
        ASSERT_TRUE(openWindow(1280, 720, true));
        ASSERT_TRUE(initImageLibrary());
        ASSERT_TRUE(initGLState());
        ASSERT_TRUE(showLoadingScreen());
    }
    TempDir tmp;
    std::filesystem::path previous;
};

} // namespace

TEST(WindowTest, FullScreenOpensAt1280x720WithTheShowState) {
    // The X server offers no 8-sample visual, so this also walks the multisample fall-back.
    ASSERT_TRUE(openWindow(1280, 720, true));
    const SDL_Surface* screen = SDL_GetVideoSurface();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->w, 1280);
    EXPECT_EQ(screen->h, 720);
    EXPECT_TRUE(screen->flags & SDL_OPENGL);
    int doubleBuffer = 0, depth = 0;
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffer);
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    EXPECT_EQ(doubleBuffer, 1);
    EXPECT_GE(depth, 24);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_TRUE(initGLState());
    expectShowState();
}

TEST(WindowTest, AnotherWindowSizeStillGetsThe1280x720ViewportAndProjection) {
    ASSERT_TRUE(openWindow(640, 360, false));
    EXPECT_EQ(SDL_GetVideoSurface()->w, 640);
    EXPECT_TRUE(initGLState());
    expectShowState();
}

TEST(WindowTest, NoDisplayGivesTheInitMessage) {
    setenv("SDL_VIDEODRIVER", "x11", 1); // else SDL falls back to a terminal driver
    setenv("DISPLAY", ":31999", 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(openWindow(1280, 720, true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: Unable to initialize SDL!\n");
}

TEST_F(LoadingTest, LoadingImageFillsTheScreenUpright) {
    const Rgba top{250, 200, 0, 255}, bottom{0, 60, 250, 255};
    ilInit();
    writeImage(
        tmp.path("Data/PlinketaLoading.png"), 160, 720,
        [&](int, int y) { return y < 360 ? top : bottom; }, IL_PNG);
    startUp();
    EXPECT_NE(loadingImage, nullptr);
    EXPECT_NE(loadingImage->glName, 0u);
    const Screenshot shot = captureWindow();
    ASSERT_EQ(shot.width, 1280);
    ASSERT_EQ(shot.height, 720);
    // The outermost rows blend the image's top and bottom rows (linear filter, repeat wrap),
    // so they are covered but not pure; a few rows in, each half shows its own colour.
    const Rgba black{0, 0, 0, 255};
    for (int x : {0, 640, 1279}) {
        EXPECT_TRUE(near(shot.at(x, 1), top)) << x;
        EXPECT_TRUE(near(shot.at(x, 300), top)) << x;
        EXPECT_TRUE(near(shot.at(x, 420), bottom)) << x;
        EXPECT_TRUE(near(shot.at(x, 718), bottom)) << x;
        EXPECT_FALSE(near(shot.at(x, 0), black, 40)) << x;
        EXPECT_FALSE(near(shot.at(x, 719), black, 40)) << x;
    }
}

TEST_F(LoadingTest, MissingLoadingImageShowsMessageAndAWhiteQuad) {
    testing::internal::CaptureStderr();
    startUp();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: DevIL failed to load the image!\n");
    ASSERT_NE(loadingImage, nullptr);
    EXPECT_EQ(loadingImage->glName, 0u);
    const Screenshot shot = captureWindow();
    ASSERT_EQ(shot.width, 1280);
    EXPECT_TRUE(near(shot.at(0, 0), Rgba{255, 255, 255, 255}));
    EXPECT_TRUE(near(shot.at(1279, 719), Rgba{255, 255, 255, 255}));
}

TEST_F(LoadingTest, LightStandsAtItsEyeSpacePosition) {
    startUp();
    setupLights();
    GLfloat position[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, position); // read back in eye space
    EXPECT_FLOAT_EQ(position[0], -10.5f);
    EXPECT_FLOAT_EQ(position[1], 10);
    EXPECT_FLOAT_EQ(position[2], -3.81f);
    EXPECT_FLOAT_EQ(position[3], 1);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    GLfloat diffuse[4];
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[0], 0.5f);
}

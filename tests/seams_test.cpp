// A frame drawn for a chosen moment through the seams (the clock held, drawn without presenting)
// equals, pixel for pixel as the X server shows it, the frame the live loop shows when paused at
// that moment.
#include "app/mainloop.h"
#include "app/startup.h"
#include "app/window.h"
#include "show/stage.h"
#include "music/bass.h"
#include "music/music.h"
#include "show/show.h"
#include "tests/support.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// One pass of the live main loop: an Escape pressed in the pass ends the loop after it.
void livePass() {
    SDL_Event escape{};
    escape.type = SDL_KEYDOWN;
    escape.key.state = SDL_PRESSED;
    escape.key.keysym.sym = SDLK_ESCAPE;
    ASSERT_EQ(SDL_PushEvent(&escape), 0);
    runMainLoop();
}

} // namespace

TEST(SeamsTest, AFrameDrawnForAMomentEqualsTheLiveFramePausedThere) {
    StartupSettings settings = desktopShow();
    settings.fullScreen = false;
    settings.sound = false;
    ASSERT_TRUE(startShow(settings));
    ASSERT_NE(musicStream, 0u);

    // A credit card over the spinning model, the three stacked windows, the portrait alone
    // between black strips. Each on a sample of the track, so the live clock stands exactly there.
    for (double moment : {12.3, 51.0, 57.0}) {
        SCOPED_TRACE(moment);
        musicResume(); // the live clock, no longer held
        musicPause();
        ASSERT_TRUE(BASS_ChannelSetPosition(musicStream, QWORD(std::llround(moment * 44100)) * 4));
        ASSERT_EQ(musicTime(), moment);
        livePass(); // takes the spectrum at the moment
        livePass(); // draws with it and presents
        const Screenshot live = captureWindow();
        ASSERT_EQ(live.width, showWidth);
        ASSERT_EQ(live.height, showHeight);

        // A black frame between, so that the picture compared below is the one drawn next.
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        presentFrame();
        ASSERT_TRUE(near(captureWindow().at(640, 360), Rgba{0, 0, 0, 255}));

        ASSERT_TRUE(musicHold(moment));
        musicFetchSpectrum(spectrum);
        ASSERT_TRUE(drawFrame());
        presentFrame();
        const std::vector<Rgba> drawn = captureWindow().pixels;
        ASSERT_EQ(drawn.size(), live.pixels.size());
        long differing = 0, lit = 0;
        for (size_t i = 0; i < drawn.size(); ++i) {
            differing += !(drawn[i] == live.pixels[i]);
            lit += drawn[i].r + drawn[i].g + drawn[i].b > 60;
        }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(lit, long(drawn.size() / 4)) << "the frame is mostly black";
    }
    stopShow();
}

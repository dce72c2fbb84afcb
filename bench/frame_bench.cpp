// Prints how long one frame of the show takes, drawn and presented, at a few of its moments.
// Run it from the source root, with an X display: it loads the committed data like the program.
#include "app/app.h"
#include "assets/assets.h"
#include "music/music.h"
#include "timeline/timeline.h"

#include <chrono>
#include <cstdio>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main() {
    if (!openWindow(1280, 720, false)) return 1;
    initImageLibrary();
    initGLState();
    showLoadingScreen();
    setupLights();
    auto start = std::chrono::steady_clock::now();
    loadAssets();
    std::printf("loadAssets: %.0f ms\n", secondsSince(start) * 1e3);

    // The "no sound" device, paused: every frame of a moment draws the same picture.
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    start = std::chrono::steady_clock::now();
    musicStream = BASS_StreamCreateFile(FALSE, "Data/Zrax2011.mp3", 0, 0, BASS_STREAM_PRESCAN);
    std::printf("opening the track: %.0f ms\n", secondsSince(start) * 1e3);
    BASS_ChannelPlay(musicStream, TRUE);
    BASS_Pause();

    struct Moment {
        double seconds;
        const char* what;
    };
    const Moment moments[] = {
        {2, "window 1: two images"},
        {6, "window 2: three images"},
        {13, "credits: image, model, image"},
        {20, "one image"},
        {51, "windows 21-23: image, image, portrait"},
        {85, "after the end: nothing drawn or presented"},
    };
    const int frames = 200;
    for (const Moment& moment : moments) {
        BASS_ChannelSetPosition(musicStream, QWORD(moment.seconds * 44100) * 4);
        musicFetchSpectrum(spectrum); // the model stretched as in the show
        for (int i = 0; i < 10; ++i)
            renderFrame();
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i)
            renderFrame();
        const double each = secondsSince(start) / frames;
        std::printf("%5.1f s  %-42s %6.2f ms per frame (%4.0f per second)\n", moment.seconds,
                    moment.what, each * 1e3, 1 / each);
    }
    BASS_Free();
    return 0;
}

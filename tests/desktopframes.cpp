// Draws moments of the show through the system's desktop GL off-screen, as the recorder does, and
// writes each picture raw, for comparison with other ways of drawing it.
//
//     desktopframes FOLDER WIDTH HEIGHT SECONDS...
//
// writes FOLDER/0.rgba, FOLDER/1.rgba, ... (WIDTH * HEIGHT * 4 bytes each, the lowest row first)
// and prints "samples N", the samples per pixel drawn with.
#include "app/offscreen.h"
#include "app/record.h"
#include "app/recorder.h"
#include "app/startup.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fputs("usage: desktopframes FOLDER WIDTH HEIGHT SECONDS...\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    OffscreenContext context;
    std::string error;
    // As many samples as the recorder asks for.
    if (width <= 0 || height <= 0 || !context.open(width, height, 8, error)) {
        std::fprintf(stderr, "desktopframes: %s\n", error.c_str());
        return 1;
    }
    startShow(offscreenShow(width, height));
    const RecordedShow show = recordableShow();
    std::vector<uint8_t> picture(size_t(width) * height * 4);
    for (int i = 4; i < argc; ++i) {
        show.hold(std::atof(argv[i]));
        show.draw();
        context.readPixels(picture.data());
        const std::string path = folder + "/" + std::to_string(i - 4) + ".rgba";
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr ||
            std::fwrite(picture.data(), 1, picture.size(), out) != picture.size() ||
            std::fclose(out) != 0) {
            std::fprintf(stderr, "desktopframes: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::printf("samples %d\n", context.samples());
    return 0;
}

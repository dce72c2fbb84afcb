// Compares two raw pictures of one size as the tests written in Python compare the show's frames
// (tests/psnr.h), so that every test holds frames against each other by the same arithmetic.
//
//     picturecompare DRAWN REFERENCE WIDTH HEIGHT CHANNELS [BIN0 BIN2]
//
// prints "frame DB" over the whole picture, and with the spectrum's bins 0 and 2 also
// "model X0 Y0 X1 Y1 DB", the model's box (tests/psnr.h, for data/Drusk/Drusk.obj read from the
// working folder) and the PSNR inside it. DB is "inf" where the two agree. Status 2 on bad use.
#include "tests/psnr.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<uint8_t> readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6 && argc != 8) {
        std::fputs("usage: picturecompare DRAWN REFERENCE WIDTH HEIGHT CHANNELS [BIN0 BIN2]\n",
                   stderr);
        return 2;
    }
    const int width = std::atoi(argv[3]), height = std::atoi(argv[4]);
    const int channels = std::atoi(argv[5]);
    const std::vector<uint8_t> drawn = readAll(argv[1]), reference = readAll(argv[2]);
    const size_t size = size_t(width) * height * channels;
    if (width <= 0 || height <= 0 || (channels != 3 && channels != 4) || drawn.size() != size ||
        reference.size() != size) {
        std::fprintf(stderr, "picturecompare: two pictures of %dx%dx%d bytes wanted\n", width,
                     height, channels);
        return 2;
    }
    std::printf("frame %.4f\n", psnrIn(drawn.data(), reference.data(), width, height, channels,
                                       {0, 0, width, height}));
    if (argc == 8) {
        const PixelBox box = modelBox(objReach("data/Drusk/Drusk.obj"), std::atof(argv[6]),
                                      std::atof(argv[7]), width, height);
        std::printf("model %d %d %d %d %.4f\n", box.x0, box.y0, box.x1, box.y1,
                    psnrIn(drawn.data(), reference.data(), width, height, channels, box));
    }
    return 0;
}

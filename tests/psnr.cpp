// Picture comparison: the mean squared difference of 8-bit colour channels as decibels, and the
// model's box.
#include "tests/psnr.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

double psnrIn(const uint8_t* a, const uint8_t* b, int width, int height, int channels,
              PixelBox box) {
    assert(channels == 3 || channels == 4);
    const int x0 = std::max(box.x0, 0), x1 = std::min(box.x1, width);
    const int y0 = std::max(box.y0, 0), y1 = std::min(box.y1, height);
    assert(x0 < x1 && y0 < y1 && "a box inside the picture");
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const size_t at = (size_t(y) * width + x) * channels;
            for (int c = 0; c < 3; ++c) {
                const double d = double(a[at + c]) - double(b[at + c]);
                sum += d * d;
            }
        }
    const double mean = sum / (double(x1 - x0) * (y1 - y0) * 3);
    if (mean == 0) return INFINITY;
    return 10 * std::log10(255.0 * 255.0 / mean);
}

double psnrRgb(const uint8_t* a, const uint8_t* b, int width, int height) {
    return psnrIn(a, b, width, height, 4, {0, 0, width, height});
}

double objReach(const char* path) {
    std::ifstream in(path);
    std::string line;
    double reach = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        double x = 0, y = 0, z = 0;
        if (words >> kind && kind == "v" && words >> x >> y >> z)
            reach = std::max(reach, std::sqrt(x * x + y * y + z * z));
    }
    return reach;
}

PixelBox modelBox(double reach, double bin0, double bin2, int width, int height) {
    constexpr double gainX = 0.8, gainZ = 0.9; // the credits' stretch per unit of bins 2 and 0
    reach *= std::max({1.0, 1 + gainX * bin2, 1 + gainZ * bin0});
    const double depth = 21.81 - reach;
    const double focal = 1 / std::tan(22.5 * M_PI / 180);
    const int half = int(std::ceil(focal * reach / depth * height / 2)) + 2;
    return {width / 2 - half, height / 2 - half, width / 2 + half, height / 2 + half};
}

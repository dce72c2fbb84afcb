// Picture comparison: the mean squared difference of 8-bit colour channels as decibels.
#include "tests/psnr.h"

#include <algorithm>
#include <cassert>
#include <cmath>

double psnrRgbIn(const uint8_t* a, const uint8_t* b, int width, int height, PixelBox box) {
    const int x0 = std::max(box.x0, 0), x1 = std::min(box.x1, width);
    const int y0 = std::max(box.y0, 0), y1 = std::min(box.y1, height);
    assert(x0 < x1 && y0 < y1 && "a box inside the picture");
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const size_t at = (size_t(y) * width + x) * 4;
            for (int c = 0; c < 3; ++c) {
                const double d = double(a[at + c]) - double(b[at + c]);
                sum += d * d;
            }
        }
    const double mean = sum / (double(x1 - x0) * (y1 - y0) * 3);
    if (mean == 0) return INFINITY;
    return 10 * std::log10(255.0 * 255.0 / mean);
}

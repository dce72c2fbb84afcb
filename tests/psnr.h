// Picture comparison for the tests: peak signal-to-noise ratio over a whole picture or a box of it.
#pragma once

#include <cstdint>

// A rectangle of pixels, [x0, x1) by [y0, y1), in whichever row order the pictures share.
struct PixelBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// PSNR in dB of two RGBA pictures over R, G and B inside `box` (clipped to the picture);
// infinite when they agree there.
double psnrRgbIn(const uint8_t* a, const uint8_t* b, int width, int height, PixelBox box);

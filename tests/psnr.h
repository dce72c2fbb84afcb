// Picture comparison for the tests: peak signal-to-noise ratio over a whole picture or a box of
// it, and the box the credits' model can reach on screen. The browser's and Windows' tests reach
// the same arithmetic through tests/picturecompare.cpp.
#pragma once

#include <cstdint>

// A rectangle of pixels, [x0, x1) by [y0, y1), in whichever row order the pictures share.
struct PixelBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// PSNR in dB of two pictures of `channels` bytes a pixel (RGB or RGBA), over R, G and B inside
// `box` (clipped to the picture); infinite when they agree there.
double psnrIn(const uint8_t* a, const uint8_t* b, int width, int height, int channels,
              PixelBox box);
// Over the whole of two RGBA pictures.
double psnrRgb(const uint8_t* a, const uint8_t* b, int width, int height);

// The distance of an OBJ file's farthest vertex from its origin, in model units; 0 when it has
// none or cannot be read.
double objReach(const char* path);
// Where a model of that reach can be on a width x height picture of the show while it spins, 20
// units behind the image plane (eye z -1.81) under the 45-degree projection, stretched by the
// spectrum's bins 0 and 2 as the credits stretch it: a square about the centre, two pixels to
// spare, from its farthest vertex on the stretched axes at the nearest depth the spin brings it.
PixelBox modelBox(double reach, double bin0, double bin2, int width, int height);

// Canvas to file: straight 8-bit RGBA through DevIL, as PNG with or without alpha, or JPEG.
#include "tools/tools.h"

#include <IL/il.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

uint8_t toByte(float v) {
    return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
}

} // namespace

bool saveImage(const Canvas& canvas, const std::string& path, FileKind kind) {
    std::vector<uint8_t> bytes(size_t(canvas.width) * canvas.height * 4);
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            const Colour c = pixelAt(canvas, x, y);
            uint8_t* p = &bytes[(size_t(y) * canvas.width + x) * 4];
            p[0] = toByte(c.r), p[1] = toByte(c.g), p[2] = toByte(c.b), p[3] = toByte(c.a);
            if (kind != FileKind::Png && p[3] != 255) {
                std::fprintf(stderr, "makedata: %s is not opaque at (%d, %d)\n", path.c_str(), x,
                             y);
                return false;
            }
        }

    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ilTexImage(canvas.width, canvas.height, 1, 4, IL_RGBA, IL_UNSIGNED_BYTE, bytes.data());
    ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT); // row 0 of `bytes` is the top row
    ilEnable(IL_FILE_OVERWRITE);
    bool saved = true;
    if (kind != FileKind::Png) saved = ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE);
    if (kind == FileKind::Jpeg) ilSetInteger(IL_JPG_QUALITY, 90);
    saved = saved && ilSave(kind == FileKind::Jpeg ? IL_JPG : IL_PNG, path.c_str());
    ilDeleteImages(1, &image);
    if (!saved) std::fprintf(stderr, "makedata: DevIL cannot write %s\n", path.c_str());
    return saved;
}

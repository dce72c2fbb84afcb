// Fuzz target: our image library (DevIL's interface over libpng and libjpeg-turbo) on any file:
// a picture whose every pixel can be read, in 8-bit RGB or RGBA, or a clear failure.
#include "tests/fuzz/fuzz_support.h"

#include <IL/il.h>

#include <cstdint>

namespace {

// Reads every byte of the bound picture, so that AddressSanitizer sees a buffer shorter than its
// size claims; returns their sum so that the reads are not left out.
unsigned sumOfBytes(ILint width, ILint height, ILint channels) {
    const ILubyte* data = ilGetData();
    require(data != nullptr, "a picture has pixels");
    unsigned sum = 0;
    for (size_t i = 0, n = size_t(width) * size_t(height) * size_t(channels); i < n; ++i)
        sum += data[i];
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = writeFuzzInput("picture", data, size);
    ILuint name = 0;
    ilGenImages(1, &name);
    ilBindImage(name);
    // Half the inputs through the decoding ahead of a load, which the page uses.
    const bool ahead = size > 0 && (data[size - 1] & 1) != 0;
    const bool decodedAhead = ahead && ilDecodeAhead(path.c_str());
    const bool loaded = ilLoadImage(path.c_str());
    require(!ahead || decodedAhead == loaded, "decoding ahead and loading agree");
    if (loaded) {
        const ILint width = ilGetInteger(IL_IMAGE_WIDTH), height = ilGetInteger(IL_IMAGE_HEIGHT);
        const ILint channels = ilGetInteger(IL_IMAGE_BPP);
        require(width > 0 && height > 0, "a picture has a size");
        require(channels == 3 || channels == 4, "a picture is 8-bit RGB or RGBA");
        require(ilGetInteger(IL_IMAGE_FORMAT) == (channels == 4 ? IL_RGBA : IL_RGB),
                "the format names the channels");
        sumOfBytes(width, height, channels);
        // As the texture code asks for it.
        require(ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE), "a picture converts to RGBA");
        require(ilGetInteger(IL_IMAGE_BPP) == 4 && ilGetInteger(IL_IMAGE_WIDTH) == width,
                "RGBA keeps the size");
        sumOfBytes(width, height, 4);
    } else {
        require(ilGetData() == nullptr, "a failed load leaves no picture");
    }
    ilDropAhead();
    ilDeleteImages(1, &name);
    return 0;
}

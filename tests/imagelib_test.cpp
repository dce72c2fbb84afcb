// Our image library (DevIL's interface over libpng and libjpeg-turbo, which the web and Windows
// builds decode every picture with), on the fuzz target's seed pictures and on headers that
// claim more pixels than a program can hold.
#include <IL/il.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string seeds = "tests/fuzz/corpus/image_fuzz/";

// Loads `path` into a fresh image: its width, height and bytes a pixel, or all 0 on failure,
// when the image must hold no pixels either.
struct Loaded {
    int width = 0, height = 0, channels = 0;
};
Loaded load(const std::string& path, bool ahead = false) {
    ILuint name = 0;
    ilGenImages(1, &name);
    ilBindImage(name);
    if (ahead) {
        EXPECT_TRUE(ilDecodeAhead(path.c_str())) << path;
    }
    Loaded loaded;
    if (ilLoadImage(path.c_str())) {
        loaded = {ilGetInteger(IL_IMAGE_WIDTH), ilGetInteger(IL_IMAGE_HEIGHT),
                  ilGetInteger(IL_IMAGE_BPP)};
        EXPECT_NE(ilGetData(), nullptr);
    } else {
        EXPECT_EQ(ilGetData(), nullptr) << path;
    }
    ilDeleteImages(1, &name);
    return loaded;
}

std::string writeFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST(ImageLibrary, EveryKindOfPictureDecodesToEightBitRgbOrRgba) {
    struct Case {
        const char* file;
        int width, height, channels;
    };
    // Grey made colour, palettes expanded (with transparency: RGBA), 16 bits halved.
    const Case cases[] = {
        {"grey1.png", 7, 5, 3},
        {"grey16.png", 4, 3, 3},
        {"greyalpha.png", 5, 4, 4},
        {"palette.png", 6, 3, 4},
        {"palette2.png", 9, 2, 4},
        {"rgb.png", 8, 8, 3},
        {"rgb16-interlaced.png", 9, 9, 3},
        {"rgba.png", 3, 7, 4},
        {"rgba-interlaced.png", 10, 6, 4},
        {"baseline.jpg", 16, 8, 3},
        {"grey.jpg", 9, 17, 3},
        {"progressive.jpg", 24, 16, 3},
        {"restarts.jpg", 16, 32, 3},
    };
    for (const Case& c : cases)
        for (bool ahead : {false, true}) {
            const Loaded loaded = load(seeds + c.file, ahead);
            EXPECT_EQ(loaded.width, c.width) << c.file;
            EXPECT_EQ(loaded.height, c.height) << c.file;
            EXPECT_EQ(loaded.channels, c.channels) << c.file;
        }
}

TEST(ImageLibrary, ABrokenPictureFailsWithoutAPicture) {
    for (const char* file : {"cut.png", "badcrc.png", "toowide.png"})
        EXPECT_EQ(load(seeds + file).width, 0) << file;
    EXPECT_EQ(load(seeds + "nosuchfile.png").width, 0);
}

// Headers claiming 100000 x 100000 pixels (40 GB as RGBA) and 65000 x 65000 are refused before
// the pixels are allocated, and so is 8193 x 8192, just past what the library holds.
TEST(ImageLibrary, APictureTooLargeToHoldIsRefusedBeforeItsPixelsAreAllocated) {
    // A PNG is checked chunk by chunk, so the header's checksum must hold: IHDR is rewritten.
    const auto png = [](unsigned width, unsigned height) {
        std::vector<unsigned char> bytes = readFile(seeds + "rgba.png");
        for (int i = 0; i < 4; ++i) {
            bytes[16 + i] = (width >> (24 - 8 * i)) & 0xFF;
            bytes[20 + i] = (height >> (24 - 8 * i)) & 0xFF;
        }
        unsigned crc = 0xFFFFFFFF; // over IHDR's type and data, bytes 12 to 28
        for (int i = 12; i < 29; ++i) {
            crc ^= bytes[i];
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
        }
        crc ^= 0xFFFFFFFF;
        for (int i = 0; i < 4; ++i)
            bytes[29 + i] = (crc >> (24 - 8 * i)) & 0xFF;
        return bytes;
    };
    // A JPEG's size is in its frame header (after FF C0 and the length and precision).
    const auto jpeg = [](unsigned width, unsigned height) {
        std::vector<unsigned char> bytes = readFile(seeds + "baseline.jpg");
        for (size_t i = 0; i + 8 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
                bytes[i + 5] = height >> 8, bytes[i + 6] = height & 0xFF;
                bytes[i + 7] = width >> 8, bytes[i + 8] = width & 0xFF;
                break;
            }
        return bytes;
    };
    EXPECT_EQ(load(writeFile("huge.png", png(100000, 100000))).width, 0);
    EXPECT_EQ(load(writeFile("past.png", png(8193, 8192))).width, 0);
    EXPECT_EQ(load(writeFile("huge.jpg", jpeg(65000, 65000))).width, 0);
    // The same rewriting of a size the library holds still decodes.
    EXPECT_EQ(load(writeFile("same.png", png(3, 7))).width, 3);
    EXPECT_EQ(load(writeFile("same.jpg", jpeg(16, 8))).width, 16);
}

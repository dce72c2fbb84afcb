// Test helpers: temporary directories, files and images the tests write, pixels read back.
#include "tests/support.h"

#include <gtest/gtest.h> // before Xlib, whose Bool macro it cannot take

#include "app/window.h"
#include "show/stage.h"
#include "assets/assets.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

TempDir::TempDir() {
    char name[] = "/tmp/zrxtestXXXXXX";
    const char* made = mkdtemp(name);
    if (made == nullptr) std::abort();
    dir = made;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

static void saveCurrentImage(const std::string& path, unsigned ilType) {
    ilEnable(IL_FILE_OVERWRITE);
    if (!ilSave(ilType, path.c_str())) ADD_FAILURE() << "DevIL cannot write " << path;
}

void writeImage(const std::string& path, int width, int height,
                const std::function<Rgba(int x, int y)>& colour, unsigned ilType) {
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgba c = colour(x, y);
            uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
            p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
        }
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ilTexImage(width, height, 1, 4, IL_RGBA, IL_UNSIGNED_BYTE, pixels.data());
    ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT); // row 0 of `pixels` is the top row
    if (ilType == IL_JPG) ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE);
    saveCurrentImage(path, ilType);
    ilDeleteImages(1, &image);
}

void writeGreyImage(const std::string& path, int width, int height,
                    const std::function<uint8_t(int x, int y)>& grey) {
    std::vector<uint8_t> pixels(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[size_t(y) * width + x] = grey(x, y);
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ilTexImage(width, height, 1, 1, IL_LUMINANCE, IL_UNSIGNED_BYTE, pixels.data());
    ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);
    saveCurrentImage(path, IL_PNG);
    ilDeleteImages(1, &image);
}

static void putLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

void writePalettedBmp(const std::string& path, int width, int height, const Rgba palette[2],
                      const std::function<int(int x, int y)>& index) {
    const int stride = (width + 3) & ~3;
    const uint32_t dataOffset = 14 + 40 + 256 * 4;
    std::vector<uint8_t> f;
    f.push_back('B'), f.push_back('M');
    putLe(f, dataOffset + stride * height, 4);
    putLe(f, 0, 4);
    putLe(f, dataOffset, 4);
    putLe(f, 40, 4), putLe(f, width, 4), putLe(f, height, 4); // positive height: bottom-up rows
    putLe(f, 1, 2), putLe(f, 8, 2), putLe(f, 0, 4), putLe(f, stride * height, 4);
    putLe(f, 2835, 4), putLe(f, 2835, 4), putLe(f, 256, 4), putLe(f, 0, 4);
    for (int i = 0; i < 256; ++i) {
        const Rgba c = palette[i < 2 ? i : 0];
        f.push_back(c.b), f.push_back(c.g), f.push_back(c.r), f.push_back(0);
    }
    for (int row = height - 1; row >= 0; --row) {
        for (int x = 0; x < stride; ++x)
            f.push_back(x < width ? uint8_t(index(x, row)) : 0);
    }
    writeText(path, std::string(f.begin(), f.end()));
}

Image readImage(const std::string& path) {
    static bool initialised = false;
    if (!initialised) ilInit();
    initialised = true;
    const bool originSet = ilIsEnabled(IL_ORIGIN_SET);
    const ILint originMode = ilGetInteger(IL_ORIGIN_MODE);
    ilEnable(IL_ORIGIN_SET);
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);

    Image result;
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    if (ilLoadImage(path.c_str()) && ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE)) {
        result.width = ilGetInteger(IL_IMAGE_WIDTH);
        result.height = ilGetInteger(IL_IMAGE_HEIGHT);
        const uint8_t* data = ilGetData();
        result.pixels.resize(size_t(result.width) * result.height);
        for (size_t i = 0; i < result.pixels.size(); ++i)
            result.pixels[i] = Rgba{data[4 * i], data[4 * i + 1], data[4 * i + 2], data[4 * i + 3]};
    }
    ilDeleteImages(1, &image);

    ilOriginFunc(ILenum(originMode));
    if (!originSet) ilDisable(IL_ORIGIN_SET);
    return result;
}

void openTestWindow() {
    ASSERT_TRUE(openWindow(1280, 720, false));
    ASSERT_TRUE(initImageLibrary());
    ASSERT_TRUE(initGLState());
}

Rgba readBackPixel(int x, int y) {
    uint8_t p[4] = {};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, 719 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return Rgba{p[0], p[1], p[2], p[3]};
}

bool near(const Rgba& a, const Rgba& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// Mesa's software GL reads the front buffer back as black; the X server has the real picture.
Screenshot captureWindow() {
    Screenshot shot;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1) {
        ADD_FAILURE() << "no window";
        return shot;
    }
    Display* display = info.info.x11.display;
    info.info.x11.lock_func();
    XSync(display, False);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, info.info.x11.window, &attributes);
    XImage* image = XGetImage(display, info.info.x11.window, 0, 0, attributes.width,
                              attributes.height, AllPlanes, ZPixmap);
    info.info.x11.unlock_func();
    if (image == nullptr) {
        ADD_FAILURE() << "XGetImage failed";
        return shot;
    }
    shot.width = attributes.width;
    shot.height = attributes.height;
    shot.pixels.resize(size_t(shot.width) * shot.height);
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            shot.pixels[size_t(y) * shot.width + x] =
                Rgba{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), 255};
        }
    XDestroyImage(image);
    return shot;
}

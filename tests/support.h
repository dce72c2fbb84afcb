// Test helpers: temporary directories, files and images the tests write, pixels read back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A fresh directory under /tmp, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::vector<std::string> entries() const; // the names in it, without "." and ".."
    std::string dir;
};

void writeText(const std::string& path, const std::string& text);
std::string readText(const std::string& path);

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

// Writes a width x height image whose pixel at (x, y), y = 0 the top row, is colour(x, y).
// `ilType` is a DevIL file type (IL_PNG, IL_JPG, ...). DevIL must be initialised (ilInit).
void writeImage(const std::string& path, int width, int height,
                const std::function<Rgba(int x, int y)>& colour, unsigned ilType);
// An 8-bit greyscale PNG, and an 8-bit paletted BMP written byte by byte.
void writeGreyImage(const std::string& path, int width, int height,
                    const std::function<uint8_t(int x, int y)>& grey);
void writePalettedBmp(const std::string& path, int width, int height, const Rgba palette[2],
                      const std::function<int(int x, int y)>& index);

// A decoded image file in straight RGBA, y = 0 the top row; width 0 when DevIL cannot read it.
// Initialises DevIL if needed and leaves its origin settings as it found them.
struct Image {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;
    Rgba at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};
Image readImage(const std::string& path);

// Opens a 1280x720 window (not full screen) with the GL state of the show and DevIL ready.
void openTestWindow();

// The colour at window pixel (x, y), y = 0 the top row, read from the GL back buffer.
Rgba readBackPixel(int x, int y);

// What the X server shows in the show's window, y = 0 the top row.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;
    Rgba at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};
Screenshot captureWindow();
// True when red, green and blue each differ by at most `tolerance` (alpha is not compared).
bool near(const Rgba& a, const Rgba& b, int tolerance = 8);

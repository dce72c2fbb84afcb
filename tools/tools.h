// The data generator's kit: colours, paths, masks, canvases, lettering, and the show's files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// ---- Colours ----------------------------------------------------------------------------------

// Straight (not premultiplied) RGBA, each channel 0..1.
struct Colour {
    float r = 0, g = 0, b = 0, a = 1;
};

Colour hex(uint32_t rgb, float alpha = 1); // 0xRRGGBB
Colour mix(const Colour& from, const Colour& to, float t);
Colour withAlpha(Colour c, float alpha);

// Colours along 0..1; positions rise from stop to stop.
using Stops = std::vector<std::pair<float, Colour>>;
Colour colourAt(const Stops& stops, float t);

// The same numbers on every run and every machine: pictures must come out byte for byte alike.
struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed * 2654435761u + 1u) {}
    float next(); // 0..1
    float range(float low, float high) { return low + (high - low) * next(); }
};

// ---- Paths (pixels, y down) -------------------------------------------------------------------

struct Point {
    float x = 0, y = 0;
};
using Contour = std::vector<Point>; // closed: the last point joins the first

// Filled by the nonzero rule. The shape functions below wind every outer contour the same
// way, so appending paths unites them; the hole of a ring winds the other way.
struct Path {
    std::vector<Contour> contours;
};

struct Box {
    float left = 0, top = 0, right = 0, bottom = 0;
    float width() const { return right - left; }
    float height() const { return bottom - top; }
};

Path& operator+=(Path& path, const Path& more);
Path operator+(Path path, const Path& more);
Box bounds(const Path& path);

Path rect(float x, float y, float width, float height);
Path roundRect(float x, float y, float width, float height, float radius);
Path ellipse(float cx, float cy, float rx, float ry, float rotation = 0);
Path circle(float cx, float cy, float r);
Path ring(float cx, float cy, float outer, float inner);
Path polygon(std::vector<Point> points);
Path star(float cx, float cy, float outer, float inner, int points, float rotation = 0);
Path line(Point from, Point to, float width); // round ends
Path polyline(const std::vector<Point>& points, float width);
// The band between two radii from angle `from` to `to` (radians, clockwise from +x on screen).
Path arcBand(float cx, float cy, float outer, float inner, float from, float to);
// The quadratic curve through `control`, as points, for polyline() and polygon().
std::vector<Point> curve(Point from, Point control, Point to, int steps = 24);

Path mapped(Path path, const std::function<Point(Point)>& map);
Path translated(Path path, float dx, float dy);
Path scaled(Path path, float sx, float sy, Point about);
Path rotated(Path path, float radians, Point about);
Path centredAt(Path path, float cx, float cy);

// ---- Masks: coverage 0..1 over a rectangle of the canvas --------------------------------------

struct Mask {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<float> cover; // row by row
    float at(int x, int y) const;
};

Mask rasterise(const Path& path, int canvasWidth, int canvasHeight);
Mask grown(const Mask& mask, float radius); // soft-edged dilation by a disc
Mask blurred(const Mask& mask, int radius); // three box passes, about a Gaussian
Mask shifted(Mask mask, int dx, int dy);
Mask extruded(const Mask& mask, int dx, int dy); // the mask swept along (dx, dy)
Mask united(const Mask& a, const Mask& b);
Mask intersected(const Mask& a, const Mask& b);
Mask subtracted(const Mask& a, const Mask& b);

// ---- Canvases -----------------------------------------------------------------------------------

using Paint = std::function<Colour(float x, float y)>;
Paint solid(Colour colour);
Paint linear(Point from, Point to, Stops stops);
Paint vertical(float top, float bottom, Stops stops);
Paint radial(Point centre, float radius, Stops stops);

// Premultiplied RGBA pixels, transparent when made. `clip`, when set, limits every paint.
struct Canvas {
    Canvas(int w, int h) : width(w), height(h), pixels(size_t(w) * h, Colour{0, 0, 0, 0}) {}
    int width, height;
    std::vector<Colour> pixels;
    const Mask* clip = nullptr;
};

void paint(Canvas& canvas, const Mask& mask, const Paint& paint, float opacity = 1);
void fill(Canvas& canvas, const Path& path, const Paint& paint, float opacity = 1);
void fill(Canvas& canvas, const Paint& paint);      // the whole canvas
Colour pixelAt(const Canvas& canvas, int x, int y); // straight colour
// Paints `picture` with its top left corner at (x, y) where `mask` covers.
void paintCanvas(Canvas& canvas, const Canvas& picture, float x, float y, const Mask& mask);

// How cartoon shapes and lettering are drawn: a dark outline grown around the fill and a
// hard shadow or block extrusion behind both.
struct Style {
    Paint fill;
    Colour outline{0, 0, 0, 0};
    float outlineWidth = 0;
    Colour shadow{0, 0, 0, 0};
    int shadowX = 0, shadowY = 0;
    bool extrude = false; // sweep the shadow from the shape instead of offsetting it
    int shadowBlur = 0;
};
Style styled(Paint fill, Colour outline = {0, 0, 0, 0}, float outlineWidth = 0);
void draw(Canvas& canvas, const Path& path, const Style& style);

// ---- Lettering (FreeType outlines of the DejaVu fonts) ------------------------------------------

enum class Typeface { Sans, SansOblique, Condensed, Serif, SerifItalic, Mono };

// `text` set on a baseline at y = 0 from x = 0, `size` pixels to the em; `tracking` adds
// pixels between letters.
Path lettering(const std::string& text, Typeface face, float size, float tracking = 0);
// The same, scaled down when wider than `maxWidth`, centred on (cx, cy).
Path caption(const std::string& text, Typeface face, float size, float cx, float cy,
             float maxWidth = 1e9f);

// ---- Figures that appear in more than one picture -----------------------------------------------

// Glimmox, the show's hero: a round green creature with antennae. `size` is the body height;
// (cx, cy) the body's centre.
struct GlimmoxLook {
    Colour body = hex(0x62c93c);
    Colour belly = hex(0xc9f29b);
    bool armsUp = false;
    bool mouthOpen = false;
    bool cyborg = false; // a steel half with a red lens
    float gaze = 0.3f;   // pupils from -1 (left) to 1 (right)
};
void drawGlimmox(Canvas& canvas, float cx, float cy, float size, const GlimmoxLook& look);

// Cart, the wooden cart with a face, facing right: `width` of its box, `ground` the y its wheels
// stand on; `number` (0 for none) painted on its side like a race number.
void drawCart(Canvas& canvas, float cx, float ground, float width, int number);

// The group's logo: "OSTRAVEL" on an orbit ring, `width` pixels wide.
void drawOstravelLogo(Canvas& canvas, float cx, float cy, float width);

// A television set in `box`; `screen` draws the picture, clipped to the screen.
void drawTelevision(Canvas& canvas, Box box, const std::function<void(Canvas&)>& screen);

void drawPineTree(Canvas& canvas, float x, float ground, float height, Colour leaves);
void drawPalmTree(Canvas& canvas, float x, float ground, float height, float lean, Colour colour);
void drawHorse(Canvas& canvas, float x, float ground, float length, Colour coat);
void drawCloud(Canvas& canvas, float cx, float cy, float width, Colour colour);
void drawHeart(Canvas& canvas, float cx, float cy, float size, Colour colour, Colour outline);
// Lettering with a fill paint, dark outline and block shadow: the look of every title.
void drawTitle(Canvas& canvas, const Path& text, Paint fill, Colour outline, float outlineWidth,
               int depth);

// ---- Files --------------------------------------------------------------------------------------

enum class FileKind { Png, OpaquePng, Jpeg };
bool saveImage(const Canvas& canvas, const std::string& path, FileKind kind);

// Every picture of the show, and the program's icons, with its file below the data root and
// how it is drawn.
struct Picture {
    const char* file;
    FileKind kind;
    int width, height;
    void (*draw)(Canvas& canvas);
};
const std::vector<Picture>& pictures();

// Write the pictures (all, or only the one whose file is `only`), or the models with their
// materials and maps, below `root`; false after a message on stderr when a file cannot be
// written.
bool writePictures(const std::string& root, const std::string& only = "");
bool writeModels(const std::string& root);

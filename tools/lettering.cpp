// Lettering: FreeType glyph outlines of the DejaVu fonts, flattened into paths.
#include "tools/tools.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const fontDirectory = "/usr/share/fonts/truetype/dejavu/";

// Glyphs are loaded at this size and scaled, so that hinting never bends an outline.
constexpr float unitsPerPixel = 64;

FT_Library library = nullptr;
FT_Face faces[6] = {};

FT_Face faceFor(Typeface typeface) {
    // Each face with the Debian package that holds it.
    static const struct {
        const char* file;
        const char* package;
    } fonts[6] = {{"DejaVuSans-Bold.ttf", "fonts-dejavu-core"},
                  {"DejaVuSans-BoldOblique.ttf", "fonts-dejavu-extra"},
                  {"DejaVuSansCondensed-Bold.ttf", "fonts-dejavu-extra"},
                  {"DejaVuSerif-Bold.ttf", "fonts-dejavu-core"},
                  {"DejaVuSerifCondensed-BoldItalic.ttf", "fonts-dejavu-extra"},
                  {"DejaVuSansMono-Bold.ttf", "fonts-dejavu-core"}};
    const int index = int(typeface);
    if (faces[index] != nullptr) return faces[index];
    if (library == nullptr && FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "makedata: FreeType does not start\n");
        std::exit(1);
    }
    const std::string path = std::string(fontDirectory) + fonts[index].file;
    if (FT_New_Face(library, path.c_str(), 0, &faces[index]) != 0) {
        std::fprintf(stderr, "makedata: cannot open the font %s (package %s)\n", path.c_str(),
                     fonts[index].package);
        std::exit(1);
    }
    return faces[index];
}

// Collects an outline in font units (y up) as flattened contours.
struct Flattener {
    Path path;
    Point pen;
    float originX = 0;

    Point toPoint(const FT_Vector* v) const { return Point{originX + float(v->x), float(v->y)}; }
    void lineTo(Point p) {
        path.contours.back().push_back(p);
        pen = p;
    }
};

int moveTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    f->path.contours.emplace_back();
    f->lineTo(f->toPoint(to));
    return 0;
}

int lineTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    f->lineTo(f->toPoint(to));
    return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    const auto points = curve(f->pen, f->toPoint(control), f->toPoint(to), 8);
    for (size_t i = 1; i < points.size(); ++i)
        f->lineTo(points[i]);
    return 0;
}

int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    const Point p0 = f->pen, p1 = f->toPoint(c1), p2 = f->toPoint(c2), p3 = f->toPoint(to);
    for (int i = 1; i <= 10; ++i) {
        const float t = float(i) / 10, u = 1 - t;
        f->lineTo(
            {u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
             u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y});
    }
    return 0;
}

} // namespace

Path lettering(const std::string& text, Typeface typeface, float size, float tracking) {
    FT_Face face = faceFor(typeface);
    FT_Set_Char_Size(face, 0, FT_F26Dot6(unitsPerPixel * 64), 72, 72);
    static const FT_Outline_Funcs funcs = {moveTo, lineTo, conicTo, cubicTo, 0, 0};

    Flattener f;
    const float scale = size / unitsPerPixel / 64; // 26.6 units of the large size to pixels
    FT_UInt previous = 0;
    for (unsigned char ch : text) {
        const FT_UInt glyph = FT_Get_Char_Index(face, ch);
        if (previous != 0 && glyph != 0) {
            FT_Vector kern;
            if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_UNSCALED, &kern) == 0)
                f.originX += float(FT_MulFix(kern.x, face->size->metrics.x_scale));
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) continue;
        FT_Outline_Decompose(&face->glyph->outline, &funcs, &f);
        f.originX += float(face->glyph->advance.x) + tracking / scale;
        previous = glyph;
    }
    // Font units run up; the canvas runs down. The mirror also turns the outer contours to the
    // winding of the shape functions, so lettering adds up with shapes.
    return mapped(std::move(f.path), [scale](Point p) { return Point{p.x * scale, -p.y * scale}; });
}

Path caption(const std::string& text, Typeface face, float size, float cx, float cy,
             float maxWidth) {
    Path path = lettering(text, face, size);
    const float width = bounds(path).width();
    if (width > maxWidth) path = scaled(std::move(path), maxWidth / width, maxWidth / width, {});
    return centredAt(std::move(path), cx, cy);
}

// The four models: meshes lathed from profiles, written as OBJ with their MTL files and maps.
#include "tools/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr float pi = 3.14159265358979f;

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// One face corner: 1-based indices into the position, texture and normal lists.
struct Corner {
    int v, t, n;
};

struct MeshGroup {
    std::string name, material;
    std::vector<std::vector<Corner>> faces;
};

struct Mesh {
    std::vector<Vec3> positions, normals;
    std::vector<Point> uvs; // v = 0 at the bottom of the map
    std::vector<MeshGroup> groups;
};

struct Material {
    std::string name;
    Colour ambient, diffuse, specular, emission{0, 0, 0, 1};
    float shininess = 10; // 0..128
    float dissolve = 1;   // opacity; the show's alpha test drops 0.5 and below
    int illum = 2;
    std::string map; // map_Kd file beside the MTL file, or none
};

MeshGroup& group(Mesh& mesh, const std::string& name, const std::string& material) {
    mesh.groups.push_back({name, material, {}});
    return mesh.groups.back();
}

int addPosition(Mesh& m, Vec3 p) {
    m.positions.push_back(p);
    return int(m.positions.size());
}
int addNormal(Mesh& m, Vec3 n) {
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    m.normals.push_back({n.x / length, n.y / length, n.z / length});
    return int(m.normals.size());
}
int addUv(Mesh& m, float u, float v) {
    m.uvs.push_back({u, v});
    return int(m.uvs.size());
}

// A point of a lathe profile: radius from the axis, height, map v, and the outward normal in
// the (r, y) plane (left zero to take it from the neighbouring points).
struct ProfilePoint {
    float r, y, v;
    float nr = 0, ny = 0;
};

// Turns `profile` about the vertical axis through `centre`. The outside lies to the right of
// the profile's direction in the (r, y) plane, so a profile rising at positive r faces out.
// Map u runs once around, counter-clockwise seen from above, starting at +z.
void lathe(Mesh& m, MeshGroup& g, const std::vector<ProfilePoint>& profile, int segments,
           Vec3 centre) {
    const int n = int(profile.size());
    std::vector<int> ringStart(n), normalStart(n);
    for (int i = 0; i < n; ++i) {
        const ProfilePoint& p = profile[i];
        float nr = p.nr, ny = p.ny;
        if (nr == 0 && ny == 0) {
            const ProfilePoint& a = profile[std::max(i - 1, 0)];
            const ProfilePoint& b = profile[std::min(i + 1, n - 1)];
            nr = b.y - a.y;
            ny = -(b.r - a.r);
        }
        ringStart[i] = int(m.positions.size()) + 1;
        normalStart[i] = int(m.normals.size()) + 1;
        const int count = p.r == 0 ? 1 : segments; // a pole is one point
        for (int j = 0; j < count; ++j) {
            const float a = 2 * pi * float(j) / float(segments);
            const float s = std::sin(a), c = std::cos(a);
            addPosition(m, {centre.x + p.r * s, centre.y + p.y, centre.z + p.r * c});
            addNormal(m, {nr * s, ny, nr * c});
        }
    }
    const int uvStart = int(m.uvs.size()) + 1;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= segments; ++j)
            addUv(m, float(j) / float(segments), profile[i].v);

    auto corner = [&](int i, int j) {
        const bool pole = profile[i].r == 0;
        const int k = pole ? 0 : j % segments;
        return Corner{ringStart[i] + k, uvStart + i * (segments + 1) + j, normalStart[i] + k};
    };
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j < segments; ++j) {
            std::vector<Corner> face;
            face.push_back(corner(i, j));
            if (profile[i].r != 0) face.push_back(corner(i, j + 1));
            face.push_back(corner(i + 1, j + 1));
            if (profile[i + 1].r != 0) face.push_back(corner(i + 1, j));
            if (face.size() >= 3) g.faces.push_back(face);
        }
}

std::vector<ProfilePoint> sphereProfile(float radius, int steps, float from = 0, float to = pi) {
    std::vector<ProfilePoint> profile;
    for (int i = 0; i <= steps; ++i) {
        const float t = from + (to - from) * float(i) / float(steps);
        const float s = std::sin(t), c = -std::cos(t);
        profile.push_back(
            {std::abs(s) < 1e-6f ? 0 : radius * s, radius * c, float(i) / float(steps), s, c});
    }
    return profile;
}

void sphere(Mesh& m, MeshGroup& g, Vec3 centre, float radius, int rings, int segments) {
    lathe(m, g, sphereProfile(radius, rings), segments, centre);
}

// A ring of tube radius `tube` about the axis at `radius`, at height `y`.
void torus(Mesh& m, MeshGroup& g, float radius, float tube, float y, int rings, int segments) {
    std::vector<ProfilePoint> profile;
    for (int i = 0; i <= rings; ++i) {
        const float t = -pi + 2 * pi * float(i) / float(rings);
        profile.push_back({radius + tube * std::cos(t), y + tube * std::sin(t),
                           float(i) / float(rings), std::cos(t), std::sin(t)});
    }
    lathe(m, g, profile, segments, {});
}

void moveAll(Mesh& m, Vec3 by) {
    for (Vec3& p : m.positions)
        p = {p.x + by.x, p.y + by.y, p.z + by.z};
}

// A quarter turn about x: what faced up (+y) faces the viewer (+z).
void standUp(Mesh& m) {
    for (std::vector<Vec3>* list : {&m.positions, &m.normals})
        for (Vec3& p : *list)
            p = {p.x, -p.z, p.y};
}

// ---- Writing ----------------------------------------------------------------------------------

std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return std::string(text) == "-0.0000" ? "0.0000" : text;
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) std::fprintf(stderr, "makedata: cannot write %s\n", path.c_str());
    return bool(out);
}

bool writeObj(const std::string& path, const std::string& title, const Mesh& m,
              const std::string& mtl) {
    std::ostringstream out;
    out << "# " << title << "\n# Written by makedata.\nmtllib " << mtl << "\n";
    for (const Vec3& p : m.positions)
        out << "v " << number(p.x) << " " << number(p.y) << " " << number(p.z) << "\n";
    for (const Point& t : m.uvs)
        out << "vt " << number(t.x) << " " << number(t.y) << "\n";
    for (const Vec3& n : m.normals)
        out << "vn " << number(n.x) << " " << number(n.y) << " " << number(n.z) << "\n";
    for (const MeshGroup& g : m.groups) {
        out << "g " << g.name << "\nusemtl " << g.material << "\n";
        for (const auto& face : g.faces) {
            out << "f";
            for (const Corner& c : face)
                out << " " << c.v << "/" << c.t << "/" << c.n;
            out << "\n";
        }
    }
    return writeText(path, out.str());
}

bool writeMtl(const std::string& path, const std::vector<Material>& materials) {
    std::ostringstream out;
    out << "# Written by makedata.\n";
    auto colour = [&](const char* key, const Colour& c) {
        out << key << " " << number(c.r) << " " << number(c.g) << " " << number(c.b) << "\n";
    };
    for (const Material& m : materials) {
        out << "\nnewmtl " << m.name << "\n";
        colour("Ka", m.ambient);
        colour("Kd", m.diffuse);
        colour("Ks", m.specular);
        colour("Ke", m.emission);
        out << "Ns " << number(m.shininess) << "\nd " << number(m.dissolve) << "\nillum " << m.illum
            << "\n";
        if (!m.map.empty()) out << "map_Kd " << m.map << "\n";
    }
    return writeText(path, out.str());
}

// The show lights models dimly (a diffuse light of one half): strong ambient colours and a
// little glow of their own (`glow`, a share of the diffuse colour) keep them bright.
Material material(const std::string& name, Colour diffuse, float ambient, float specular,
                  float shininess, float glow = 0) {
    Material m;
    m.name = name;
    m.diffuse = diffuse;
    m.ambient = mix(Colour{0, 0, 0, 1}, diffuse, ambient);
    m.emission = mix(Colour{0, 0, 0, 1}, diffuse, glow);
    m.specular = Colour{specular, specular, specular, 1};
    m.shininess = shininess;
    return m;
}

// ---- Maps -------------------------------------------------------------------------------------

// The saucer's hull: the lower half of the map wraps the belly, the upper half the top deck.
void hullMap(Canvas& c) {
    const float w = float(c.width), h = float(c.height);
    fill(c, vertical(0, h,
                     {{0, hex(0xf0f8ff)},
                      {0.5f, hex(0xa8c8e0)},
                      {0.52f, hex(0x6a7ca0)},
                      {1, hex(0x3a4462)}}));
    // Panel seams: rings (rows) and ribs (columns).
    for (int i = 1; i < 8; ++i) {
        const float y = h * float(i) / 8;
        fill(c, rect(0, y - 1, w, 2), solid(hex(0x1a2230, 0.6f)));
    }
    for (int i = 0; i < 24; ++i) {
        const float x = w * float(i) / 24;
        fill(c, rect(x - 1, 0, 2, h), solid(hex(0x1a2230, 0.45f)));
    }
    // Portholes and the ship's name three times around the upper deck.
    for (int i = 0; i < 12; ++i)
        draw(c, circle(w * (float(i) + 0.5f) / 12, 0.36f * h, 9),
             styled(radial({w * (float(i) + 0.5f) / 12, 0.36f * h}, 9,
                           {{0, hex(0xfff8c0)}, {1, hex(0xffb020)}}),
                    hex(0x1a2230), 2));
    for (int i = 0; i < 3; ++i) {
        const float cx = w * (float(i) + 0.5f) / 3;
        // Half width here: the deck is about twice as long around as the map is wide.
        const Path name =
            scaled(caption("DRUSK", Typeface::Sans, 44, cx, 0.15f * h), 0.55f, 1, {cx, 0.15f * h});
        draw(c, name, styled(solid(hex(0xff3c8a)), hex(0x1a2230), 2));
    }
    for (int i = 0; i < 24; ++i)
        fill(c, circle(w * (float(i) + 0.5f) / 24, 0.78f * h, 3), solid(hex(0x6af0ff)));
}

void skyMap(Canvas& c) {
    const float w = float(c.width), h = float(c.height);
    fill(c, vertical(0, h,
                     {{0, hex(0x1a4aa8)},
                      {0.45f, hex(0x7ac8ff)},
                      {0.5f, hex(0xe8f4ff)},
                      {0.52f, hex(0x8aa070)},
                      {1, hex(0x3a5a2a)}}));
    for (int i = 0; i < 8; ++i) {
        Random r(40 + i);
        drawCloud(c, r.range(0, w), r.range(0.15f * h, 0.4f * h), r.range(60, 110), hex(0xffffff));
    }
}

// Courses of sandstone blocks, each a little different; tiles across the 256-pixel map.
void sandstoneMap(Canvas& c) {
    fill(c, solid(hex(0xc89a5a)));
    Random r(77);
    for (int row = 0; row < 8; ++row)
        for (int k = -1; k < 4; ++k) {
            const float x = float(k) * 64 + (row % 2) * 32, y = float(row) * 32;
            fill(c, rect(x + 2, y + 2, 60, 28), solid(mix(hex(0xe8c088), hex(0xd0a060), r.next())));
        }
}

void badgeMap(Canvas& c) {
    const float w = float(c.width);
    fill(c, radial({w / 2, w / 2}, w / 2, {{0, hex(0x5a2a9a)}, {1, hex(0x1a0a3a)}}));
    drawOstravelLogo(c, w / 2, w / 2, 0.9f * w);
}

bool writeMap(const std::string& path, int width, int height, void (*draw)(Canvas&)) {
    Canvas canvas(width, height);
    draw(canvas);
    return saveImage(canvas, path, FileKind::OpaquePng);
}

// ---- Models -----------------------------------------------------------------------------------

// Drusk, a flying saucer with a glass dome and Glimmox at the controls, about 6.3 units wide:
// a third of the view's height at the show's distance.
bool writeDrusk(const std::string& dir) {
    Mesh m;
    const int around = 48;

    std::vector<ProfilePoint> belly, deck;
    for (int i = 0; i <= 14; ++i) {
        const float t = pi / 2 * float(i) / 14;
        belly.push_back({3.0f * std::sin(t), -0.55f * std::cos(t), 0.5f * float(i) / 14});
    }
    for (int i = 0; i <= 12; ++i) {
        const float t = float(i) / 12;
        deck.push_back({3.0f - 1.65f * t, 0.62f * (1 - (1 - t) * (1 - t)), 0.5f + 0.5f * t});
    }
    MeshGroup& hull = group(m, "hull", "HullPanels");
    lathe(m, hull, belly, around, {});
    lathe(m, hull, deck, around, {});

    torus(m, group(m, "rim", "Chrome"), 3.0f, 0.16f, 0, 16, around);
    MeshGroup& collar = group(m, "collar", "Chrome");
    torus(m, collar, 1.36f, 0.08f, 0.62f, 8, around);
    lathe(m, collar, {{1.35f, 0.62f, 1}, {0, 0.62f, 0}}, around, {});

    // The beam emitter under the belly.
    std::vector<ProfilePoint> beam;
    for (int i = 0; i <= 6; ++i) {
        const float t = pi / 2 * float(i) / 6;
        beam.push_back({0.75f * std::sin(t), -0.52f - 0.24f * std::cos(t), float(i) / 6});
    }
    lathe(m, group(m, "beam", "Beam"), beam, around, {});

    MeshGroup& lamps = group(m, "lights", "LampGold");
    MeshGroup& lampsPink = group(m, "lightsPink", "LampPink");
    for (int i = 0; i < 12; ++i) {
        const float a = 2 * pi * (float(i) + 0.5f) / 12;
        sphere(m, i % 2 ? lampsPink : lamps, {2.35f * std::sin(a), 0.44f, 2.35f * std::cos(a)},
               0.13f, 8, 12);
    }

    // The pilot: Glimmox in small, facing +z.
    sphere(m, group(m, "pilot", "PilotSkin"), {0, 1.05f, 0}, 0.45f, 16, 24);
    MeshGroup& eyes = group(m, "eyes", "EyeWhite");
    MeshGroup& pupils = group(m, "pupils", "Pupil");
    MeshGroup& antennae = group(m, "antennae", "PilotSkin");
    MeshGroup& tips = group(m, "antennaTips", "AntennaTip");
    for (int side = -1; side <= 1; side += 2) {
        sphere(m, eyes, {side * 0.16f, 1.18f, 0.36f}, 0.14f, 10, 16);
        sphere(m, pupils, {side * 0.16f, 1.2f, 0.48f}, 0.065f, 6, 10);
        lathe(m, antennae, {{0.03f, 1.38f, 0}, {0.03f, 1.62f, 1}}, 8, {side * 0.2f, 0, 0});
        sphere(m, tips, {side * 0.2f, 1.68f, 0}, 0.08f, 8, 12);
    }

    // The glass comes last in the file, so that it blends over the pilot and the deck.
    lathe(m, group(m, "dome", "Glass"), sphereProfile(1.3f, 12, pi / 2, pi), around, {0, 0.62f, 0});

    moveAll(m, {0, -0.585f, 0}); // the box from -0.76 to 1.92 centred on the origin

    Material hullPanels = material("HullPanels", hex(0xffffff), 1, 0.6f, 40, 0.2f);
    hullPanels.map = "hull.png";
    Material glass = material("Glass", hex(0xb8f0ff), 0.8f, 1.0f, 110, 0.25f);
    glass.dissolve = 0.7f;
    // The lamps and the beam shine by themselves.
    const Material beamLight = material("Beam", hex(0x6af0ff), 0.5f, 0.2f, 10, 0.75f);
    const Material gold = material("LampGold", hex(0xffd040), 0.5f, 0.5f, 30, 0.75f);
    const Material pink = material("LampPink", hex(0xff5fa2), 0.5f, 0.5f, 30, 0.75f);
    const std::vector<Material> materials = {
        hullPanels,
        material("Chrome", hex(0xe0e4f0), 0.8f, 1.0f, 120, 0.15f),
        beamLight,
        gold,
        pink,
        material("PilotSkin", hex(0x62c93c), 1, 0.3f, 20, 0.25f),
        material("EyeWhite", hex(0xffffff), 1, 0.5f, 60, 0.3f),
        material("Pupil", hex(0x1d1030), 0.5f, 0.8f, 90),
        material("AntennaTip", hex(0xff5fa2), 1, 0.4f, 40, 0.25f),
        glass,
    };
    return writeMap(dir + "/hull.png", 512, 256, hullMap) &&
           writeMtl(dir + "/Drusk.mtl", materials) &&
           writeObj(dir + "/Drusk.obj", "Drusk: a flying saucer with Glimmox at the controls", m,
                    "Drusk.mtl");
}

// A sphere of radius 50 seen from inside: sky above, meadow below.
bool writeSkySphere(const std::string& dir) {
    Mesh m;
    std::vector<ProfilePoint> profile = sphereProfile(50, 16);
    std::reverse(profile.begin(), profile.end()); // top first: the inside faces in
    for (ProfilePoint& p : profile)
        p.nr = -p.nr, p.ny = -p.ny;
    lathe(m, group(m, "sky", "Sky"), profile, 32, {});
    Material sky = material("Sky", hex(0xffffff), 1.0f, 0, 1);
    sky.map = "sky.png";
    sky.illum = 1;
    return writeMap(dir + "/sky.png", 512, 256, skyMap) &&
           writeMtl(dir + "/SkySphere.mtl", {sky}) &&
           writeObj(dir + "/SkySphere.obj", "SkySphere: a sky dome to stand inside", m,
                    "SkySphere.mtl");
}

// A square pyramid of sandstone blocks on a dark plinth, 2.4 wide and 1.6 high.
bool writePyramid(const std::string& dir) {
    Mesh m;
    const float half = 1.2f, height = 1.6f, base = -0.8f;
    const Vec3 apex{0, base + height, 0};
    const Vec3 corners[4] = {
        {-half, base, half}, {half, base, half}, {half, base, -half}, {-half, base, -half}};
    MeshGroup& sides = group(m, "sides", "Sandstone");
    const int top = addPosition(m, apex);
    int cornerIndex[4];
    for (int i = 0; i < 4; ++i)
        cornerIndex[i] = addPosition(m, corners[i]);
    const int uv0 = addUv(m, 0, 0), uv1 = addUv(m, 1, 0), uvApex = addUv(m, 0.5f, 1);
    for (int i = 0; i < 4; ++i) {
        const Vec3 a = corners[i], b = corners[(i + 1) % 4];
        const Vec3 mid{(a.x + b.x) / 2, 0, (a.z + b.z) / 2};
        const int n = addNormal(m, {mid.x * height / half, half, mid.z * height / half});
        sides.faces.push_back(
            {{cornerIndex[i], uv0, n}, {cornerIndex[(i + 1) % 4], uv1, n}, {top, uvApex, n}});
    }
    MeshGroup& plinth = group(m, "base", "Plinth");
    const int down = addNormal(m, {0, -1, 0});
    const int uv2 = addUv(m, 1, 1), uv3 = addUv(m, 0, 1);
    plinth.faces.push_back({{cornerIndex[0], uv0, down},
                            {cornerIndex[3], uv3, down},
                            {cornerIndex[2], uv2, down},
                            {cornerIndex[1], uv1, down}});
    Material stone = material("Sandstone", hex(0xffffff), 0.7f, 0.1f, 5);
    stone.map = "sandstone.png";
    return writeMap(dir + "/sandstone.png", 256, 256, sandstoneMap) &&
           writeMtl(dir + "/Pyramid.mtl", {stone, material("Plinth", hex(0x4a3a2a), 0.6f, 0, 1)}) &&
           writeObj(dir + "/Pyramid.obj", "Pyramid: sandstone on a dark plinth", m, "Pyramid.mtl");
}

// The group's logo on a round badge with a gold rim, facing +z, 3.4 units across.
bool writeOstravelLogo(const std::string& dir) {
    Mesh m;
    const float radius = 1.5f, thick = 0.15f;
    const int around = 64;
    // The faces are flat discs mapped straight across, the logo upright when seen from +z.
    auto disc = [&](MeshGroup& g, float y, bool up) {
        const int centre = addPosition(m, {0, y, 0});
        const int normal = addNormal(m, {0, up ? 1.0f : -1.0f, 0});
        const int centreUv = addUv(m, 0.5f, 0.5f);
        const int ring = int(m.positions.size()) + 1, ringUv = int(m.uvs.size()) + 1;
        for (int j = 0; j < around; ++j) {
            const float a = 2 * pi * float(j) / float(around);
            const float x = radius * std::sin(a), z = radius * std::cos(a);
            addPosition(m, {x, y, z});
            addUv(m, 0.5f + x / (2 * radius), 0.5f - z / (2 * radius));
        }
        for (int j = 0; j < around; ++j) {
            const int k = (j + 1) % around;
            const Corner c{centre, centreUv, normal}, a{ring + j, ringUv + j, normal},
                b{ring + k, ringUv + k, normal};
            g.faces.push_back(up ? std::vector<Corner>{c, a, b} : std::vector<Corner>{c, b, a});
        }
    };
    disc(group(m, "front", "LogoFace"), thick, true);
    disc(group(m, "back", "LogoBack"), -thick, false);
    lathe(m, group(m, "edge", "Gold"), {{radius, -thick, 0}, {radius, thick, 1}}, around, {});
    torus(m, group(m, "ring", "Gold"), radius + 0.06f, 0.2f, 0, 12, around);
    standUp(m);

    Material face = material("LogoFace", hex(0xffffff), 0.7f, 0.3f, 30);
    face.map = "badge.png";
    return writeMap(dir + "/badge.png", 512, 512, badgeMap) &&
           writeMtl(dir + "/OstravelLogo.mtl",
                    {face, material("LogoBack", hex(0x4a2a8a), 0.6f, 0.3f, 20),
                     material("Gold", hex(0xffc21f), 0.6f, 1.0f, 100)}) &&
           writeObj(dir + "/OstravelLogo.obj", "OstravelLogo: the group's badge", m,
                    "OstravelLogo.mtl");
}

} // namespace

bool writeModels(const std::string& root) {
    bool ok = true;
    const struct {
        const char* name;
        bool (*write)(const std::string& dir);
    } models[] = {{"Drusk", writeDrusk},
                  {"SkySphere", writeSkySphere},
                  {"Pyramid", writePyramid},
                  {"OstravelLogo", writeOstravelLogo}};
    for (const auto& model : models) {
        const std::string dir = root + "/data/" + model.name;
        std::error_code error;
        std::filesystem::create_directories(dir, error);
        ok = !error && model.write(dir) && ok;
    }
    return ok;
}

// Textures, Wavefront OBJ models with their MTL materials, and model drawing.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// ---- Textures ------------------------------------------------------------------------------

// Initialises the image library; false (after a failure message) when it is too old.
bool initImageLibrary();

// An image file decoded and uploaded once as a 2D GL texture. Users bind `glName`;
// `imageName` names the decoded image only while loading. GL textures are never deleted.
class Texture {
  public:
    Texture() = default;
    explicit Texture(const char* path); // loads at once; the record exists even when that fails
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    bool load(const char* path); // false after a failure message; glName stays 0 then
    void releaseImage();         // deletes the decoded image, not the GL texture

    unsigned glName = 0;
    unsigned imageName = 0;
};

// ---- Models --------------------------------------------------------------------------------

// A position (x, y, z), normal (x, y, z) or texture coordinate (u, v, w as x, y, z).
struct Float3 {
    float x = 0, y = 0, z = 0;
};

struct Material;

// One "f" line. The pointers point at the owning model's shared triples.
struct Face {
    std::vector<Float3*> vertices;
    int vertexCount = 0;
    std::vector<Float3*> normals;
    int normalCount = 0;
    std::vector<Float3*> texCoords;
    int texCoordCount = 0;
    Material* material = nullptr; // not owned; null while no "usemtl" has matched
};

struct Group {
    std::vector<std::unique_ptr<Face>> faces;
    std::string name; // empty for the default group
};

// One material of an MTL file. Colours are RGBA as handed to the fixed-function lighting.
struct Material {
    float ambient[4] = {0, 0, 0, 1};
    float diffuse[4] = {1, 1, 1, 1}; // alpha is overwritten with `dissolve` when applied
    float specular[4] = {0, 0, 0, 1};
    float emission[4] = {0, 0, 0, 1};
    float shininess = 2.0f;
    float dissolve = 1.0f; // opacity, 1 = opaque
    float illum = 1.0f;
    std::unique_ptr<Texture> mapAmbient, mapDiffuse, mapSpecular, mapEmission, mapShininess,
        mapDissolve, mapBump;
    std::string name;
};

class Model {
  public:
    explicit Model(std::string path); // reads the OBJ file unless `path` is empty
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    bool loadObj(const std::string& path); // false only when the file cannot be opened
    void clear();
    void loadMaterials(std::string path); // appends the MTL file's materials

    void applyScale(float x, float y, float z); // stretches positions until the next draw()
    void draw();                                // both passes, then undoes applyScale()
    void drawPass(bool includeTranslucent);

    std::vector<std::unique_ptr<Group>> groups; // [0] is the default group
    std::vector<std::unique_ptr<Float3>> vertices;
    std::vector<std::unique_ptr<Float3>> normals;
    std::vector<std::unique_ptr<Float3>> texCoords;
    std::vector<std::unique_ptr<Material>> materials;
    float scaleX = 1, scaleY = 1, scaleZ = 1;
    bool scaled = false;
    bool loaded = false;
    std::string path;

  private:
    // The positions as the file gave them, kept while `scaled`: draw() puts them back exactly,
    // so stretching frame after frame never lets rounding error pile up.
    std::vector<Float3> unscaledVertices;
};

void drawFace(const Face& face);

// ---- Reading the OBJ and MTL text formats -------------------------------------------------

// One line of a text file with a read position. `reachedEnd` is set by the first read that
// looks past the last character, as a stream's end-of-file flag would be; the OBJ face reader
// relies on exactly that moment.
struct TextLine {
    std::string text;
    size_t pos = 0;
    bool reachedEnd = false;
};

// The next line, of any length; a carriage return just before the line feed is dropped.
// False when the file has no further line.
bool readLine(std::istream& in, TextLine& line);

// Words are separated by white space, which every read skips first. A number that cannot be
// read leaves `value` as it was and consumes only that white space (an integer of more digits
// than fit is consumed all the same).
std::string readWord(TextLine& line); // empty when no word is left
bool readFloat(TextLine& line, float& value);
// Reads up to `count` numbers into values[0..count), stopping at the first that cannot be read,
// which leaves it and the rest as they were. Returns how many were read.
int readFloats(TextLine& line, float* values, int count);
bool readInteger(TextLine& line, long long& value);
int readChar(TextLine& line); // -1 at the end of the line
void putBack(TextLine& line); // undoes the last readChar() that returned a character

// The path up to and including its last slash or backslash; empty when it has neither.
std::string directoryOf(const std::string& path);

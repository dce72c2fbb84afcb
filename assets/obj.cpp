// Model records and the Wavefront OBJ reader: positions, normals, texture coordinates, groups
// of faces, and the material libraries the file names.
#include "assets/assets.h"

#include <fstream>
#include <utility>

namespace {

using Float3List = std::vector<std::unique_ptr<Float3>>;

// The entry an OBJ index names (counting from 1), or null when the index could not be read or
// lies outside the list. Every index of a file goes through here before it is used.
Float3* indexedEntry(const Float3List& list, bool indexRead, long long index) {
    if (!indexRead || index < 1 || index > static_cast<long long>(list.size())) return nullptr;
    return list[static_cast<size_t>(index - 1)].get();
}

// Consumes characters up to and including the next slash or space, or to the end of the line.
// A tab is not a separator: an index that follows one is swallowed here.
void skipPastSeparator(TextLine& line) {
    for (;;) {
        const int c = readChar(line);
        if (c < 0 || c == '/' || c == ' ') return;
    }
}

Float3* readCornerIndex(TextLine& line, const Float3List& list) {
    long long index = 0;
    const bool read = readInteger(line, index);
    skipPastSeparator(line);
    return indexedEntry(list, read, index);
}

// The three values of a "v", "vt" or "vn" line: reading stops at the first missing or
// unreadable number, which leaves it and the rest at 0.
std::unique_ptr<Float3> readFloat3(TextLine& line) {
    float values[3] = {0, 0, 0};
    readFloats(line, values, 3);
    auto triple = std::make_unique<Float3>();
    triple->x = values[0];
    triple->y = values[1];
    triple->z = values[2];
    return triple;
}

// The corners of the face being read. One set serves every face of a file, so that a face's own
// arrays are allocated once, at their exact lengths, instead of growing corner by corner.
struct Corners {
    std::vector<Float3*> vertices, texCoords, normals;
};

void assignExactly(std::vector<Float3*>& to, const std::vector<Float3*>& from) {
    to.reserve(from.size());
    to.assign(from.begin(), from.end());
}

// Which indices a corner carries follows from which of the model's lists hold entries, not
// from the corner's own slashes; a slash right after the position's separator marks v//vn.
// A corner with any index that is unreadable or out of range is dropped whole, so the three
// arrays of a face stay aligned corner by corner.
void readFace(TextLine& line, const Model& model, Face& face, Corners& corners) {
    corners.vertices.clear();
    corners.texCoords.clear();
    corners.normals.clear();
    const bool anyList =
        !model.vertices.empty() || !model.texCoords.empty() || !model.normals.empty();
    while (anyList && !line.reachedEnd) {
        Float3* position = nullptr;
        Float3* texCoord = nullptr;
        Float3* normal = nullptr;
        bool valid = true;
        bool withoutTexCoord = false;
        if (!model.vertices.empty()) {
            position = readCornerIndex(line, model.vertices);
            valid = valid && position != nullptr;
            const int next = readChar(line);
            if (next == '/')
                withoutTexCoord = true;
            else if (next >= 0)
                putBack(line);
        }
        if (!model.texCoords.empty() && !withoutTexCoord) {
            texCoord = readCornerIndex(line, model.texCoords);
            valid = valid && texCoord != nullptr;
        }
        if (!model.normals.empty()) {
            normal = readCornerIndex(line, model.normals);
            valid = valid && normal != nullptr;
        }
        if (!valid) continue;
        if (position) corners.vertices.push_back(position);
        if (texCoord) corners.texCoords.push_back(texCoord);
        if (normal) corners.normals.push_back(normal);
    }
    assignExactly(face.vertices, corners.vertices);
    assignExactly(face.texCoords, corners.texCoords);
    assignExactly(face.normals, corners.normals);
    face.vertexCount = static_cast<int>(face.vertices.size());
    face.texCoordCount = static_cast<int>(face.texCoords.size());
    face.normalCount = static_cast<int>(face.normals.size());
}

} // namespace

Model::Model(std::string objPath) {
    if (!objPath.empty()) loadObj(objPath);
}

bool Model::loadObj(const std::string& objPath) {
    path = objPath;
    std::ifstream in;
    if (!openTextFile(objPath, in)) return false;
    clear();
    loaded = false;

    groups.push_back(std::make_unique<Group>());
    Group* currentGroup = groups.front().get();
    Material* currentMaterial = nullptr;
    const std::string directory = directoryOf(objPath);

    TextLine line;
    Corners corners;
    while (readLine(in, line)) {
        const std::string keyword = readWord(line);
        if (keyword == "mtllib") {
            std::string last;
            for (std::string word = readWord(line); !word.empty(); word = readWord(line))
                last = std::move(word);
            loadMaterials(directory + last);
        } else if (keyword == "usemtl") {
            const std::string name = readWord(line);
            for (const auto& material : materials) {
                if (material->name == name) {
                    currentMaterial = material.get();
                    break;
                }
            }
        } else if (keyword == "v") {
            vertices.push_back(readFloat3(line));
        } else if (keyword == "vt") {
            texCoords.push_back(readFloat3(line));
        } else if (keyword == "vn") {
            normals.push_back(readFloat3(line));
        } else if (keyword == "g") {
            std::string name = readWord(line);
            if (name == "default") {
                currentGroup = groups.front().get();
            } else {
                groups.push_back(std::make_unique<Group>());
                currentGroup = groups.back().get();
                currentGroup->name = std::move(name);
            }
        } else if (keyword == "f") {
            // The face joins its group before its corners are read.
            currentGroup->faces.push_back(std::make_unique<Face>());
            Face& face = *currentGroup->faces.back();
            face.material = currentMaterial;
            readFace(line, *this, face, corners);
        }
    }

    scaled = false;
    loaded = true;
    return true;
}

void Model::clear() {
    for (const auto& material : materials) {
        for (Texture* map :
             {material->mapAmbient.get(), material->mapDiffuse.get(), material->mapSpecular.get(),
              material->mapEmission.get(), material->mapShininess.get(),
              material->mapDissolve.get(), material->mapBump.get()}) {
            if (map) map->releaseImage();
        }
    }
    texCoords.clear();
    normals.clear();
    vertices.clear();
    unscaledVertices.clear();
    groups.clear();
    materials.clear();
}

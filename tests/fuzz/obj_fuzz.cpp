// Fuzz target: the OBJ reader on any file, with a small material library beside it, and the
// stretch of the model read undone exactly by a draw.
#include "assets/assets.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace {

template <typename T> std::set<const T*> entriesOf(const std::vector<std::unique_ptr<T>>& list) {
    std::set<const T*> entries;
    for (const auto& p : list)
        entries.insert(p.get());
    return entries;
}

bool allIn(const std::vector<Float3*>& pointers, const std::set<const Float3*>& entries) {
    for (const Float3* p : pointers)
        if (entries.count(p) == 0) return false;
    return true;
}

// Drawing trusts these: every pointer a face holds points into the model's own lists, the
// counts are the arrays' lengths, and no face has more texture coordinates than corners.
void checkFaces(const Model& model) {
    const auto vertices = entriesOf(model.vertices);
    const auto normals = entriesOf(model.normals);
    const auto texCoords = entriesOf(model.texCoords);
    const auto materials = entriesOf(model.materials);
    for (const auto& group : model.groups) {
        for (const auto& face : group->faces) {
            require(face->vertexCount == int(face->vertices.size()), "vertex count");
            require(face->normalCount == int(face->normals.size()), "normal count");
            require(face->texCoordCount == int(face->texCoords.size()), "texture count");
            require(allIn(face->vertices, vertices), "a position outside the model's list");
            require(allIn(face->normals, normals), "a normal outside the model's list");
            require(allIn(face->texCoords, texCoords), "a texture coordinate outside the list");
            require(face->material == nullptr || materials.count(face->material) == 1,
                    "a material the model does not hold");
            // Every corner kept has its position and normal (when the model has those); a
            // corner in the v//vn form has no texture coordinate, so there may be fewer.
            const int corners = std::max(face->vertexCount, face->normalCount);
            require(face->vertexCount == corners || face->vertexCount == 0, "positions missing");
            require(face->normalCount == corners || face->normalCount == 0, "normals missing");
            require(corners == 0 || face->texCoordCount <= corners, "extra texture coordinates");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One opaque and one translucent material, so that both drawing passes have work.
    const char library[] = "newmtl red\nKd 1 0 0\nnewmtl glass\nd 0.5\nnewmtl red\nKs 1 1 1\n";
    writeFuzzInput("lib.mtl", reinterpret_cast<const uint8_t*>(library), sizeof library - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (namesOtherFiles(data, size, "model.obj")) return 0;
    Model model(writeFuzzInput("model.obj", data, size));
    require(model.loaded && !model.scaled, "a readable file loads");
    require(!model.groups.empty() && model.groups[0]->name.empty(), "the default group first");
    checkFaces(model);

    // Without a GL context the GL calls do nothing, but the draw still undoes the stretch.
    std::vector<Float3> read;
    for (const auto& v : model.vertices)
        read.push_back(*v);
    model.applyScale(1.5f, 0.01f, 3.0f);
    model.draw();
    require(!model.scaled, "a draw ends the stretch");
    for (size_t i = 0; i < read.size(); ++i)
        require(std::memcmp(&read[i], model.vertices[i].get(), sizeof(Float3)) == 0,
                "a draw puts the positions back bit for bit");
    return 0;
}

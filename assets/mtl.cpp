// The Wavefront MTL reader: colours, shininess, opacity and texture maps of a model's materials.
#include "assets/assets.h"

#include <fstream>
#include <string>
#include <utility>

namespace {

struct ColourKeyword {
    const char* keyword;
    float (Material::*colour)[4];
};

const ColourKeyword colourKeywords[] = {
    {"Ka", &Material::ambient},
    {"Kd", &Material::diffuse},
    {"Ks", &Material::specular},
    {"Ke", &Material::emission},
};

struct ScalarKeyword {
    const char* keyword;
    float Material::*field;
};

// "Tr" is opacity here, exactly like "d", not one minus it.
const ScalarKeyword scalarKeywords[] = {
    {"Ns", &Material::shininess},
    {"d", &Material::dissolve},
    {"Tr", &Material::dissolve},
    {"illum", &Material::illum},
};

struct MapKeyword {
    const char* keyword;
    std::unique_ptr<Texture> Material::*map;
};

const MapKeyword mapKeywords[] = {
    {"map_Ka", &Material::mapAmbient},   {"map_Kd", &Material::mapDiffuse},
    {"map_Ks", &Material::mapSpecular},  {"map_Ke", &Material::mapEmission},
    {"map_Ns", &Material::mapShininess}, {"map_d", &Material::mapDissolve},
    {"map_Bump", &Material::mapBump},
};

// Applies one property or map line to `material`; any other keyword leaves it unchanged.
void applyLine(const std::string& keyword, TextLine& line, const std::string& mapDirectory,
               Material& material) {
    for (const ColourKeyword& k : colourKeywords) {
        if (keyword != k.keyword) continue;
        // Red, green and blue; no keyword sets an alpha.
        readFloats(line, material.*k.colour, 3);
        return;
    }
    for (const ScalarKeyword& k : scalarKeywords) {
        if (keyword != k.keyword) continue;
        readFloat(line, material.*k.field);
        return;
    }
    if (keyword == "Tf") {
        float channels[3] = {0, 0, 0}; // a missing number counts as 0
        readFloats(line, channels, 3);
        material.dissolve = (channels[0] + channels[1] + channels[2]) / 3;
        return;
    }
    for (const MapKeyword& k : mapKeywords) {
        if (keyword != k.keyword) continue;
        // Option words are not understood: the word after the keyword is the file name. The
        // image is decoded and uploaded now; a failed load keeps its record, with glName 0.
        const std::string file = mapDirectory + readWord(line);
        material.*k.map = std::make_unique<Texture>(file.c_str());
        return;
    }
}

} // namespace

void Model::loadMaterials(std::string mtlPath) {
    std::ifstream in(mtlPath, std::ios::binary);
    if (!in) return;
    const std::string mapDirectory = directoryOf(mtlPath);
    Material* current = nullptr; // lines before the first "newmtl" have nothing to apply to

    TextLine line;
    while (readLine(in, line)) {
        const std::string keyword = readWord(line);
        if (keyword.empty()) continue;
        if (keyword == "newmtl") {
            materials.push_back(std::make_unique<Material>());
            current = materials.back().get();
            current->name = readWord(line);
        } else if (current) {
            applyLine(keyword, line, mapDirectory, *current);
        }
    }
}

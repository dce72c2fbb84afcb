// Model drawing in immediate mode: two passes over the faces, and the per-draw stretch.
#include "assets/assets.h"

#include <GL/gl.h>

#include <cassert>

namespace {

// The program never sets a current colour or the colour-material mode, so GL's defaults hold:
// white, tracking ambient and diffuse. Enabling colour material for a textured material thus
// makes its ambient and diffuse white with alpha 1, and they stay so after it is disabled.
void applyMaterial(Material& m) {
    m.diffuse[3] = m.dissolve;
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m.ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m.diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m.specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, m.emission);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m.shininess); // outside 0..128 GL rejects it
    if (m.mapDiffuse) {
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_COLOR_MATERIAL);
        glBindTexture(GL_TEXTURE_2D, m.mapDiffuse->glName);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glDisable(GL_COLOR_MATERIAL);
}

} // namespace

void Model::applyScale(float x, float y, float z) {
    if (scaled) return;
    // Never mirrored or flattened, and the factors stay usable as divisors.
    const float least = 0.1f;
    if (x < least) x = least;
    if (y < least) y = least;
    if (z < least) z = least;
    unscaledVertices.resize(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i) {
        Float3& position = *vertices[i];
        unscaledVertices[i] = position;
        position.x *= x;
        position.y *= y;
        position.z *= z;
    }
    if (!vertices.empty()) {
        scaleX = x;
        scaleY = y;
        scaleZ = z;
    }
    scaled = true;
}

void Model::draw() {
    if (!loaded) return;
    drawPass(false);
    drawPass(true);
    if (scaled) {
        assert(unscaledVertices.size() == vertices.size());
        for (size_t i = 0; i < vertices.size(); ++i)
            *vertices[i] = unscaledVertices[i];
        scaled = false;
    }
}

// The opaque pass leaves out faces whose material has a dissolve below 1; the full pass then
// draws every face again, in file order. GL material state changes only between faces whose
// materials differ.
void Model::drawPass(bool includeTranslucent) {
    const Material* lastApplied = nullptr;
    for (const auto& group : groups) {
        for (const auto& face : group->faces) {
            Material* m = face->material;
            // A face without a material takes whatever material and texture GL has in force.
            if (m == lastApplied || m == nullptr) {
                drawFace(*face);
                continue;
            }
            if (!includeTranslucent && m->dissolve < 1.0f) continue;
            applyMaterial(*m);
            lastApplied = m;
            drawFace(*face);
        }
    }
}

// Up to three corners are one GL_TRIANGLES primitive, more one GL_POLYGON. A corner without a
// texture coordinate or normal of its own reuses the one last sent to GL.
void drawFace(const Face& face) {
    assert(face.vertexCount == static_cast<int>(face.vertices.size()));
    assert(face.normalCount == static_cast<int>(face.normals.size()));
    assert(face.texCoordCount == static_cast<int>(face.texCoords.size()));
    glBegin(face.vertexCount > 3 ? GL_POLYGON : GL_TRIANGLES);
    for (int i = 0; i < face.vertexCount; ++i) {
        if (i < face.texCoordCount) {
            const Float3& t = *face.texCoords[i];
            glTexCoord2f(t.x, t.y);
        }
        if (i < face.normalCount) {
            const Float3& n = *face.normals[i];
            glNormal3d(n.x, n.y, n.z);
        }
        const Float3& v = *face.vertices[i];
        glVertex3d(v.x, v.y, v.z);
    }
    glEnd();
}

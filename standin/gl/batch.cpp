// The batch: primitives gathered as indexed triangles, lines or points, drawn in one call.
#include "standin/gl/internal.h"

#include <cstring>
#include <iterator>
#include <vector>

namespace legacygl {

void clearBatch() {
    state.batch.clear();
    state.indices.clear();
    std::memset(state.recent, 0, sizeof state.recent);
}

namespace {

// The index of a vertex equal to `v` in the batch, added when none of the recent ones is.
uint32_t batchIndex(const Vertex& v) {
    uint32_t words[sizeof(Vertex) / 4];
    std::memcpy(words, &v, sizeof words);
    uint32_t hash = 2166136261u;
    for (uint32_t w : words)
        hash = (hash ^ w) * 16777619u;
    uint32_t& slot = state.recent[(hash ^ hash >> 15) % std::size(state.recent)];
    if (slot != 0 && std::memcmp(&state.batch[slot - 1], &v, sizeof v) == 0) return slot - 1;
    state.batch.push_back(v);
    slot = uint32_t(state.batch.size());
    return slot - 1;
}

} // namespace

void flushBatch() {
    if (state.indices.empty() || !state.ready) return;
    const ProgramKey key = currentKey();
    const Program* program = programFor(key);
    if (program == nullptr) {
        setError(GL_INVALID_OPERATION);
        clearBatch();
        return;
    }
    uploadState(*program, key);
    es.BindVertexArray(state.vertexArray);
    es.BindBuffer(esArrayBuffer, state.buffer);
    es.BufferData(esArrayBuffer, std::intptr_t(state.batch.size() * sizeof(Vertex)),
                  state.batch.data(), esStreamDraw);
    es.BufferData(esElementArrayBuffer, std::intptr_t(state.indices.size() * sizeof(uint32_t)),
                  state.indices.data(), esStreamDraw);
    es.DrawElements(state.batchMode, GLsizei(state.indices.size()), GL_UNSIGNED_INT, nullptr);
    ++state.counts.draws;
    clearBatch();
}

// Vertex order within a triangle follows Mesa's decomposition, GL 1.x's provoking vertex last.
void endPrimitive() {
    std::vector<Vertex>& v = state.primitive;
    int box[4];
    Cut cut = Cut::whole;
    if (state.primitiveMode == GL_QUADS && v.size() == 4) {
        cut = visibleBox(v.data(), box);
        if (cut != Cut::whole) ++state.counts.quadsCut;
        if (cut == Cut::nothing) {
            v.clear();
            return;
        }
        if (cut == Cut::cut) flushBatch(); // the quad is drawn alone
    }
    const size_t n = v.size();
    GLenum mode = GL_TRIANGLES;
    if (state.primitiveMode == GL_POINTS)
        mode = GL_POINTS;
    else if (state.primitiveMode == GL_LINES || state.primitiveMode == GL_LINE_STRIP ||
             state.primitiveMode == GL_LINE_LOOP)
        mode = GL_LINES;
    if (mode != state.batchMode) {
        flushBatch();
        state.batchMode = mode;
    }
    // The primitive's vertices, each shared with an equal one the batch already has.
    std::vector<uint32_t>& index = state.primitiveIndices;
    index.resize(n);
    for (size_t i = 0; i < n; ++i)
        index[i] = batchIndex(v[i]);
    std::vector<uint32_t>& out = state.indices;
    auto put = [&](size_t a, size_t b, size_t c) {
        out.push_back(index[a]);
        out.push_back(index[b]);
        out.push_back(index[c]);
    };
    switch (state.primitiveMode) {
    case GL_POINTS:
        out.insert(out.end(), index.begin(), index.end());
        break;
    case GL_LINES:
        out.insert(out.end(), index.begin(), index.begin() + long(n / 2 * 2));
        break;
    case GL_LINE_STRIP:
    case GL_LINE_LOOP:
        for (size_t i = 0; i + 1 < n; ++i) {
            out.push_back(index[i]);
            out.push_back(index[i + 1]);
        }
        if (state.primitiveMode == GL_LINE_LOOP && n > 2) {
            out.push_back(index[n - 1]);
            out.push_back(index[0]);
        }
        break;
    case GL_TRIANGLES:
        for (size_t i = 0; i + 2 < n; i += 3)
            put(i, i + 1, i + 2);
        break;
    case GL_TRIANGLE_STRIP:
        for (size_t i = 0; i + 2 < n; ++i) {
            if (i % 2 == 0)
                put(i, i + 1, i + 2);
            else
                put(i + 1, i, i + 2);
        }
        break;
    case GL_TRIANGLE_FAN:
        for (size_t i = 1; i + 1 < n; ++i)
            put(0, i, i + 1);
        break;
    case GL_QUADS:
        for (size_t i = 0; i + 3 < n; i += 4) {
            put(i, i + 1, i + 3);
            put(i + 1, i + 2, i + 3);
        }
        break;
    case GL_QUAD_STRIP:
        for (size_t i = 0; i + 3 < n; i += 2) {
            put(i, i + 1, i + 3);
            put(i + 2, i, i + 3);
        }
        break;
    case GL_POLYGON: // convex, as GL requires: a fan whose first vertex comes last
        for (size_t i = 1; i + 1 < n; ++i)
            put(i, i + 1, 0);
        break;
    default:
        break;
    }
    v.clear();
    if (cut == Cut::cut) drawScissored(box);
}

} // namespace legacygl

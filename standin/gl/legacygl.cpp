// The layer's own entry points: set-up, flushing, shutdown and its counts.
#include "standin/gl/internal.h"

#include <cassert>
#include <cstddef>

using namespace legacygl;

bool legacyglInit(LegacyGLLoader loader, std::string& error) {
    assert(!state.ready && "initialised once");
#ifdef __EMSCRIPTEN__
    (void)loader;
#define LEGACYGL_TAKE(ret, name, args) es.name = emscripten_gl##name;
    LEGACYGL_ES_CALLS(LEGACYGL_TAKE)
#undef LEGACYGL_TAKE
#else
    assert(loader != nullptr);
#define LEGACYGL_LOAD(ret, name, args)                                                             \
    es.name = reinterpret_cast<ret(*) args>(loader("gl" #name));                                   \
    if (es.name == nullptr) {                                                                      \
        error = "the GL 1.x layer finds no gl" #name " in OpenGL ES";                              \
        return false;                                                                              \
    }
    LEGACYGL_ES_CALLS(LEGACYGL_LOAD)
#undef LEGACYGL_LOAD
#endif
    // The richest program, built now so that a context that refuses the shaders says so here.
    ProgramKey richest;
    richest.lights = lightCount;
    richest.colourMaterial = richest.normalize = richest.texturing = true;
    richest.alphaFunc = int(GL_GEQUAL - GL_NEVER);
    if (!buildProgram(state.programs[richest.packed()], richest, error)) return false;
    es.ActiveTexture(esTexture0);
    es.GenBuffers(1, &state.buffer);
    es.GenBuffers(1, &state.indexBuffer);
    es.GenVertexArrays(1, &state.vertexArray);
    es.BindVertexArray(state.vertexArray);
    es.BindBuffer(esArrayBuffer, state.buffer);
    es.BindBuffer(esElementArrayBuffer, state.indexBuffer); // kept by the vertex array
    const GLsizei stride = sizeof(Vertex);
    es.VertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, position)));
    es.VertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, normal)));
    es.VertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, colour)));
    es.VertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, texCoord)));
    for (GLuint i = 0; i < 4; ++i)
        es.EnableVertexAttribArray(i);

    // GL 1.x defaults that differ from ES's, or that only the layer holds.
    state.lights[0].diffuse[0] = state.lights[0].diffuse[1] = state.lights[0].diffuse[2] = 1;
    state.lights[0].specular[0] = state.lights[0].specular[1] = state.lights[0].specular[2] = 1;
    state.ready = es.GetError() == GL_NO_ERROR;
    if (!state.ready) error = "the GL 1.x layer's set-up failed on this OpenGL ES";
    return state.ready;
}

void legacyglFlush() {
    flushBatch();
}

void legacyglShutdown() {
    if (!state.ready) return;
    for (const auto& [key, program] : state.programs)
        if (program.name != 0) es.DeleteProgram(program.name);
    es.DeleteBuffers(1, &state.buffer);
    es.DeleteBuffers(1, &state.indexBuffer);
    es.DeleteVertexArrays(1, &state.vertexArray);
    state = State();
}

LegacyGLCounts legacyglCounts() {
    return state.counts;
}

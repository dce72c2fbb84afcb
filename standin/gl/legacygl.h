// The GL 1.x subset the show draws with, over OpenGL ES 3.0 / WebGL 2: the few calls beyond GL's.
#pragma once

#include <string>

// Where this layer is linked in place of the system GL, it defines the standard gl* names the
// show calls (immediate mode, matrix stacks, fixed-function lighting and texturing, and the
// state calls around them) and draws them through its own shaders. Primitives of consecutive
// glBegin/glEnd pairs are gathered in one vertex buffer and drawn when state they depend on
// changes, and on glClear, glFlush, glFinish, glReadPixels and legacyglFlush().

// Looks up an OpenGL ES 3.0 entry point by its standard name ("glDrawArrays"), as
// eglGetProcAddress does; null when there is none.
using LegacyGLLoader = void* (*)(const char* name);

// Builds the shaders, the vertex buffer and the GL 1.x default state on the current ES 3.0
// context, which must stay current while the layer is used. Under emscripten the WebGL 2
// library's own functions are taken and `loader` may be null. False with a one-line reason in
// `error` when an entry point is missing or a shader is refused.
bool legacyglInit(LegacyGLLoader loader, std::string& error);

// Draws what has been gathered so far; the caller's due before presenting or reading the
// framebuffer by means other than glReadPixels.
void legacyglFlush();

// Releases the layer's GL objects (textures stay); the context must still be current.
void legacyglShutdown();

// Counts since legacyglInit(), for benchmarks: vertices handed to glVertex, primitives ended by
// glEnd, draw calls made for them, and textured quads drawn under a scissor box around the part
// of their texture that is not transparent (or left out, where none of it can show).
struct LegacyGLCounts {
    long long vertices = 0;
    long long primitives = 0;
    long long draws = 0;
    long long quadsCut = 0;
};
LegacyGLCounts legacyglCounts();

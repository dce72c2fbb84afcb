// The layer's globals: the OpenGL ES 3.0 call table and the GL 1.x state it keeps itself.
#include "standin/gl/internal.h"

namespace legacygl {

EsCalls es;

State state;

void setError(GLenum error) {
    if (state.error == GL_NO_ERROR) state.error = error;
}

std::vector<Matrix>& currentStack() {
    switch (state.matrixMode) {
    case GL_PROJECTION:
        return state.projection;
    case GL_TEXTURE:
        return state.texture;
    default:
        return state.modelview;
    }
}

} // namespace legacygl

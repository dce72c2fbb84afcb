// The GL 1.x entry points the show calls, under their standard names.
#include "standin/gl/internal.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace legacygl {
namespace {

// Desktop GL with colour material on keeps ambient and diffuse equal to the current colour.
void trackColour() {
    if (!state.colourMaterial) return;
    std::memcpy(state.material.ambient, state.colour, sizeof state.colour);
    std::memcpy(state.material.diffuse, state.colour, sizeof state.colour);
}

// A state change of the layer's own: what is gathered was meant for the state before it.
bool setFlag(bool& flag, bool value) {
    if (flag == value) return false;
    flushBatch();
    flag = value;
    return true;
}

bool setCapability(GLenum cap, bool on) {
    if (cap >= GL_LIGHT0 && cap < GL_LIGHT0 + lightCount) {
        setFlag(state.lights[cap - GL_LIGHT0].enabled, on);
        return true;
    }
    switch (cap) {
    case GL_LIGHTING:
        setFlag(state.lighting, on);
        return true;
    case GL_TEXTURE_2D:
        setFlag(state.texturing2D, on);
        return true;
    case GL_ALPHA_TEST:
        setFlag(state.alphaTest, on);
        return true;
    case GL_NORMALIZE:
    case glRescaleNormal:
        setFlag(state.normalize, on);
        return true;
    case GL_COLOR_MATERIAL:
        if (setFlag(state.colourMaterial, on)) trackColour();
        return true;
    case glMultisample:
        return true; // always on where the framebuffer has samples
    case GL_DEPTH_TEST:
    case GL_BLEND:
    case GL_CULL_FACE:
    case GL_SCISSOR_TEST:
    case GL_POLYGON_OFFSET_FILL:
    case GL_DITHER:
    case GL_STENCIL_TEST:
        flushBatch();
        if (on)
            es.Enable(cap);
        else
            es.Disable(cap);
        return true;
    default:
        setError(GL_INVALID_ENUM);
        return false;
    }
}

void vertex(float x, float y, float z) {
    if (!state.inPrimitive) return;
    Vertex v;
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    std::memcpy(v.normal, state.normal, sizeof v.normal);
    std::memcpy(v.colour, state.colour, sizeof v.colour);
    std::memcpy(v.texCoord, state.texCoord, sizeof v.texCoord);
    state.primitive.push_back(v);
    ++state.counts.vertices;
}

void colour(float r, float g, float b, float a) {
    const float c[4] = {r, g, b, a};
    // Between glBegin and glEnd the colour goes with each vertex; outside it may be material.
    if (!state.inPrimitive && state.colourMaterial && std::memcmp(c, state.colour, sizeof c) != 0)
        flushBatch();
    std::memcpy(state.colour, c, sizeof c);
    if (!state.inPrimitive) trackColour();
}

void multiplyCurrent(const Matrix& m) {
    flushBatch();
    Matrix& top = currentStack().back();
    top = product(top, m);
}

} // namespace
} // namespace legacygl

using namespace legacygl;

void glEnable(GLenum cap) {
    setCapability(cap, true);
}

void glDisable(GLenum cap) {
    setCapability(cap, false);
}

GLboolean glIsEnabled(GLenum cap) {
    if (cap >= GL_LIGHT0 && cap < GL_LIGHT0 + lightCount)
        return state.lights[cap - GL_LIGHT0].enabled;
    switch (cap) {
    case GL_LIGHTING:
        return state.lighting;
    case GL_TEXTURE_2D:
        return state.texturing2D;
    case GL_ALPHA_TEST:
        return state.alphaTest;
    case GL_NORMALIZE:
    case glRescaleNormal:
        return state.normalize;
    case GL_COLOR_MATERIAL:
        return state.colourMaterial;
    case glMultisample:
        return GL_TRUE;
    default:
        return es.IsEnabled(cap);
    }
}

void glBegin(GLenum mode) {
    if (state.inPrimitive || mode > GL_POLYGON) {
        setError(state.inPrimitive ? GL_INVALID_OPERATION : GL_INVALID_ENUM);
        return;
    }
    state.inPrimitive = true;
    state.primitiveMode = mode;
    state.primitive.clear();
}

void glEnd() {
    if (!state.inPrimitive) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    state.inPrimitive = false;
    ++state.counts.primitives;
    endPrimitive();
}

void glVertex2f(GLfloat x, GLfloat y) {
    vertex(x, y, 0);
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    vertex(x, y, z);
}
void glVertex3fv(const GLfloat* v) {
    vertex(v[0], v[1], v[2]);
}
void glVertex3d(GLdouble x, GLdouble y, GLdouble z) {
    vertex(float(x), float(y), float(z));
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
    state.normal[0] = x;
    state.normal[1] = y;
    state.normal[2] = z;
}
void glNormal3fv(const GLfloat* v) {
    glNormal3f(v[0], v[1], v[2]);
}
void glNormal3d(GLdouble x, GLdouble y, GLdouble z) {
    glNormal3f(float(x), float(y), float(z));
}

void glTexCoord2f(GLfloat s, GLfloat t) {
    state.texCoord[0] = s;
    state.texCoord[1] = t;
}
void glTexCoord2fv(const GLfloat* v) {
    glTexCoord2f(v[0], v[1]);
}
void glTexCoord2d(GLdouble s, GLdouble t) {
    glTexCoord2f(float(s), float(t));
}

void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    colour(r, g, b, 1);
}
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    colour(r, g, b, a);
}
void glColor4fv(const GLfloat* v) {
    colour(v[0], v[1], v[2], v[3]);
}
void glColor3ub(GLubyte r, GLubyte g, GLubyte b) {
    colour(r / 255.0f, g / 255.0f, b / 255.0f, 1);
}
void glColor4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a) {
    colour(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
}

void glMatrixMode(GLenum mode) {
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) {
        setError(GL_INVALID_ENUM);
        return;
    }
    state.matrixMode = mode;
}

void glLoadIdentity() {
    flushBatch();
    currentStack().back() = Matrix();
}

void glLoadMatrixf(const GLfloat* m) {
    flushBatch();
    std::memcpy(currentStack().back().m, m, sizeof(Matrix::m));
}

void glLoadMatrixd(const GLdouble* m) {
    flushBatch();
    currentStack().back() = fromDoubles(m);
}

void glMultMatrixf(const GLfloat* m) {
    Matrix f;
    std::memcpy(f.m, m, sizeof f.m);
    multiplyCurrent(f);
}

void glMultMatrixd(const GLdouble* m) {
    multiplyCurrent(fromDoubles(m));
}

void glPushMatrix() {
    std::vector<Matrix>& stack = currentStack();
    const size_t depth = state.matrixMode == GL_MODELVIEW ? 32 : 10;
    if (stack.size() >= depth) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    stack.push_back(stack.back());
}

void glPopMatrix() {
    std::vector<Matrix>& stack = currentStack();
    if (stack.size() <= 1) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    flushBatch();
    stack.pop_back();
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    flushBatch();
    float* m = currentStack().back().m;
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
}
void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    glTranslatef(float(x), float(y), float(z));
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    flushBatch();
    float* m = currentStack().back().m;
    for (int i = 0; i < 4; ++i) {
        m[i] *= x;
        m[4 + i] *= y;
        m[8 + i] *= z;
    }
}
void glScaled(GLdouble x, GLdouble y, GLdouble z) {
    glScalef(float(x), float(y), float(z));
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    if (angle == 0) return;
    multiplyCurrent(rotation(angle, x, y, z));
}
void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    glRotatef(float(angle), float(x), float(y), float(z));
}

void glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear,
               GLdouble zFar) {
    const float l = float(left), r = float(right), b = float(bottom), t = float(top);
    const float n = float(zNear), f = float(zFar);
    Matrix m;
    m.m[0] = (2.0f * n) / (r - l);
    m.m[5] = (2.0f * n) / (t - b);
    m.m[8] = (r + l) / (r - l);
    m.m[9] = (t + b) / (t - b);
    m.m[10] = -(f + n) / (f - n);
    m.m[11] = -1;
    m.m[14] = -(2.0f * f * n) / (f - n);
    m.m[15] = 0;
    multiplyCurrent(m);
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear,
             GLdouble zFar) {
    const float l = float(left), r = float(right), b = float(bottom), t = float(top);
    const float n = float(zNear), f = float(zFar);
    Matrix m;
    m.m[0] = 2.0f / (r - l);
    m.m[12] = -(r + l) / (r - l);
    m.m[5] = 2.0f / (t - b);
    m.m[13] = -(t + b) / (t - b);
    m.m[10] = -2.0f / (f - n);
    m.m[14] = -(f + n) / (f - n);
    multiplyCurrent(m);
}

// GLU's own arithmetic: the matrix in double, handed to glMultMatrixd.
extern "C" void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    const double radians = fovy / 2 * M_PI / 180;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0) return;
    const double cotangent = std::cos(radians) / sine;
    GLdouble m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / deltaZ;
    m[15] = 0;
    glMultMatrixd(m);
}

void glGetFloatv(GLenum pname, GLfloat* data) {
    switch (pname) {
    case GL_MODELVIEW_MATRIX:
        std::memcpy(data, state.modelview.back().m, 64);
        return;
    case GL_PROJECTION_MATRIX:
        std::memcpy(data, state.projection.back().m, 64);
        return;
    case GL_TEXTURE_MATRIX:
        std::memcpy(data, state.texture.back().m, 64);
        return;
    default:
        es.GetFloatv(pname, data);
    }
}

void glGetIntegerv(GLenum pname, GLint* data) {
    if (pname == GL_MATRIX_MODE)
        *data = GLint(state.matrixMode);
    else
        es.GetIntegerv(pname, data);
}

// Only the front material is kept: with one-sided lighting GL lights back faces with it too.
void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
    if (face == GL_BACK) return;
    flushBatch();
    MaterialState& m = state.material;
    // Colour material owns ambient and diffuse while it is on; GL ignores them then.
    const bool tracked = state.colourMaterial;
    switch (pname) {
    case GL_AMBIENT:
        if (!tracked) std::memcpy(m.ambient, params, sizeof m.ambient);
        break;
    case GL_DIFFUSE:
        if (!tracked) std::memcpy(m.diffuse, params, sizeof m.diffuse);
        break;
    case GL_AMBIENT_AND_DIFFUSE:
        if (!tracked) {
            std::memcpy(m.ambient, params, sizeof m.ambient);
            std::memcpy(m.diffuse, params, sizeof m.diffuse);
        }
        break;
    case GL_SPECULAR:
        std::memcpy(m.specular, params, sizeof m.specular);
        break;
    case GL_EMISSION:
        std::memcpy(m.emission, params, sizeof m.emission);
        break;
    case GL_SHININESS:
        if (params[0] < 0 || params[0] > 128) {
            setError(GL_INVALID_VALUE);
            return;
        }
        m.shininess = params[0];
        break;
    default:
        setError(GL_INVALID_ENUM);
    }
}

void glMaterialf(GLenum face, GLenum pname, GLfloat param) {
    if (pname != GL_SHININESS) {
        setError(GL_INVALID_ENUM);
        return;
    }
    glMaterialfv(face, pname, &param);
}

void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    if (light < GL_LIGHT0 || light >= GL_LIGHT0 + lightCount) {
        setError(GL_INVALID_ENUM);
        return;
    }
    flushBatch();
    Light& l = state.lights[light - GL_LIGHT0];
    switch (pname) {
    case GL_AMBIENT:
        std::memcpy(l.ambient, params, sizeof l.ambient);
        break;
    case GL_DIFFUSE:
        std::memcpy(l.diffuse, params, sizeof l.diffuse);
        break;
    case GL_SPECULAR:
        std::memcpy(l.specular, params, sizeof l.specular);
        break;
    case GL_POSITION: {
        // Into eye space by the modelview in force now.
        const float* m = state.modelview.back().m;
        for (int row = 0; row < 4; ++row)
            l.position[row] = m[row] * params[0] + m[4 + row] * params[1] + m[8 + row] * params[2] +
                              m[12 + row] * params[3];
        break;
    }
    default:
        setError(GL_INVALID_ENUM);
    }
}

void glLightModelfv(GLenum pname, const GLfloat* params) {
    if (pname != GL_LIGHT_MODEL_AMBIENT) {
        setError(GL_INVALID_ENUM);
        return;
    }
    flushBatch();
    std::memcpy(state.modelAmbient, params, sizeof state.modelAmbient);
}

void glShadeModel(GLenum mode) {
    if (mode != GL_SMOOTH && mode != GL_FLAT) {
        setError(GL_INVALID_ENUM);
        return;
    }
    if (mode != state.shadeModel) flushBatch();
    state.shadeModel = mode;
}

void glAlphaFunc(GLenum func, GLclampf ref) {
    if (func < GL_NEVER || func > GL_ALWAYS) {
        setError(GL_INVALID_ENUM);
        return;
    }
    const float clamped = ref < 0 ? 0 : ref > 1 ? 1 : ref;
    if (func == state.alphaFunc && clamped == state.alphaRef) return;
    flushBatch();
    state.alphaFunc = func;
    state.alphaRef = clamped;
}

void glHint(GLenum, GLenum) {} // perspective-correct interpolation is all ES does

void glBlendFunc(GLenum sfactor, GLenum dfactor) {
    flushBatch();
    es.BlendFunc(sfactor, dfactor);
}

void glDepthFunc(GLenum func) {
    flushBatch();
    es.DepthFunc(func);
}

void glDepthMask(GLboolean flag) {
    flushBatch();
    es.DepthMask(flag);
}

void glDepthRange(GLclampd zNear, GLclampd zFar) {
    flushBatch();
    es.DepthRangef(float(zNear), float(zFar));
}

void glColorMask(GLboolean red, GLboolean green, GLboolean blue, GLboolean alpha) {
    flushBatch();
    es.ColorMask(red, green, blue, alpha);
}

void glCullFace(GLenum mode) {
    flushBatch();
    es.CullFace(mode);
}

void glFrontFace(GLenum mode) {
    flushBatch();
    es.FrontFace(mode);
}

void glPolygonOffset(GLfloat factor, GLfloat units) {
    flushBatch();
    es.PolygonOffset(factor, units);
}

void glLineWidth(GLfloat width) {
    flushBatch();
    es.LineWidth(width);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    flushBatch();
    es.Viewport(x, y, width, height);
    state.viewportX = x;
    state.viewportY = y;
    state.viewportWidth = width;
    state.viewportHeight = height;
}

void glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    flushBatch();
    es.Scissor(x, y, width, height);
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    es.ClearColor(red, green, blue, alpha);
}

void glClearDepth(GLclampd depth) {
    es.ClearDepthf(float(depth));
}

void glClear(GLbitfield mask) {
    flushBatch();
    es.Clear(mask);
}

void glFlush() {
    flushBatch();
    es.Flush();
}

void glFinish() {
    flushBatch();
    es.Finish();
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid* pixels) {
    flushBatch();
    es.ReadPixels(x, y, width, height, format, type, pixels);
}

void glPixelStorei(GLenum pname, GLint param) {
    es.PixelStorei(pname, param);
    if (pname == GL_UNPACK_ALIGNMENT) state.unpackAlignment = param;
    if (pname == GL_UNPACK_ROW_LENGTH) state.unpackRowLength = param;
    if (pname == GL_UNPACK_SKIP_ROWS) state.unpackSkipRows = param;
    if (pname == GL_UNPACK_SKIP_PIXELS) state.unpackSkipPixels = param;
}

GLenum glGetError() {
    const GLenum own = state.error;
    state.error = GL_NO_ERROR;
    const GLenum es3 = es.GetError();
    return own != GL_NO_ERROR ? own : es3;
}

const GLubyte* glGetString(GLenum name) {
    return es.GetString(name);
}

void glGenTextures(GLsizei n, GLuint* textures) {
    es.GenTextures(n, textures);
    for (GLsizei i = 0; i < n; ++i)
        state.textures[textures[i]] = TextureInfo();
}

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    flushBatch();
    for (GLsizei i = 0; i < n; ++i) {
        state.textures.erase(textures[i]);
        if (textures[i] == state.boundTexture) state.boundTexture = 0;
    }
    es.DeleteTextures(n, textures);
}

void glBindTexture(GLenum target, GLuint texture) {
    if (target != GL_TEXTURE_2D) {
        setError(GL_INVALID_ENUM);
        return;
    }
    if (texture == state.boundTexture) return;
    flushBatch();
    es.BindTexture(target, texture);
    state.boundTexture = texture;
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    if (target != GL_TEXTURE_2D) {
        setError(GL_INVALID_ENUM);
        return;
    }
    flushBatch();
    TextureInfo& info = state.textures[state.boundTexture];
    if (pname == glGenerateMipmapParameter) {
        info.generateMipmap = param != 0;
        return;
    }
    if (pname == GL_TEXTURE_MIN_FILTER) info.minFilter = GLenum(param);
    if ((pname == GL_TEXTURE_WRAP_S || pname == GL_TEXTURE_WRAP_T) && param == GL_CLAMP)
        param = GLint(esClampToEdge); // ES has no border colour to clamp towards
    es.TexParameteri(target, pname, param);
}

void glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
    glTexParameteri(target, pname, GLint(param));
}

// GL 1.x's component counts and unsized formats become ES's sized ones where ES has them; the
// data's format must carry the same components as the texture (ES converts nothing).
void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
    if (target != GL_TEXTURE_2D || border != 0) {
        setError(target != GL_TEXTURE_2D ? GL_INVALID_ENUM : GL_INVALID_VALUE);
        return;
    }
    GLenum wanted = 0;
    switch (internalformat) {
    case 1:
    case GL_LUMINANCE:
        wanted = GL_LUMINANCE;
        break;
    case 2:
    case GL_LUMINANCE_ALPHA:
        wanted = GL_LUMINANCE_ALPHA;
        break;
    case 3:
    case GL_RGB:
    case GL_RGB8:
        wanted = GL_RGB;
        break;
    case 4:
    case GL_RGBA:
    case GL_RGBA8:
        wanted = GL_RGBA;
        break;
    case GL_ALPHA:
        wanted = GL_ALPHA;
        break;
    default:
        setError(GL_INVALID_VALUE);
        return;
    }
    if (wanted != format) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    GLint esFormat = GLint(format);
    if (type == GL_UNSIGNED_BYTE && format == GL_RGBA) esFormat = GLint(esRgba8);
    if (type == GL_UNSIGNED_BYTE && format == GL_RGB) esFormat = GLint(esRgb8);
    flushBatch();
    es.TexImage2D(target, level, esFormat, width, height, 0, format, type, pixels);
    TextureInfo& info = state.textures[state.boundTexture];
    if (level != 0) {
        info.ownLevels = true;
        return;
    }
    info.hasImage = true;
    info.mipmapped = false;
    findVisibleTexels(info, width, height, format, type, pixels);
    if (info.generateMipmap) {
        es.GenerateMipmap(GL_TEXTURE_2D);
        info.mipmapped = true;
    }
}

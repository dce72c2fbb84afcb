// The GL layer's insides shared by its files: the ES call table, the state, the cross-file calls.
#pragma once

#include "standin/gl/legacygl.h"

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// ---- The OpenGL ES 3.0 calls the layer makes ----------------------------------------------
//
// They are reached through this table, never by their standard names, which gl1.cpp defines for
// the show's GL 1.x calls instead.

#define LEGACYGL_ES_CALLS(X)                                                                       \
    X(void, ActiveTexture, (GLenum texture))                                                       \
    X(void, AttachShader, (GLuint program, GLuint shader))                                         \
    X(void, BindAttribLocation, (GLuint program, GLuint index, const char* name))                  \
    X(void, BindBuffer, (GLenum target, GLuint buffer))                                            \
    X(void, BindTexture, (GLenum target, GLuint texture))                                          \
    X(void, BindVertexArray, (GLuint array))                                                       \
    X(void, BlendFunc, (GLenum sfactor, GLenum dfactor))                                           \
    X(void, BufferData, (GLenum target, std::intptr_t size, const void* data, GLenum usage))       \
    X(void, Clear, (GLbitfield mask))                                                              \
    X(void, ClearColor, (GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha))                 \
    X(void, ClearDepthf, (GLfloat depth))                                                          \
    X(void, ColorMask, (GLboolean red, GLboolean green, GLboolean blue, GLboolean alpha))          \
    X(void, CompileShader, (GLuint shader))                                                        \
    X(GLuint, CreateProgram, ())                                                                   \
    X(GLuint, CreateShader, (GLenum type))                                                         \
    X(void, CullFace, (GLenum mode))                                                               \
    X(void, DeleteBuffers, (GLsizei n, const GLuint* buffers))                                     \
    X(void, DeleteProgram, (GLuint program))                                                       \
    X(void, DeleteShader, (GLuint shader))                                                         \
    X(void, DeleteTextures, (GLsizei n, const GLuint* textures))                                   \
    X(void, DeleteVertexArrays, (GLsizei n, const GLuint* arrays))                                 \
    X(void, DepthFunc, (GLenum func))                                                              \
    X(void, DepthMask, (GLboolean flag))                                                           \
    X(void, DepthRangef, (GLfloat n, GLfloat f))                                                   \
    X(void, Disable, (GLenum cap))                                                                 \
    X(void, DrawElements, (GLenum mode, GLsizei count, GLenum type, const void* indices))          \
    X(void, Enable, (GLenum cap))                                                                  \
    X(void, EnableVertexAttribArray, (GLuint index))                                               \
    X(void, Finish, ())                                                                            \
    X(void, Flush, ())                                                                             \
    X(void, FrontFace, (GLenum mode))                                                              \
    X(void, GenBuffers, (GLsizei n, GLuint * buffers))                                             \
    X(void, GenerateMipmap, (GLenum target))                                                       \
    X(void, GenTextures, (GLsizei n, GLuint * textures))                                           \
    X(void, GenVertexArrays, (GLsizei n, GLuint * arrays))                                         \
    X(GLenum, GetError, ())                                                                        \
    X(void, GetFloatv, (GLenum pname, GLfloat * data))                                             \
    X(void, GetIntegerv, (GLenum pname, GLint * data))                                             \
    X(void, GetProgramInfoLog, (GLuint program, GLsizei size, GLsizei * length, char* log))        \
    X(void, GetProgramiv, (GLuint program, GLenum pname, GLint * params))                          \
    X(void, GetShaderInfoLog, (GLuint shader, GLsizei size, GLsizei * length, char* log))          \
    X(void, GetShaderiv, (GLuint shader, GLenum pname, GLint * params))                            \
    X(const GLubyte*, GetString, (GLenum name))                                                    \
    X(GLint, GetUniformLocation, (GLuint program, const char* name))                               \
    X(GLboolean, IsEnabled, (GLenum cap))                                                          \
    X(void, LineWidth, (GLfloat width))                                                            \
    X(void, LinkProgram, (GLuint program))                                                         \
    X(void, PixelStorei, (GLenum pname, GLint param))                                              \
    X(void, PolygonOffset, (GLfloat factor, GLfloat units))                                        \
    X(void, ReadPixels,                                                                            \
      (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels)) \
    X(void, Scissor, (GLint x, GLint y, GLsizei width, GLsizei height))                            \
    X(void, ShaderSource,                                                                          \
      (GLuint shader, GLsizei count, const char* const* string, const GLint* length))              \
    X(void, TexImage2D,                                                                            \
      (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,            \
       GLint border, GLenum format, GLenum type, const void* pixels))                              \
    X(void, TexParameteri, (GLenum target, GLenum pname, GLint param))                             \
    X(void, Uniform1f, (GLint location, GLfloat v0))                                               \
    X(void, Uniform1i, (GLint location, GLint v0))                                                 \
    X(void, Uniform4fv, (GLint location, GLsizei count, const GLfloat* value))                     \
    X(void, UniformMatrix3fv,                                                                      \
      (GLint location, GLsizei count, GLboolean transpose, const GLfloat* value))                  \
    X(void, UniformMatrix4fv,                                                                      \
      (GLint location, GLsizei count, GLboolean transpose, const GLfloat* value))                  \
    X(void, UseProgram, (GLuint program))                                                          \
    X(void, VertexAttribPointer,                                                                   \
      (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,                \
       const void* pointer))                                                                       \
    X(void, Viewport, (GLint x, GLint y, GLsizei width, GLsizei height))

#ifdef __EMSCRIPTEN__
// The WebGL library's functions under the names it gives them besides the standard ones.
#define LEGACYGL_DECLARE(ret, name, args) extern "C" ret emscripten_gl##name args;
LEGACYGL_ES_CALLS(LEGACYGL_DECLARE)
#undef LEGACYGL_DECLARE
#endif

// Everything below is the layer's own, in a namespace of its own; the standard gl* names it
// defines stay global.
namespace legacygl {

struct EsCalls {
#define LEGACYGL_MEMBER(ret, name, args) ret(*name) args = nullptr;
    LEGACYGL_ES_CALLS(LEGACYGL_MEMBER)
#undef LEGACYGL_MEMBER
};

extern EsCalls es; // state.cpp

// Values of OpenGL ES 3.0 and later GL versions that a GL 1.x header need not define.
constexpr GLenum esArrayBuffer = 0x8892, esElementArrayBuffer = 0x8893, esStreamDraw = 0x88E0;
constexpr GLenum esVertexShader = 0x8B31, esFragmentShader = 0x8B30;
constexpr GLenum esCompileStatus = 0x8B81, esLinkStatus = 0x8B82;
constexpr GLenum esTexture0 = 0x84C0, esRgba8 = 0x8058, esRgb8 = 0x8051;
constexpr GLenum esClampToEdge = 0x812F;
constexpr GLenum glGenerateMipmapParameter = 0x8191; // GL_GENERATE_MIPMAP, GL 1.4
constexpr GLenum glRescaleNormal = 0x803A;           // GL 1.2
constexpr GLenum glMultisample = 0x809D;             // GL 1.3

// ---- Matrices, column-major as GL keeps them, with Mesa's arithmetic order ----------------

struct Matrix {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// matrix.cpp
Matrix product(const Matrix& a, const Matrix& b); // a * b
Matrix rotation(float angle, float x, float y, float z);
void normalMatrix(const Matrix& a, float out[9]); // GL's normal matrix; zeros for a singular one
Matrix fromDoubles(const GLdouble* m);

// ---- The state the layer keeps itself -----------------------------------------------------

struct Vertex {
    float position[3];
    float normal[3];
    float colour[4];
    float texCoord[2];
};

constexpr int lightCount = 8;

struct Light {
    bool enabled = false;
    float ambient[4] = {0, 0, 0, 1};
    float diffuse[4] = {0, 0, 0, 1};
    float specular[4] = {0, 0, 0, 1};
    float position[4] = {0, 0, 1, 0}; // eye space, as transformed when given
};

struct MaterialState {
    float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
    float diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
    float specular[4] = {0, 0, 0, 1};
    float emission[4] = {0, 0, 0, 1};
    float shininess = 0;
};

// Per texture name: what decides whether desktop GL would sample it at all, and where its
// level-0 image is not fully transparent.
struct TextureInfo {
    bool hasImage = false;
    bool mipmapped = false;
    bool generateMipmap = false;
    GLenum minFilter = GL_NEAREST_MIPMAP_LINEAR;
    // Texels [x0, x1) by [y0, y1), row 0 the first given, hold every alpha that is not 0; the
    // whole image for a format without alpha, nothing (x0 == x1) for an image all transparent.
    int width = 0, height = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool ownLevels = false; // levels beyond 0 were given, which may show what level 0 does not
};

struct Program {
    GLuint name = 0; // 0 when the program failed to build
    GLint mvp = -1, modelview = -1, textureMatrix = -1, normalMatrix = -1;
    GLint materialAmbient = -1, materialDiffuse = -1, materialSpecular = -1, materialEmission = -1,
          shininess = -1, modelAmbient = -1;
    GLint lightPosition = -1, lightAmbient = -1, lightDiffuse = -1, lightSpecular = -1;
    GLint alphaRef = -1;
};

struct State {
    bool ready = false;
    std::unordered_map<uint32_t, Program>
        programs; // by ProgramKey::packed(), built when first used
    GLuint buffer = 0, indexBuffer = 0, vertexArray = 0;

    // Matrix stacks: the last element is the current matrix.
    std::vector<Matrix> modelview{Matrix()}, projection{Matrix()}, texture{Matrix()};
    GLenum matrixMode = GL_MODELVIEW;

    // Current vertex attributes.
    float normal[3] = {0, 0, 1};
    float colour[4] = {1, 1, 1, 1};
    float texCoord[2] = {0, 0};

    bool lighting = false, colourMaterial = false, texturing2D = false, alphaTest = false;
    bool normalize = false;
    Light lights[lightCount];
    MaterialState material;
    float modelAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
    GLenum alphaFunc = GL_ALWAYS;
    float alphaRef = 0;
    GLenum shadeModel = GL_SMOOTH;
    GLuint boundTexture = 0;
    std::unordered_map<GLuint, TextureInfo> textures;
    int viewportX = 0, viewportY = 0;
    int viewportWidth = 0, viewportHeight = 0; // 0 until glViewport: the size is then unknown
    // Pixel unpacking as glPixelStorei left it: the alignment, and whether rows are read with
    // a row length, skipped rows or skipped pixels.
    int unpackAlignment = 4;
    int unpackRowLength = 0, unpackSkipRows = 0, unpackSkipPixels = 0;

    // The primitive between glBegin and glEnd, and the batch of triangles, lines or points:
    // distinct vertices and, in drawing order, their indices. Faces of a mesh share corners, and
    // a software rasteriser shades a shared corner once where a draw names it by index.
    bool inPrimitive = false;
    GLenum primitiveMode = 0;
    std::vector<Vertex> primitive;
    std::vector<uint32_t> primitiveIndices; // the primitive's vertices' places in `batch`
    std::vector<Vertex> batch;
    std::vector<uint32_t> indices;
    GLenum batchMode = GL_TRIANGLES;
    // Recently added vertices by a hash of their bytes: index + 1 into `batch`, 0 for none.
    uint32_t recent[1024] = {};

    GLenum error = GL_NO_ERROR; // the first the layer itself found since glGetError
    LegacyGLCounts counts;
};

// state.cpp: the state, the first error since glGetError, the stack glMatrixMode picked.
extern State state;
void setError(GLenum error);
std::vector<Matrix>& currentStack();

// ---- Shader programs (programs.cpp) ---------------------------------------------------------

// The switches that pick a program, from the state a batch is drawn with.
struct ProgramKey {
    bool flat = false;
    int lights = -1; // enabled lights with lighting on; -1 with lighting off
    bool colourMaterial = false, normalize = false, texturing = false;
    int alphaFunc = 7; // GL_ALWAYS - GL_NEVER: no test

    uint32_t packed() const {
        return uint32_t(flat) | uint32_t(lights + 1) << 1 | uint32_t(colourMaterial) << 5 |
               uint32_t(normalize) << 6 | uint32_t(texturing) << 7 | uint32_t(alphaFunc) << 8;
    }
    std::string defines() const {
        std::string d = std::string("#define SHADE ") + (flat ? "flat" : "") + "\n";
        if (lights >= 0) d += "#define LIGHTS " + std::to_string(lights) + "\n";
        if (colourMaterial) d += "#define COLOUR_MATERIAL\n";
        if (normalize) d += "#define NORMALIZE\n";
        if (texturing) d += "#define TEXTURING\n";
        return d + "#define ALPHA_FUNC " + std::to_string(alphaFunc) + "\n";
    }
};

bool buildProgram(Program& p, const ProgramKey& key, std::string& error);
bool textureApplies(); // whether desktop GL would apply the bound texture
ProgramKey currentKey();
const Program* programFor(const ProgramKey& key); // null when the program would not build
void uploadState(const Program& p, const ProgramKey& key);

// ---- Batching (batch.cpp) -------------------------------------------------------------------

void clearBatch();
void flushBatch();   // draws what is gathered
void endPrimitive(); // adds the primitive glEnd closed to the batch

// ---- Quads cut to the visible part of their texture (cut.cpp) -------------------------------

void findVisibleTexels(TextureInfo& info, GLsizei width, GLsizei height, GLenum format, GLenum type,
                       const GLvoid* pixels);
enum class Cut { whole, cut, nothing };
Cut visibleBox(const Vertex quad[4], int box[4]);
void drawScissored(const int box[4]);

} // namespace legacygl

// GL 1.x immediate mode, matrix stacks, lighting and texturing drawn through OpenGL ES 3.0 shaders.
#include "standin/gl/legacygl.h"

#include <GL/gl.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

// ---- The OpenGL ES 3.0 calls the layer makes ----------------------------------------------
//
// They are reached through this table, never by their standard names, which this file defines
// for the show's GL 1.x calls instead.

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

namespace {

struct EsCalls {
#define LEGACYGL_MEMBER(ret, name, args) ret(*name) args = nullptr;
    LEGACYGL_ES_CALLS(LEGACYGL_MEMBER)
#undef LEGACYGL_MEMBER
};

EsCalls es;

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

// a * b
Matrix product(const Matrix& a, const Matrix& b) {
    Matrix p;
    for (int i = 0; i < 4; ++i) {
        const float ai0 = a.m[i], ai1 = a.m[4 + i], ai2 = a.m[8 + i], ai3 = a.m[12 + i];
        for (int j = 0; j < 4; ++j)
            p.m[4 * j + i] = ai0 * b.m[4 * j] + ai1 * b.m[4 * j + 1] + ai2 * b.m[4 * j + 2] +
                             ai3 * b.m[4 * j + 3];
    }
    return p;
}

Matrix rotation(float angle, float x, float y, float z) {
    const float s = float(std::sin(angle * M_PI / 180.0));
    const float c = float(std::cos(angle * M_PI / 180.0));
    Matrix r;
    auto at = [&r](int row, int col) -> float& { return r.m[col * 4 + row]; };
    // Rotations about one axis are built exactly, the general one from the unit axis.
    if (x == 0 && y == 0 && z != 0) {
        at(0, 0) = c;
        at(1, 1) = c;
        at(0, 1) = z < 0 ? s : -s;
        at(1, 0) = z < 0 ? -s : s;
    } else if (x == 0 && z == 0 && y != 0) {
        at(0, 0) = c;
        at(2, 2) = c;
        at(0, 2) = y < 0 ? -s : s;
        at(2, 0) = y < 0 ? s : -s;
    } else if (y == 0 && z == 0 && x != 0) {
        at(1, 1) = c;
        at(2, 2) = c;
        at(1, 2) = x < 0 ? s : -s;
        at(2, 1) = x < 0 ? -s : s;
    } else {
        const float length = std::sqrt(x * x + y * y + z * z);
        if (length <= 1.0e-4f) return r;
        x /= length;
        y /= length;
        z /= length;
        const float oneMinusC = 1.0f - c;
        at(0, 0) = oneMinusC * x * x + c;
        at(0, 1) = oneMinusC * x * y - z * s;
        at(0, 2) = oneMinusC * z * x + y * s;
        at(1, 0) = oneMinusC * x * y + z * s;
        at(1, 1) = oneMinusC * y * y + c;
        at(1, 2) = oneMinusC * y * z - x * s;
        at(2, 0) = oneMinusC * z * x - y * s;
        at(2, 1) = oneMinusC * y * z + x * s;
        at(2, 2) = oneMinusC * z * z + c;
    }
    return r;
}

// The transpose of the inverse of the upper-left 3x3 block, column-major; what GL transforms
// normals with. A singular block gives zeros.
void normalMatrix(const Matrix& a, float out[9]) {
    const double m00 = a.m[0], m01 = a.m[4], m02 = a.m[8];
    const double m10 = a.m[1], m11 = a.m[5], m12 = a.m[9];
    const double m20 = a.m[2], m21 = a.m[6], m22 = a.m[10];
    const double c00 = m11 * m22 - m12 * m21, c01 = m12 * m20 - m10 * m22,
                 c02 = m10 * m21 - m11 * m20;
    const double c10 = m02 * m21 - m01 * m22, c11 = m00 * m22 - m02 * m20,
                 c12 = m01 * m20 - m00 * m21;
    const double c20 = m01 * m12 - m02 * m11, c21 = m02 * m10 - m00 * m12,
                 c22 = m00 * m11 - m01 * m10;
    const double det = m00 * c00 + m01 * c01 + m02 * c02;
    const double inv = det != 0 ? 1 / det : 0;
    // inverse(row i, col j) = cofactor(j, i) / det, so its transpose holds cofactor(i, j).
    const double t[3][3] = {{c00, c01, c02}, {c10, c11, c12}, {c20, c21, c22}};
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row)
            out[col * 3 + row] = float(t[row][col] * inv);
}

Matrix fromDoubles(const GLdouble* m) {
    Matrix r;
    for (int i = 0; i < 16; ++i)
        r.m[i] = float(m[i]);
    return r;
}

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

// ---- Shaders --------------------------------------------------------------------------------

// Per-vertex lighting as GL 1.x specifies it with the light model's defaults (infinite viewer,
// one-sided, single colour) and lights without spot cone or attenuation. Each combination of
// the switches below is a program of its own: a software rasteriser runs every branch of a
// shader whose conditions are uniforms, which made the model's frames in the browser half as
// fast again.
//   LIGHTS           enabled lights, 0 to 8; undefined with lighting off
//   COLOUR_MATERIAL  ambient and diffuse are the vertex colour
//   NORMALIZE        normals are normalised after the normal matrix
//   TEXTURING        the bound texture modulates the colour
//   ALPHA_FUNC       the alpha test's GL comparison, GL_NEVER + 0 to GL_ALWAYS + 7
//   SHADE            the colour varying's qualifier: empty, or flat for GL_FLAT
const char* const vertexShaderSource = R"(
precision highp float;
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec4 colour;
layout(location = 3) in vec2 texCoord;
uniform mat4 mvp, textureMatrix;
SHADE out vec4 vertexColour;
out vec4 vertexTexCoord;
#ifdef LIGHTS
uniform mat4 modelview;
uniform mat3 normalMatrix;
uniform vec4 materialAmbient, materialDiffuse, materialSpecular, materialEmission, modelAmbient;
uniform float shininess;
#if LIGHTS > 0
uniform vec4 lightPosition[LIGHTS], lightAmbient[LIGHTS], lightDiffuse[LIGHTS],
    lightSpecular[LIGHTS];
#endif
#endif
void main() {
    vec4 p = vec4(position, 1.0);
    gl_Position = mvp * p;
#ifdef TEXTURING
    vertexTexCoord = textureMatrix * vec4(texCoord, 0.0, 1.0);
#else
    vertexTexCoord = vec4(0.0);
#endif
#ifndef LIGHTS
    vertexColour = clamp(colour, 0.0, 1.0);
#else
#ifdef COLOUR_MATERIAL
    vec4 ambient = colour, diffuse = colour;
#else
    vec4 ambient = materialAmbient, diffuse = materialDiffuse;
#endif
    vec3 sum = materialEmission.rgb + modelAmbient.rgb * ambient.rgb;
#if LIGHTS > 0
    vec3 eye = (modelview * p).xyz;
    vec3 n = normalMatrix * normal;
#ifdef NORMALIZE
    n = normalize(n);
#endif
    for (int i = 0; i < LIGHTS; ++i) {
        vec4 lp = lightPosition[i];
        vec3 l = normalize(lp.w == 0.0 ? lp.xyz : lp.xyz / lp.w - eye);
        vec3 h = normalize(l + vec3(0.0, 0.0, 1.0));
        float nl = dot(n, l);
        sum += lightAmbient[i].rgb * ambient.rgb;
        if (nl > 0.0) {
            float nh = max(dot(n, h), 0.0);
            float specular = shininess == 0.0 ? 1.0 : (nh > 0.0 ? pow(nh, shininess) : 0.0);
            sum += nl * lightDiffuse[i].rgb * diffuse.rgb;
            sum += specular * lightSpecular[i].rgb * materialSpecular.rgb;
        }
    }
#endif
    vertexColour = clamp(vec4(sum, diffuse.a), 0.0, 1.0);
#endif
}
)";

// Texture environment GL_MODULATE, then the alpha test.
const char* const fragmentShaderSource = R"(
precision highp float;
SHADE in vec4 vertexColour;
in vec4 vertexTexCoord;
uniform sampler2D sampler;
uniform float alphaRef;
out vec4 fragmentColour;
void main() {
    vec4 c = vertexColour;
#ifdef TEXTURING
    c *= textureProj(sampler, vertexTexCoord.xyw);
#endif
#if ALPHA_FUNC == 0
    discard;
#elif ALPHA_FUNC == 1
    if (!(c.a < alphaRef)) discard;
#elif ALPHA_FUNC == 2
    if (!(c.a == alphaRef)) discard;
#elif ALPHA_FUNC == 3
    if (!(c.a <= alphaRef)) discard;
#elif ALPHA_FUNC == 4
    if (!(c.a > alphaRef)) discard;
#elif ALPHA_FUNC == 5
    if (!(c.a != alphaRef)) discard;
#elif ALPHA_FUNC == 6
    if (!(c.a >= alphaRef)) discard;
#endif
    fragmentColour = c;
}
)";

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

GLuint compileShader(GLenum type, const std::string& defines, const char* body,
                     std::string& error) {
    const char* parts[] = {"#version 300 es\n", defines.c_str(), body};
    const GLuint shader = es.CreateShader(type);
    es.ShaderSource(shader, 3, parts, nullptr);
    es.CompileShader(shader);
    GLint ok = 0;
    es.GetShaderiv(shader, esCompileStatus, &ok);
    if (!ok) {
        char log[1024] = "";
        es.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = std::string("the GL 1.x layer's shader does not compile: ") + log;
        es.DeleteShader(shader);
        return 0;
    }
    return shader;
}

bool buildProgram(Program& p, const ProgramKey& key, std::string& error) {
    const std::string defines = key.defines();
    const GLuint vertex = compileShader(esVertexShader, defines, vertexShaderSource, error);
    if (vertex == 0) return false;
    const GLuint fragment = compileShader(esFragmentShader, defines, fragmentShaderSource, error);
    if (fragment == 0) {
        es.DeleteShader(vertex);
        return false;
    }
    p.name = es.CreateProgram();
    es.AttachShader(p.name, vertex);
    es.AttachShader(p.name, fragment);
    es.LinkProgram(p.name);
    es.DeleteShader(vertex);
    es.DeleteShader(fragment);
    GLint ok = 0;
    es.GetProgramiv(p.name, esLinkStatus, &ok);
    if (!ok) {
        char log[1024] = "";
        es.GetProgramInfoLog(p.name, sizeof log, nullptr, log);
        error = std::string("the GL 1.x layer's shaders do not link: ") + log;
        es.DeleteProgram(p.name);
        p.name = 0;
        return false;
    }
    const auto at = [&p](const char* name) { return es.GetUniformLocation(p.name, name); };
    p.mvp = at("mvp");
    p.modelview = at("modelview");
    p.textureMatrix = at("textureMatrix");
    p.normalMatrix = at("normalMatrix");
    p.materialAmbient = at("materialAmbient");
    p.materialDiffuse = at("materialDiffuse");
    p.materialSpecular = at("materialSpecular");
    p.materialEmission = at("materialEmission");
    p.shininess = at("shininess");
    p.modelAmbient = at("modelAmbient");
    p.lightPosition = at("lightPosition");
    p.lightAmbient = at("lightAmbient");
    p.lightDiffuse = at("lightDiffuse");
    p.lightSpecular = at("lightSpecular");
    p.alphaRef = at("alphaRef");
    es.UseProgram(p.name);
    es.Uniform1i(at("sampler"), 0);
    return true;
}

// Whether desktop GL would apply the bound texture: an incomplete one leaves texturing off.
bool textureApplies() {
    if (!state.texturing2D || state.boundTexture == 0) return false;
    const auto found = state.textures.find(state.boundTexture);
    if (found == state.textures.end() || !found->second.hasImage) return false;
    const GLenum min = found->second.minFilter;
    const bool needsMipmaps = min != GL_NEAREST && min != GL_LINEAR;
    return !needsMipmaps || found->second.mipmapped;
}

ProgramKey currentKey() {
    const State& s = state;
    ProgramKey key;
    key.flat = s.shadeModel == GL_FLAT;
    if (s.lighting) {
        key.lights = 0;
        for (const Light& light : s.lights)
            key.lights += light.enabled ? 1 : 0;
        key.colourMaterial = s.colourMaterial;
        key.normalize = s.normalize;
    }
    key.texturing = textureApplies();
    key.alphaFunc = s.alphaTest ? int(s.alphaFunc - GL_NEVER) : 7;
    return key;
}

// The program for `key`, built on first use; null when it would not build (the draws it was for
// are dropped and glGetError says GL_INVALID_OPERATION).
const Program* programFor(const ProgramKey& key) {
    const auto found = state.programs.find(key.packed());
    if (found != state.programs.end()) return found->second.name != 0 ? &found->second : nullptr;
    Program& p = state.programs[key.packed()];
    std::string error;
    if (!buildProgram(p, key, error)) return nullptr;
    return &p;
}

void uploadState(const Program& p, const ProgramKey& key) {
    const State& s = state;
    es.UseProgram(p.name);
    const Matrix mvp = product(s.projection.back(), s.modelview.back());
    es.UniformMatrix4fv(p.mvp, 1, GL_FALSE, mvp.m);
    if (key.texturing) es.UniformMatrix4fv(p.textureMatrix, 1, GL_FALSE, s.texture.back().m);
    if (key.alphaFunc != 7) es.Uniform1f(p.alphaRef, s.alphaRef);
    if (key.lights < 0) return;
    es.Uniform4fv(p.materialAmbient, 1, s.material.ambient);
    es.Uniform4fv(p.materialDiffuse, 1, s.material.diffuse);
    es.Uniform4fv(p.materialEmission, 1, s.material.emission);
    es.Uniform4fv(p.modelAmbient, 1, s.modelAmbient);
    if (key.lights == 0) return;
    es.UniformMatrix4fv(p.modelview, 1, GL_FALSE, s.modelview.back().m);
    float normals[9];
    normalMatrix(s.modelview.back(), normals);
    es.UniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, normals);
    es.Uniform4fv(p.materialSpecular, 1, s.material.specular);
    es.Uniform1f(p.shininess, s.material.shininess);
    float position[4 * lightCount], ambient[4 * lightCount], diffuse[4 * lightCount],
        specular[4 * lightCount];
    int used = 0;
    for (const Light& light : s.lights) {
        if (!light.enabled) continue;
        std::memcpy(position + 4 * used, light.position, sizeof light.position);
        std::memcpy(ambient + 4 * used, light.ambient, sizeof light.ambient);
        std::memcpy(diffuse + 4 * used, light.diffuse, sizeof light.diffuse);
        std::memcpy(specular + 4 * used, light.specular, sizeof light.specular);
        ++used;
    }
    assert(used == key.lights);
    es.Uniform4fv(p.lightPosition, used, position);
    es.Uniform4fv(p.lightAmbient, used, ambient);
    es.Uniform4fv(p.lightDiffuse, used, diffuse);
    es.Uniform4fv(p.lightSpecular, used, specular);
}

void clearBatch() {
    state.batch.clear();
    state.indices.clear();
    std::memset(state.recent, 0, sizeof state.recent);
}

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

// ---- Quads cut to the visible part of their texture -----------------------------------------
//
// A software rasteriser spends its time per fragment, whether the alpha test then keeps it or
// not: a full-screen card whose lettering covers a tenth of its image cost as much as a full
// picture. So a textured quad is drawn under a scissor box around where its texture's alpha is
// not 0, when nothing else of it can reach the framebuffer: the alpha test fails alpha 0
// (GL_GREATER with a reference of 0 or more, GL_GEQUAL above 0). The quad itself is unchanged,
// so every fragment inside the box is the one the whole quad has, its depth to the last bit.

// Texels kept around the visible ones. A texel reaches 2^(LOD + 2) texels away at most (linear
// sampling of the coarser of two box-filtered levels), so this covers a LOD up to 2. Quads are
// only cut where their sides show the texture at half size or more (a LOD of 1 at most), which
// leaves room for the LOD's spread over a quad seen in perspective.
constexpr int cutMargin = 16;
constexpr float cutLeastScale = 0.5f; // pixels per texel along each side

// Where level 0's alpha is not 0, for the cut: only RGBA bytes read plainly are looked at.
void findVisibleTexels(TextureInfo& info, GLsizei width, GLsizei height, GLenum format, GLenum type,
                       const GLvoid* pixels) {
    info.width = width;
    info.height = height;
    info.x0 = info.y0 = 0;
    info.x1 = width;
    info.y1 = height;
    const State& s = state;
    if (format != GL_RGBA || type != GL_UNSIGNED_BYTE || pixels == nullptr ||
        s.unpackRowLength != 0 || s.unpackSkipRows != 0 || s.unpackSkipPixels != 0 ||
        s.unpackAlignment < 1)
        return;
    const size_t align = size_t(s.unpackAlignment);
    const size_t stride = (size_t(width) * 4 + align - 1) / align * align;
    int x0 = width, x1 = 0, y0 = height, y1 = 0;
    for (int y = 0; y < height; ++y) {
        const auto* row = static_cast<const uint8_t*>(pixels) + size_t(y) * stride;
        int first = 0;
        while (first < width && row[4 * first + 3] == 0)
            ++first;
        if (first == width) continue;
        int last = width - 1;
        while (row[4 * last + 3] == 0)
            --last;
        x0 = std::min(x0, first);
        x1 = std::max(x1, last + 1);
        y0 = std::min(y0, y);
        y1 = y + 1;
    }
    if (x0 >= x1) x0 = x1 = y0 = y1 = 0;
    info.x0 = x0;
    info.x1 = x1;
    info.y0 = y0;
    info.y1 = y1;
}

// Corner `v`'s place in the window in pixels; false when it lies behind the eye.
bool windowPosition(const Matrix& mvp, const Vertex& v, float out[2]) {
    float c[4];
    for (int i = 0; i < 4; ++i)
        c[i] = mvp.m[i] * v.position[0] + mvp.m[4 + i] * v.position[1] +
               mvp.m[8 + i] * v.position[2] + mvp.m[12 + i];
    if (!(c[3] > 0)) return false;
    out[0] = float(state.viewportX) + (c[0] / c[3] + 1) * 0.5f * float(state.viewportWidth);
    out[1] = float(state.viewportY) + (c[1] / c[3] + 1) * 0.5f * float(state.viewportHeight);
    return true;
}

float pixelsBetween(const float a[2], const float b[2]) {
    return std::hypot(a[0] - b[0], a[1] - b[1]);
}

// One axis of the cut: a quad spanning [low, high] of texture coordinates, which the texture
// matrix takes to scale * c + offset, on an image `size` texels long whose alpha is 0 outside
// [first, end) in every repeat. Narrows [from, to] to what may show, or says that nothing may.
// An axis whose margin reaches an edge stays whole, as repeat wrapping samples the far edge
// there, and so does one that spans more than one repeat of the image.
bool visibleSpan(float low, float high, float scale, float offset, int first, int end, int size,
                 float& from, float& to) {
    from = low;
    to = high;
    if (first - cutMargin <= 0 || end + cutMargin >= size) return true;
    const float atLow = scale * low + offset, atHigh = scale * high + offset;
    const float lo = std::min(atLow, atHigh), hi = std::max(atLow, atHigh);
    const float repeat = std::floor(lo);
    if (hi - repeat > 1) return true;
    const float keepFrom = repeat + float(first - cutMargin) / float(size);
    const float keepTo = repeat + float(end + cutMargin) / float(size);
    if (keepFrom >= hi || keepTo <= lo) return false;
    // Ends left uncut keep their exact coordinate.
    auto back = [&](float at) {
        return at == atLow ? low : at == atHigh ? high : (at - offset) / scale;
    };
    const float x = back(std::max(lo, keepFrom)), y = back(std::min(hi, keepTo));
    from = std::min(x, y);
    to = std::max(x, y);
    return true;
}

enum class Cut { whole, cut, nothing };

// For a GL_QUADS quad, corners (s0, t0), (s1, t0), (s1, t1), (s0, t1) on a parallelogram: the
// window box, x, y, width and height in pixels, around the part of it that can show; `nothing`
// when no part can.
Cut visibleBox(const Vertex quad[4], int box[4]) {
    Vertex v[4] = {quad[0], quad[1], quad[2], quad[3]};
    const State& s = state;
    const bool failsAlphaZero = (s.alphaFunc == GL_GREATER && s.alphaRef >= 0) ||
                                (s.alphaFunc == GL_GEQUAL && s.alphaRef > 0);
    if (s.lighting || !s.alphaTest || !failsAlphaZero || s.viewportWidth <= 0 ||
        s.viewportHeight <= 0 || !textureApplies())
        return Cut::whole;
    // A texture matrix that scales and moves s and t each on its own (the show's mirrors t).
    const float* tm = s.texture.back().m;
    if (tm[1] != 0 || tm[3] != 0 || tm[4] != 0 || tm[7] != 0 || tm[15] != 1 || tm[0] == 0 ||
        tm[5] == 0)
        return Cut::whole;
    const TextureInfo& image = s.textures.at(s.boundTexture);
    if (image.ownLevels) return Cut::whole;
    const float s0 = v[0].texCoord[0], t0 = v[0].texCoord[1];
    const float s1 = v[2].texCoord[0], t1 = v[2].texCoord[1];
    if (v[1].texCoord[0] != s1 || v[1].texCoord[1] != t0 || v[3].texCoord[0] != s0 ||
        v[3].texCoord[1] != t1 || s0 == s1 || t0 == t1)
        return Cut::whole;
    for (int i = 1; i < 4; ++i)
        if (std::memcmp(v[i].colour, v[0].colour, sizeof v[0].colour) != 0) return Cut::whole;
    for (int k = 0; k < 3; ++k) {
        const float span = std::max(std::fabs(v[2].position[k] - v[0].position[k]),
                                    std::fabs(v[3].position[k] - v[1].position[k]));
        const float skew =
            v[0].position[k] + v[2].position[k] - v[1].position[k] - v[3].position[k];
        if (!(std::fabs(skew) <= 1e-5f * span)) return Cut::whole;
    }
    const Matrix mvp = product(s.projection.back(), s.modelview.back());
    float at[4][2];
    for (int i = 0; i < 4; ++i)
        if (!windowPosition(mvp, v[i], at[i])) return Cut::whole;
    const float pixelsS = std::min(pixelsBetween(at[0], at[1]), pixelsBetween(at[3], at[2]));
    const float pixelsT = std::min(pixelsBetween(at[0], at[3]), pixelsBetween(at[1], at[2]));
    if (pixelsS < cutLeastScale * std::fabs(tm[0] * (s1 - s0)) * float(image.width) ||
        pixelsT < cutLeastScale * std::fabs(tm[5] * (t1 - t0)) * float(image.height))
        return Cut::whole;

    if (image.x0 >= image.x1 || image.y0 >= image.y1) return Cut::nothing;
    float fromS, toS, fromT, toT;
    if (!visibleSpan(std::min(s0, s1), std::max(s0, s1), tm[0], tm[12], image.x0, image.x1,
                     image.width, fromS, toS) ||
        !visibleSpan(std::min(t0, t1), std::max(t0, t1), tm[5], tm[13], image.y0, image.y1,
                     image.height, fromT, toT))
        return Cut::nothing;
    if (fromS == std::min(s0, s1) && toS == std::max(s0, s1) && fromT == std::min(t0, t1) &&
        toT == std::max(t0, t1))
        return Cut::whole;
    // The new corners keep the old ones' order and so the quad's winding.
    const float newS0 = s0 < s1 ? fromS : toS, newS1 = s0 < s1 ? toS : fromS;
    const float newT0 = t0 < t1 ? fromT : toT, newT1 = t0 < t1 ? toT : fromT;
    float origin[3], alongS[3], alongT[3];
    for (int k = 0; k < 3; ++k) {
        origin[k] = v[0].position[k];
        alongS[k] = (v[1].position[k] - origin[k]) / (s1 - s0);
        alongT[k] = (v[3].position[k] - origin[k]) / (t1 - t0);
    }
    auto place = [&](Vertex& corner, float cs, float ct) {
        for (int k = 0; k < 3; ++k)
            corner.position[k] = origin[k] + (cs - s0) * alongS[k] + (ct - t0) * alongT[k];
        corner.texCoord[0] = cs;
        corner.texCoord[1] = ct;
    };
    place(v[0], newS0, newT0);
    place(v[1], newS1, newT0);
    place(v[2], newS1, newT1);
    place(v[3], newS0, newT1);
    // The part's corners lie within the whole quad's, so none is behind the eye. A pixel around
    // the box takes up rounding.
    float least[2] = {1e30f, 1e30f}, most[2] = {-1e30f, -1e30f};
    for (int i = 0; i < 4; ++i) {
        float p[2];
        if (!windowPosition(mvp, v[i], p)) return Cut::whole;
        for (int k = 0; k < 2; ++k) {
            least[k] = std::min(least[k], p[k]);
            most[k] = std::max(most[k], p[k]);
        }
    }
    for (int k = 0; k < 2; ++k) {
        if (!(most[k] - least[k] < 1e8f)) return Cut::whole;
        box[k] = int(std::floor(least[k])) - 1;
        box[2 + k] = int(std::ceil(most[k])) + 1 - box[k];
    }
    return Cut::cut;
}

// Draws what is gathered with the scissor box narrowed to `box`, as far as the program's own
// scissor state allows, and puts that state back.
void drawScissored(const int box[4]) {
    const bool wasOn = es.IsEnabled(GL_SCISSOR_TEST);
    GLint old[4] = {0, 0, 0, 0};
    es.GetIntegerv(GL_SCISSOR_BOX, old);
    int x0 = box[0], y0 = box[1], x1 = box[0] + box[2], y1 = box[1] + box[3];
    if (wasOn) {
        x0 = std::max(x0, old[0]);
        y0 = std::max(y0, old[1]);
        x1 = std::min(x1, old[0] + old[2]);
        y1 = std::min(y1, old[1] + old[3]);
    }
    if (x1 > x0 && y1 > y0) {
        es.Enable(GL_SCISSOR_TEST);
        es.Scissor(x0, y0, x1 - x0, y1 - y0);
        flushBatch();
        es.Scissor(old[0], old[1], old[2], old[3]);
        if (!wasOn) es.Disable(GL_SCISSOR_TEST);
    }
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

// ---- The layer's own entry points -------------------------------------------------------------

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

// ---- GL 1.x ------------------------------------------------------------------------------------

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

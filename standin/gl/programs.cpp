// The layer's shaders, and a program built for each combination of the state they depend on.
#include "standin/gl/internal.h"

#include <cassert>
#include <cstring>
#include <string>

namespace legacygl {

namespace {

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

} // namespace

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

} // namespace legacygl

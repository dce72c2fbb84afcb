// The ES 3.0 context on Mesa's surfaceless EGL platform, and its framebuffer objects.
#include "standin/gl/esframe.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>

namespace {

// Past what the layer defines, looked up from the driver directly.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC renderbufferStorageMultisample = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;
    void (*getIntegerv)(GLenum, GLint*) = nullptr;

    template <typename T> static bool get(T& call, const char* name) {
        call = reinterpret_cast<T>(eglGetProcAddress(name));
        return call != nullptr;
    }
    bool load() {
        return get(genFramebuffers, "glGenFramebuffers") &&
               get(bindFramebuffer, "glBindFramebuffer") &&
               get(framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
               get(checkFramebufferStatus, "glCheckFramebufferStatus") &&
               get(genRenderbuffers, "glGenRenderbuffers") &&
               get(bindRenderbuffer, "glBindRenderbuffer") &&
               get(renderbufferStorageMultisample, "glRenderbufferStorageMultisample") &&
               get(blitFramebuffer, "glBlitFramebuffer") && get(getIntegerv, "glGetIntegerv");
    }
};

FramebufferCalls fb;

} // namespace

void* esFrameLoader(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

EsFrame::~EsFrame() {
    if (context == nullptr) return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
}

bool EsFrame::open(int w, int h, int maxSamples, std::string& error) {
    width = w;
    height = h;
    display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        error = "no surfaceless EGL display";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        error = "EGL offers no OpenGL ES";
        return false;
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 0,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_ES3_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, &config, 1, &count) || count < 1) {
        error = "no EGL configuration for OpenGL ES 3";
        return false;
    }
    const EGLint version[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0, EGL_NONE};
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, version);
    if (context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        error = "no OpenGL ES 3.0 context";
        return false;
    }
    if (!fb.load()) {
        error = "no framebuffer objects";
        return false;
    }
    GLint driverMax = 0;
    fb.getIntegerv(GL_MAX_SAMPLES, &driverMax);
    sampleCount = std::max(0, std::min(maxSamples, int(driverMax)));
    GLuint colour = 0, depthStencil = 0, resolveColour = 0;
    fb.genRenderbuffers(1, &colour);
    fb.bindRenderbuffer(GL_RENDERBUFFER, colour);
    fb.renderbufferStorageMultisample(GL_RENDERBUFFER, sampleCount, GL_RGBA8, width, height);
    fb.genRenderbuffers(1, &depthStencil);
    fb.bindRenderbuffer(GL_RENDERBUFFER, depthStencil);
    fb.renderbufferStorageMultisample(GL_RENDERBUFFER, sampleCount, GL_DEPTH24_STENCIL8, width,
                                      height);
    fb.genRenderbuffers(1, &resolveColour);
    fb.bindRenderbuffer(GL_RENDERBUFFER, resolveColour);
    fb.renderbufferStorageMultisample(GL_RENDERBUFFER, 0, GL_RGBA8, width, height);
    fb.genFramebuffers(1, &resolveFramebuffer);
    fb.bindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer);
    fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                               resolveColour);
    const GLenum resolveStatus = fb.checkFramebufferStatus(GL_FRAMEBUFFER);
    fb.genFramebuffers(1, &drawFramebuffer);
    fb.bindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer);
    fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                               depthStencil);
    if (resolveStatus != GL_FRAMEBUFFER_COMPLETE ||
        fb.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "no " + std::to_string(width) + "x" + std::to_string(height) + " framebuffer";
        return false;
    }
    return true;
}

void EsFrame::read(uint8_t* rgba) {
    glFlush(); // the layer's: what it has gathered is drawn before the samples are resolved
    fb.bindFramebuffer(GL_READ_FRAMEBUFFER, drawFramebuffer);
    fb.bindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer);
    fb.blitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    fb.bindFramebuffer(GL_READ_FRAMEBUFFER, resolveFramebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    fb.bindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer);
}

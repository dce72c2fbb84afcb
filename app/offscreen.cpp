// Drawing without a window: the EGL display, context and framebuffer objects, and reading back.
#include "app/offscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cassert>

namespace {

// Framebuffer objects are past OpenGL 1.1, so their entry points are looked up at run time.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC renderbufferStorageMultisample = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;

    bool load() {
        const auto get = [](const char* name) { return eglGetProcAddress(name); };
        genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(get("glGenFramebuffers"));
        deleteFramebuffers =
            reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(get("glDeleteFramebuffers"));
        bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(get("glBindFramebuffer"));
        framebufferRenderbuffer =
            reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(get("glFramebufferRenderbuffer"));
        checkFramebufferStatus =
            reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(get("glCheckFramebufferStatus"));
        genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(get("glGenRenderbuffers"));
        deleteRenderbuffers =
            reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(get("glDeleteRenderbuffers"));
        bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(get("glBindRenderbuffer"));
        renderbufferStorageMultisample = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC>(
            get("glRenderbufferStorageMultisample"));
        blitFramebuffer = reinterpret_cast<PFNGLBLITFRAMEBUFFERPROC>(get("glBlitFramebuffer"));
        return genFramebuffers && deleteFramebuffers && bindFramebuffer &&
               framebufferRenderbuffer && checkFramebufferStatus && genRenderbuffers &&
               deleteRenderbuffers && bindRenderbuffer && renderbufferStorageMultisample &&
               blitFramebuffer;
    }
};

std::string eglErrorText() {
    char text[32];
    snprintf(text, sizeof text, "EGL error 0x%04x", unsigned(eglGetError()));
    return text;
}

} // namespace

struct OffscreenContext::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE; // only for the pbuffer fallback
    FramebufferCalls gl;
    int width = 0, height = 0, samples = 0;
    GLuint drawFramebuffer = 0, resolveFramebuffer = 0;
    GLuint colour = 0, depthStencil = 0, resolveColour = 0;

    bool openDisplay(std::string& error);
    bool makeFramebuffers(int maxSamples, std::string& error);

    ~Impl() {
        if (context != EGL_NO_CONTEXT) {
            if (drawFramebuffer != 0) {
                gl.deleteFramebuffers(1, &drawFramebuffer);
                gl.deleteFramebuffers(1, &resolveFramebuffer);
                const GLuint buffers[] = {colour, depthStencil, resolveColour};
                gl.deleteRenderbuffers(3, buffers);
            }
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroyContext(display, context);
        }
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        // The display stays initialised (it is one per process, and a later open() takes it up
        // again): terminating it unloads the GL driver, and LeakSanitizer would then count what
        // the driver still holds as leaked.
    }
};

bool OffscreenContext::Impl::openDisplay(std::string& error) {
    // Mesa's surfaceless platform needs no X server, no device node and no window.
    bool surfaceless = true;
    display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        surfaceless = false;
        display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
            display = EGL_NO_DISPLAY;
            error = "cannot draw off-screen: no EGL display (" + eglErrorText() + ")";
            return false;
        }
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = "cannot draw off-screen: EGL offers no desktop OpenGL";
        return false;
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 surfaceless ? 0 : EGL_PBUFFER_BIT,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT,
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
        error = "cannot draw off-screen: no EGL configuration for OpenGL";
        return false;
    }
    // No attributes: a compatibility-profile context, as the show's OpenGL 1.1 drawing needs.
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        error = "cannot draw off-screen: no OpenGL context (" + eglErrorText() + ")";
        return false;
    }
    if (!surfaceless) {
        const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, size);
    }
    if (!eglMakeCurrent(display, surface, surface, context)) {
        error =
            "cannot draw off-screen: the context cannot be made current (" + eglErrorText() + ")";
        return false;
    }
    return true;
}

bool OffscreenContext::Impl::makeFramebuffers(int maxSamples, std::string& error) {
    if (!gl.load()) {
        error = "cannot draw off-screen: this OpenGL has no framebuffer objects";
        return false;
    }
    GLint driverMax = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &driverMax);
    samples = std::max(0, std::min(maxSamples, int(driverMax)));

    gl.genRenderbuffers(1, &colour);
    gl.bindRenderbuffer(GL_RENDERBUFFER, colour);
    gl.renderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
    gl.genRenderbuffers(1, &depthStencil);
    gl.bindRenderbuffer(GL_RENDERBUFFER, depthStencil);
    gl.renderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, width, height);
    gl.genRenderbuffers(1, &resolveColour);
    gl.bindRenderbuffer(GL_RENDERBUFFER, resolveColour);
    gl.renderbufferStorageMultisample(GL_RENDERBUFFER, 0, GL_RGBA8, width, height);

    gl.genFramebuffers(1, &resolveFramebuffer);
    gl.bindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                               resolveColour);
    const GLenum resolveStatus = gl.checkFramebufferStatus(GL_FRAMEBUFFER);

    gl.genFramebuffers(1, &drawFramebuffer);
    gl.bindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                               depthStencil);
    const GLenum drawStatus = gl.checkFramebufferStatus(GL_FRAMEBUFFER);
    if (resolveStatus != GL_FRAMEBUFFER_COMPLETE || drawStatus != GL_FRAMEBUFFER_COMPLETE ||
        glGetError() != GL_NO_ERROR) {
        error = "cannot draw off-screen: no " + std::to_string(width) + "x" +
                std::to_string(height) + " framebuffer";
        return false;
    }
    glViewport(0, 0, width, height);
    return true;
}

OffscreenContext::OffscreenContext() = default;
OffscreenContext::~OffscreenContext() = default;

bool OffscreenContext::open(int width, int height, int maxSamples, std::string& error) {
    assert(!impl && "one context per object");
    assert(width > 0 && height > 0);
    impl = std::make_unique<Impl>();
    impl->width = width;
    impl->height = height;
    if (!impl->openDisplay(error) || !impl->makeFramebuffers(maxSamples, error)) {
        impl.reset();
        return false;
    }
    return true;
}

int OffscreenContext::width() const {
    return impl->width;
}

int OffscreenContext::height() const {
    return impl->height;
}

int OffscreenContext::samples() const {
    return impl->samples;
}

void OffscreenContext::readPixels(uint8_t* rgba) {
    Impl& m = *impl;
    m.gl.bindFramebuffer(GL_READ_FRAMEBUFFER, m.drawFramebuffer);
    m.gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, m.resolveFramebuffer);
    m.gl.blitFramebuffer(0, 0, m.width, m.height, 0, 0, m.width, m.height, GL_COLOR_BUFFER_BIT,
                         GL_NEAREST);
    m.gl.bindFramebuffer(GL_READ_FRAMEBUFFER, m.resolveFramebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, m.width, m.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    m.gl.bindFramebuffer(GL_FRAMEBUFFER, m.drawFramebuffer);
}

// Drawing without a window: the EGL display and context, drawing into a MultisampleFramebuffer.
#include "app/offscreen.h"

#include "standin/gl/framebuffer.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cassert>

namespace {

// The framebuffer's entry points come through EGL, as MultisampleFramebuffer links no GL.
void* eglLoader(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

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
    MultisampleFramebuffer framebuffer;
    int width = 0, height = 0;

    bool openDisplay(std::string& error);
    bool makeFramebuffers(int maxSamples, std::string& error);

    ~Impl() {
        if (context != EGL_NO_CONTEXT) {
            framebuffer.release();
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
    if (!framebuffer.make(eglLoader, width, height, maxSamples, error)) {
        error = "cannot draw off-screen: " + error;
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
    return impl->framebuffer.samples();
}

void OffscreenContext::readPixels(uint8_t* rgba) {
    // Nothing to flush first: the system GL's calls and the framebuffer's go to the same context.
    impl->framebuffer.read(rgba);
}

// The ES 3.0 context on Mesa's surfaceless EGL platform, drawing into a MultisampleFramebuffer.
#include "standin/gl/esframe.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

void* esFrameLoader(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

EsFrame::~EsFrame() {
    if (context == nullptr) return;
    framebuffer.release();
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
}

bool EsFrame::open(int w, int h, int maxSamples, std::string& error) {
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
    return framebuffer.make(esFrameLoader, w, h, maxSamples, error);
}

void EsFrame::read(uint8_t* rgba) {
    glFlush(); // the layer's: what it has gathered is drawn before the samples are resolved
    framebuffer.read(rgba);
}

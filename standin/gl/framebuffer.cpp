// The multisampled framebuffer's set-up, read-back and release, through the caller's loader.
#include "standin/gl/framebuffer.h"

// For the types and values only: nothing here calls a gl* name the linker would resolve.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cassert>

// Framebuffer objects are past OpenGL 1.1 and the rest must not bind to a library by name, so
// every entry point is looked up at run time.
struct MultisampleFramebuffer::Calls {
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
    void (*getIntegerv)(GLenum, GLint*) = nullptr;
    GLenum (*getError)() = nullptr;
    void (*pixelStorei)(GLenum, GLint) = nullptr;
    void (*readPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) = nullptr;

    template <typename T> static bool get(FramebufferLoader loader, T& call, const char* name) {
        call = reinterpret_cast<T>(loader(name));
        return call != nullptr;
    }
    bool load(FramebufferLoader loader) {
        return get(loader, genFramebuffers, "glGenFramebuffers") &&
               get(loader, deleteFramebuffers, "glDeleteFramebuffers") &&
               get(loader, bindFramebuffer, "glBindFramebuffer") &&
               get(loader, framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
               get(loader, checkFramebufferStatus, "glCheckFramebufferStatus") &&
               get(loader, genRenderbuffers, "glGenRenderbuffers") &&
               get(loader, deleteRenderbuffers, "glDeleteRenderbuffers") &&
               get(loader, bindRenderbuffer, "glBindRenderbuffer") &&
               get(loader, renderbufferStorageMultisample, "glRenderbufferStorageMultisample") &&
               get(loader, blitFramebuffer, "glBlitFramebuffer") &&
               get(loader, getIntegerv, "glGetIntegerv") && get(loader, getError, "glGetError") &&
               get(loader, pixelStorei, "glPixelStorei") && get(loader, readPixels, "glReadPixels");
    }
};

MultisampleFramebuffer::MultisampleFramebuffer() = default;
MultisampleFramebuffer::~MultisampleFramebuffer() = default;

bool MultisampleFramebuffer::make(FramebufferLoader loader, int w, int h, int maxSamples,
                                  std::string& error) {
    assert(!gl && "made once");
    assert(w > 0 && h > 0);
    width = w;
    height = h;
    gl = std::make_unique<Calls>();
    if (!gl->load(loader)) {
        gl.reset();
        error = "this OpenGL has no framebuffer objects";
        return false;
    }
    GLint driverMax = 0;
    gl->getIntegerv(GL_MAX_SAMPLES, &driverMax);
    sampleCount = std::max(0, std::min(maxSamples, int(driverMax)));

    gl->genRenderbuffers(1, &colour);
    gl->bindRenderbuffer(GL_RENDERBUFFER, colour);
    gl->renderbufferStorageMultisample(GL_RENDERBUFFER, sampleCount, GL_RGBA8, width, height);
    gl->genRenderbuffers(1, &depthStencil);
    gl->bindRenderbuffer(GL_RENDERBUFFER, depthStencil);
    gl->renderbufferStorageMultisample(GL_RENDERBUFFER, sampleCount, GL_DEPTH24_STENCIL8, width,
                                       height);
    gl->genRenderbuffers(1, &resolveColour);
    gl->bindRenderbuffer(GL_RENDERBUFFER, resolveColour);
    gl->renderbufferStorageMultisample(GL_RENDERBUFFER, 0, GL_RGBA8, width, height);

    gl->genFramebuffers(1, &resolveFramebuffer);
    gl->bindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer);
    gl->framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                resolveColour);
    const GLenum resolveStatus = gl->checkFramebufferStatus(GL_FRAMEBUFFER);

    gl->genFramebuffers(1, &drawFramebuffer);
    gl->bindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer);
    gl->framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    gl->framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                depthStencil);
    const GLenum drawStatus = gl->checkFramebufferStatus(GL_FRAMEBUFFER);
    if (resolveStatus != GL_FRAMEBUFFER_COMPLETE || drawStatus != GL_FRAMEBUFFER_COMPLETE ||
        gl->getError() != GL_NO_ERROR) {
        error = "no " + std::to_string(width) + "x" + std::to_string(height) + " framebuffer";
        return false;
    }
    return true;
}

void MultisampleFramebuffer::resolve() {
    assert(drawFramebuffer != 0 && "made");
    gl->bindFramebuffer(GL_READ_FRAMEBUFFER, drawFramebuffer);
    gl->bindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer);
    gl->blitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl->bindFramebuffer(GL_READ_FRAMEBUFFER, resolveFramebuffer);
    gl->bindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer);
}

// A resolved picture may be copied to a framebuffer of another format (the window's may have no
// alpha), which a multisampled one may not.
void MultisampleFramebuffer::copyTo(unsigned target) {
    resolve();
    gl->bindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    gl->blitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl->bindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer);
}

void MultisampleFramebuffer::read(uint8_t* rgba) {
    resolve();
    gl->pixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->readPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    gl->bindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer);
}

void MultisampleFramebuffer::release() {
    if (drawFramebuffer == 0) return; // make() failed before making any, or release() ran
    gl->deleteFramebuffers(1, &drawFramebuffer);
    gl->deleteFramebuffers(1, &resolveFramebuffer);
    const GLuint buffers[] = {colour, depthStencil, resolveColour};
    gl->deleteRenderbuffers(3, buffers);
    drawFramebuffer = resolveFramebuffer = colour = depthStencil = resolveColour = 0;
}

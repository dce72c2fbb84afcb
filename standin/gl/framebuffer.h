// A multisampled off-screen framebuffer on the current context, and reading its picture back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Looks up a GL entry point by its standard name, as eglGetProcAddress does; null when none.
using FramebufferLoader = void* (*)(const char* name);

// Draws go to a framebuffer with multisampled colour (RGBA8) and depth+stencil (24+8 bits);
// reading resolves the samples into a single-sampled framebuffer of the same size and reads that.
//
// Every GL call is reached through the caller's loader, none by its standard name, so this links
// no GL library: the GL 1.x layer's test links the layer in place of the system GL, the recorder
// links the system GL, and both hand in eglGetProcAddress. Such calls go straight to the driver,
// past whatever the caller's GL holds back, so the caller flushes its own GL before read().
class MultisampleFramebuffer {
  public:
    MultisampleFramebuffer();
    ~MultisampleFramebuffer(); // deletes nothing: the context may be gone by then (see release())
    MultisampleFramebuffer(const MultisampleFramebuffer&) = delete;
    MultisampleFramebuffer& operator=(const MultisampleFramebuffer&) = delete;

    // On the current context (desktop GL with framebuffer objects, or OpenGL ES 3.0), which must
    // stay current: makes both framebuffers, width x height pixels, and leaves the multisampled one
    // bound. `maxSamples` caps the samples per pixel at the most the driver offers. Once only.
    // False with a one-line reason in `error`.
    bool make(FramebufferLoader loader, int width, int height, int maxSamples, std::string& error);

    int samples() const { return sampleCount; } // 0 without multisampling

    // Resolves the samples and reads width * height * 4 bytes of RGBA, the lowest row first (as
    // glReadPixels gives it), then binds the multisampled framebuffer again for further drawing.
    void read(uint8_t* rgba);

    // Resolves the samples into the single-sampled framebuffer, which stays bound for reading;
    // the multisampled one stays bound for drawing.
    void resolve();

    // Resolves the samples and copies the picture onto framebuffer `target` (0: the window's
    // own) at the same size, then binds the multisampled framebuffer again for further drawing.
    void copyTo(unsigned target);

    // Deletes the framebuffers and their renderbuffers, as far as make() got; the context must
    // still be current. Nothing to do when make() made none.
    void release();

  private:
    struct Calls; // the entry points, looked up in make()
    std::unique_ptr<Calls> gl;
    int width = 0, height = 0, sampleCount = 0;
    unsigned drawFramebuffer = 0, resolveFramebuffer = 0;
    unsigned colour = 0, depthStencil = 0, resolveColour = 0; // renderbuffers
};

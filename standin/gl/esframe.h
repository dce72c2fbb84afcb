// An OpenGL ES 3.0 context on Mesa with a framebuffer of its own, for the GL 1.x layer natively.
//
// The layer's test and benchmark draw there; it needs no display.
#pragma once

#include "standin/gl/framebuffer.h"

#include <cstdint>
#include <string>

// eglGetProcAddress, as the layer's loader.
void* esFrameLoader(const char* name);

// Owns the EGL context (current on the opening thread) and a framebuffer of width x height with
// depth, stencil and multisampling like the recorder's (the same MultisampleFramebuffer).
class EsFrame {
  public:
    EsFrame() = default;
    ~EsFrame();
    EsFrame(const EsFrame&) = delete;
    EsFrame& operator=(const EsFrame&) = delete;

    // `maxSamples` caps the multisampling at the most the driver offers. False with a reason.
    bool open(int width, int height, int maxSamples, std::string& error);
    int samples() const { return framebuffer.samples(); }
    // Resolves the samples and reads RGBA, the lowest row first (after the layer's glFlush, which
    // draws what it has gathered).
    void read(uint8_t* rgba);

  private:
    void* display = nullptr;
    void* context = nullptr;
    MultisampleFramebuffer framebuffer;
};

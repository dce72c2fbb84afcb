// Drawing without a window: an EGL context on Mesa with a multisampled off-screen framebuffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Owns an OpenGL context (desktop GL, compatibility profile, so the show's immediate-mode
// drawing works as in the window) that draws into a multisampled framebuffer of a fixed size.
// It needs no display: it runs on Mesa's surfaceless platform, and falls back to a pbuffer on
// the default display where that platform is missing.
class OffscreenContext {
  public:
    OffscreenContext();
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    // Creates the context, makes it current on the calling thread and binds the framebuffer,
    // with the viewport covering it. `maxSamples` caps the multisampling (the most the driver
    // offers up to that). False with a one-line reason in `error`.
    bool open(int width, int height, int maxSamples, std::string& error);

    int width() const;
    int height() const;
    int samples() const; // samples per pixel of the framebuffer drawn into; 0 without multisampling

    // Resolves the samples and reads the picture: width * height * 4 bytes of RGBA, the lowest
    // row first (as glReadPixels gives it). Drawing goes on into the multisampled framebuffer.
    void readPixels(uint8_t* rgba);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

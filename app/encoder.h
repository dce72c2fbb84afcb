// The video file writer: FFmpeg's muxer and encoders for one recording, fed from another thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct EncoderSettings {
    std::string path; // the container follows its extension (.mp4, .mkv, .mov, ...)
    int width = 1280, height = 720;
    int fps = 60;
    bool lossless = false; // FFV1 + FLAC (the container must take them: .mkv)
    int sampleRate = 44100;
    int channels = 2;     // 1 or 2
    bool bottomUp = true; // rows as glReadPixels returns them, the lowest first
    // Encoder names, so that a test can ask for one this system lacks.
    std::string h264Encoder = "libx264", ffv1Encoder = "ffv1";
    std::string aacEncoder = "aac", flacEncoder = "flac";
};

// Owns the output file while it is written. The file is written under `path` + ".part" and
// renamed to `path` only when finish() has written everything, so a file under the asked name
// is always one that plays to its end; a failure removes the partial file.
//
// Video frames are RGBA rows of width x height pixels (alpha ignored). Audio is interleaved
// 16-bit samples at the settings' rate; the first sample handed in plays at time 0 of the file.
// One thread (the drawing thread) calls beginFrame/endFrame; the encoder runs on its own thread.
class Encoder {
  public:
    Encoder();
    ~Encoder(); // without finish(): stops, and removes the partial file
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Checks the extension, the encoders and the folder, creates the partial file, writes the
    // header and starts the encoding thread. False with a one-line reason in `error`, in which
    // case nothing is left on disk.
    bool open(const EncoderSettings& settings, std::string& error);

    // The pixel buffer for the next frame, width * height * 4 bytes; waits while every buffer is
    // queued. Null once the encoder has failed (failed() then says why).
    uint8_t* beginFrame();
    // Queues the frame from beginFrame() with the audio that plays while it shows (`frames`
    // sample frames; any number, including 0).
    void endFrame(const int16_t* audio, size_t frames);
    // Audio with no new picture, e.g. after the last frame.
    void addAudio(const int16_t* audio, size_t frames);

    // Encodes what is queued, flushes the encoders, writes the trailer, closes and renames the
    // file. False with a reason when any of it failed; the partial file is removed then.
    bool finish(std::string& error);

    bool failed() const;
    std::string failure() const;

    // Frames written, for progress lines; safe from any thread.
    long framesEncoded() const;

    static std::string partialPathFor(const std::string& path) { return path + ".part"; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// The video file writer: container and codec choice, the frame queue and the encoding thread.
#include "app/encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Frames in flight between the drawing thread and the encoder: one being drawn, one being
// encoded, one waiting, so that neither side waits for the other's pace to wobble.
constexpr int queueSlots = 3;

// H.264 quality. Rate factor 12 tuned for PSNR (no adaptive quantisation, no psychovisual
// trade-offs) keeps every frame of the show within 40 dB of the picture drawn, as 4:2:0 holds
// it, even at 320x180 (measured: at 17 the worst frame there was 36 dB; at 1280x720 it was 42).
// "veryfast" keeps the encoder well ahead of the software GL's drawing.
constexpr const char* h264Crf = "12";
constexpr const char* h264Tune = "psnr";
constexpr const char* h264Preset = "veryfast";
constexpr int aacBitRate = 192000;
constexpr int variableAudioFrame = 4096; // sample frames per packet for encoders that take any

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// FFmpeg's own messages would break the progress line; the latest error among them is kept to
// explain a failure that the return codes describe only vaguely.
std::mutex logMutex;
std::string lastLibraryError;

void logCallback(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    vsnprintf(line, sizeof line, format, args);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    std::lock_guard<std::mutex> lock(logMutex);
    lastLibraryError = text;
}

void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(logCallback); });
    std::lock_guard<std::mutex> lock(logMutex);
    lastLibraryError.clear();
}

// `what`, with the library's own explanation when it gave one.
std::string withLibraryReason(const std::string& what, int code) {
    std::string reason;
    {
        std::lock_guard<std::mutex> lock(logMutex);
        reason = lastLibraryError;
    }
    if (reason.empty()) reason = avError(code);
    return what + ": " + reason;
}

std::string extensionOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot);
}

struct Slot {
    std::vector<uint8_t> pixels; // RGBA
    bool picture = false;
    std::vector<int16_t> audio; // interleaved
};

} // namespace

struct Encoder::Impl {
    EncoderSettings settings;
    std::string partPath;

    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* videoFrame = nullptr;
    AVFrame* audioFrame = nullptr;
    AVPacket* packet = nullptr;
    int64_t videoPts = 0, audioPts = 0; // in frames and in sample frames
    int audioFrameSize = 0;
    bool smallLastAudioFrame = false;
    std::vector<int16_t> pendingAudio; // interleaved, not yet a whole audio frame
    bool fileOpen = false, done = false;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Slot>> slots;
    std::deque<Slot*> freeSlots, queued;
    Slot* current = nullptr;
    bool ending = false;
    std::atomic<bool> hasFailed{false};
    std::string error; // the first failure; guarded by mutex
    std::atomic<long> encoded{0};
    std::thread worker;

    ~Impl() { release(); }

    void fail(const std::string& message) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (error.empty()) error = message;
        }
        hasFailed = true;
        changed.notify_all();
    }

    bool openCodec(AVCodecContext*& context, const AVCodec* codec, const char* what,
                   std::string& message);
    bool openVideo(const AVCodec* codec, std::string& message);
    bool openAudio(const AVCodec* codec, std::string& message);
    bool writePackets(AVCodecContext* context, AVStream* stream);
    bool encodeVideo(const Slot& slot);
    bool encodeAudio(size_t frames);
    bool takeAudio(const int16_t* samples, size_t frames);
    bool flush();
    void run();
    void stopWorker();
    void release();
};

bool Encoder::Impl::openCodec(AVCodecContext*& context, const AVCodec* codec, const char* what,
                              std::string& message) {
    const int code = avcodec_open2(context, codec, nullptr);
    if (code < 0) {
        message = withLibraryReason(std::string("cannot start the ") + what + " encoder", code);
        return false;
    }
    return true;
}

bool Encoder::Impl::openVideo(const AVCodec* codec, std::string& message) {
    const EncoderSettings& s = settings;
    video = avcodec_alloc_context3(codec);
    video->width = s.width;
    video->height = s.height;
    video->time_base = AVRational{1, s.fps};
    video->framerate = AVRational{s.fps, 1};
    video->sample_aspect_ratio = AVRational{1, 1};
    if (s.lossless) {
        // FFV1 keeps 8-bit RGB exactly; bgr0 is the drawn RGBA with its bytes swapped.
        video->pix_fmt = AV_PIX_FMT_BGR0;
        video->level = 3; // slices, so that it encodes on every core
        video->thread_count = 0;
        av_opt_set_int(video->priv_data, "slicecrc", 1, 0);
    } else {
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->gop_size = 2 * s.fps; // a key frame every two seconds for seeking
        video->colorspace = AVCOL_SPC_BT709;
        video->color_primaries = AVCOL_PRI_BT709;
        video->color_trc = AVCOL_TRC_BT709;
        video->color_range = AVCOL_RANGE_MPEG;
        av_opt_set(video->priv_data, "crf", h264Crf, 0);
        av_opt_set(video->priv_data, "preset", h264Preset, 0);
        av_opt_set(video->priv_data, "tune", h264Tune, 0);
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!openCodec(video, codec, s.lossless ? "FFV1" : "H.264", message)) return false;

    scaler =
        sws_getContext(s.width, s.height, AV_PIX_FMT_RGBA, s.width, s.height, video->pix_fmt,
                       SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
    if (scaler == nullptr) {
        message = "cannot convert RGBA pictures for the video encoder";
        return false;
    }
    if (!s.lossless) {
        // Full-range RGB in, limited-range BT.709 out, as the stream says.
        sws_setColorspaceDetails(scaler, sws_getCoefficients(SWS_CS_ITU709), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    }
    videoFrame = av_frame_alloc();
    videoFrame->format = video->pix_fmt;
    videoFrame->width = s.width;
    videoFrame->height = s.height;
    if (av_frame_get_buffer(videoFrame, 0) < 0) {
        message = "out of memory for a video frame";
        return false;
    }

    videoStream = avformat_new_stream(format, nullptr);
    videoStream->time_base = video->time_base;
    videoStream->avg_frame_rate = video->framerate;
    avcodec_parameters_from_context(videoStream->codecpar, video);
    return true;
}

bool Encoder::Impl::openAudio(const AVCodec* codec, std::string& message) {
    const EncoderSettings& s = settings;
    audio = avcodec_alloc_context3(codec);
    audio->sample_rate = s.sampleRate;
    av_channel_layout_default(&audio->ch_layout, s.channels);
    audio->time_base = AVRational{1, s.sampleRate};
    // The AAC encoder takes planar floats; FLAC takes the 16-bit samples as they are.
    audio->sample_fmt = codec->id == AV_CODEC_ID_AAC ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    if (codec->id == AV_CODEC_ID_AAC) audio->bit_rate = aacBitRate;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!openCodec(audio, codec, codec->id == AV_CODEC_ID_AAC ? "AAC" : "FLAC", message))
        return false;

    audioFrameSize = audio->frame_size;
    if (audioFrameSize <= 0 || (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        audioFrameSize = variableAudioFrame;
    smallLastAudioFrame = (codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    audioFrame = av_frame_alloc();
    audioFrame->format = audio->sample_fmt;
    audioFrame->sample_rate = audio->sample_rate;
    av_channel_layout_copy(&audioFrame->ch_layout, &audio->ch_layout);
    audioFrame->nb_samples = audioFrameSize;
    if (av_frame_get_buffer(audioFrame, 0) < 0) {
        message = "out of memory for an audio frame";
        return false;
    }

    // The encoder's priming samples (AAC's 1024) come out with negative timestamps, and the
    // stream's initial padding tells the muxer to hide them, so the first sample handed in plays
    // at time 0 of the file.
    audioStream = avformat_new_stream(format, nullptr);
    audioStream->time_base = audio->time_base;
    avcodec_parameters_from_context(audioStream->codecpar, audio);
    return true;
}

bool Encoder::Impl::writePackets(AVCodecContext* context, AVStream* stream) {
    for (;;) {
        const int code = avcodec_receive_packet(context, packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
        if (code < 0) {
            fail(withLibraryReason("encoding failed", code));
            return false;
        }
        av_packet_rescale_ts(packet, context->time_base, stream->time_base);
        packet->stream_index = stream->index;
        const int written = av_interleaved_write_frame(format, packet);
        if (written < 0) {
            fail("cannot write \"" + settings.path + "\": " + avError(written));
            return false;
        }
    }
}

bool Encoder::Impl::encodeVideo(const Slot& slot) {
    const int rowBytes = settings.width * 4;
    const uint8_t* rows[1] = {slot.pixels.data()};
    int strides[1] = {rowBytes};
    if (settings.bottomUp) {
        rows[0] = slot.pixels.data() + size_t(settings.height - 1) * rowBytes;
        strides[0] = -rowBytes;
    }
    if (av_frame_make_writable(videoFrame) < 0) {
        fail("out of memory for a video frame");
        return false;
    }
    sws_scale(scaler, rows, strides, 0, settings.height, videoFrame->data, videoFrame->linesize);
    videoFrame->pts = videoPts++;
    const int code = avcodec_send_frame(video, videoFrame);
    if (code < 0) {
        fail(withLibraryReason("encoding failed", code));
        return false;
    }
    return writePackets(video, videoStream);
}

// One audio frame of `frames` sample frames from the front of pendingAudio.
bool Encoder::Impl::encodeAudio(size_t frames) {
    if (av_frame_make_writable(audioFrame) < 0) {
        fail("out of memory for an audio frame");
        return false;
    }
    const int channels = settings.channels;
    const size_t padded = smallLastAudioFrame ? frames : size_t(audioFrameSize);
    audioFrame->nb_samples = int(padded);
    if (audio->sample_fmt == AV_SAMPLE_FMT_FLTP) {
        for (int c = 0; c < channels; ++c) {
            float* out = reinterpret_cast<float*>(audioFrame->data[c]);
            for (size_t i = 0; i < padded; ++i)
                out[i] = i < frames ? pendingAudio[i * channels + c] / 32768.0f : 0.0f;
        }
    } else {
        int16_t* out = reinterpret_cast<int16_t*>(audioFrame->data[0]);
        std::memcpy(out, pendingAudio.data(), frames * channels * sizeof(int16_t));
        std::memset(out + frames * channels, 0, (padded - frames) * channels * sizeof(int16_t));
    }
    pendingAudio.erase(pendingAudio.begin(), pendingAudio.begin() + frames * channels);
    audioFrame->pts = audioPts;
    audioPts += int64_t(padded);
    const int code = avcodec_send_frame(audio, audioFrame);
    if (code < 0) {
        fail(withLibraryReason("encoding failed", code));
        return false;
    }
    return writePackets(audio, audioStream);
}

bool Encoder::Impl::takeAudio(const int16_t* samples, size_t frames) {
    pendingAudio.insert(pendingAudio.end(), samples, samples + frames * settings.channels);
    while (pendingAudio.size() >= size_t(audioFrameSize) * settings.channels)
        if (!encodeAudio(size_t(audioFrameSize))) return false;
    return true;
}

bool Encoder::Impl::flush() {
    if (!pendingAudio.empty() && !encodeAudio(pendingAudio.size() / settings.channels))
        return false;
    for (auto [context, stream] : {std::pair{video, videoStream}, std::pair{audio, audioStream}}) {
        const int code = avcodec_send_frame(context, nullptr);
        if (code < 0) {
            fail(withLibraryReason("encoding failed", code));
            return false;
        }
        if (!writePackets(context, stream)) return false;
    }
    const int trailer = av_write_trailer(format);
    if (trailer < 0 || format->pb->error < 0) {
        fail("cannot write \"" + settings.path +
             "\": " + avError(trailer < 0 ? trailer : format->pb->error));
        return false;
    }
    fileOpen = false;
    const int closed = avio_closep(&format->pb);
    if (closed < 0) {
        fail("cannot write \"" + settings.path + "\": " + avError(closed));
        return false;
    }
    return true;
}

void Encoder::Impl::run() {
    for (;;) {
        Slot* slot = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return !queued.empty() || ending; });
            if (queued.empty()) return;
            slot = queued.front();
            queued.pop_front();
        }
        // After a failure the queue still drains, so that the drawing side never waits forever.
        if (!hasFailed) {
            if (!slot->picture || encodeVideo(*slot)) {
                if (slot->picture) ++encoded;
                takeAudio(slot->audio.data(), slot->audio.size() / settings.channels);
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            freeSlots.push_back(slot);
        }
        changed.notify_all();
    }
}

void Encoder::Impl::stopWorker() {
    if (!worker.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
    }
    changed.notify_all();
    worker.join();
}

void Encoder::Impl::release() {
    stopWorker();
    if (format != nullptr) {
        if (fileOpen) avio_closep(&format->pb);
        avformat_free_context(format);
        format = nullptr;
    }
    if (!done && !partPath.empty()) std::remove(partPath.c_str());
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    sws_freeContext(scaler);
    scaler = nullptr;
    av_frame_free(&videoFrame);
    av_frame_free(&audioFrame);
    av_packet_free(&packet);
}

Encoder::Encoder() = default;
Encoder::~Encoder() = default;

bool Encoder::open(const EncoderSettings& settings, std::string& error) {
    assert(!impl && "an encoder writes one file");
    assert(settings.channels == 1 || settings.channels == 2);
    impl = std::make_unique<Impl>();
    Impl& m = *impl;
    m.settings = settings;
    quietLibraries();

    const std::string extension = extensionOf(settings.path);
    const AVOutputFormat* container = av_guess_format(nullptr, settings.path.c_str(), nullptr);
    if (extension.empty() || container == nullptr) {
        error = "cannot record to \"" + settings.path + "\": " +
                (extension.empty() ? std::string("the file name has no extension")
                                   : "no container for the extension \"" + extension + "\"");
        impl.reset();
        return false;
    }

    // Codecs: FFV1 and FLAC when lossless; otherwise H.264, with FLAC in Matroska and AAC
    // wherever the container takes it.
    const AVCodecID videoId = settings.lossless ? AV_CODEC_ID_FFV1 : AV_CODEC_ID_H264;
    const std::string& videoName = settings.lossless ? settings.ffv1Encoder : settings.h264Encoder;
    const char* videoLabel = settings.lossless ? "FFV1" : "H.264";
    std::vector<AVCodecID> audioChoices = {AV_CODEC_ID_AAC, AV_CODEC_ID_FLAC};
    if (settings.lossless || std::strstr(container->name, "matroska") != nullptr)
        audioChoices = {AV_CODEC_ID_FLAC};
    AVCodecID audioId = AV_CODEC_ID_NONE;
    for (AVCodecID id : audioChoices)
        if (avformat_query_codec(container, id, FF_COMPLIANCE_NORMAL) == 1) {
            audioId = id;
            break;
        }
    if (avformat_query_codec(container, videoId, FF_COMPLIANCE_NORMAL) != 1 ||
        audioId == AV_CODEC_ID_NONE) {
        error = std::string("cannot record to \"") + settings.path + "\": a \"" + extension +
                "\" file cannot hold " + videoLabel + " video with " +
                (audioChoices.size() == 1 ? "FLAC" : "AAC or FLAC") + " sound" +
                (settings.lossless ? " (lossless recordings go in .mkv)" : "");
        impl.reset();
        return false;
    }
    const std::string& audioName =
        audioId == AV_CODEC_ID_AAC ? settings.aacEncoder : settings.flacEncoder;
    const char* audioLabel = audioId == AV_CODEC_ID_AAC ? "AAC" : "FLAC";
    const AVCodec* videoCodec = avcodec_find_encoder_by_name(videoName.c_str());
    const AVCodec* audioCodec = avcodec_find_encoder_by_name(audioName.c_str());
    for (auto [codec, name, label] : {std::tuple{videoCodec, &videoName, videoLabel},
                                      std::tuple{audioCodec, &audioName, audioLabel}}) {
        if (codec == nullptr) {
            error = "this system's FFmpeg has no " + *name + " encoder for " + label;
            impl.reset();
            return false;
        }
    }
    if (settings.fps <= 0 || settings.width <= 0 || settings.height <= 0 ||
        (!settings.lossless && (settings.width % 2 != 0 || settings.height % 2 != 0))) {
        error = "cannot record " + std::to_string(settings.width) + "x" +
                std::to_string(settings.height) + " pictures: width and height must be even";
        impl.reset();
        return false;
    }

    avformat_alloc_output_context2(&m.format, container, nullptr, settings.path.c_str());
    if (m.format == nullptr) {
        error = "out of memory for the container";
        impl.reset();
        return false;
    }
    m.packet = av_packet_alloc();
    if (!m.openVideo(videoCodec, error) || !m.openAudio(audioCodec, error)) {
        impl.reset();
        return false;
    }

    m.partPath = partialPathFor(settings.path);
    const int opened = avio_open(&m.format->pb, m.partPath.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
        m.partPath.clear(); // nothing was created
        error = "cannot write \"" + settings.path + "\": " + avError(opened);
        impl.reset();
        return false;
    }
    m.fileOpen = true;
    const int header = avformat_write_header(m.format, nullptr);
    if (header < 0) {
        error = withLibraryReason("cannot write \"" + settings.path + "\"", header);
        impl.reset();
        return false;
    }

    const size_t audioPerFrame =
        (size_t(settings.sampleRate) + settings.fps - 1) / settings.fps + 1;
    for (int i = 0; i < queueSlots; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->pixels.resize(size_t(settings.width) * settings.height * 4);
        slot->audio.reserve(audioPerFrame * settings.channels);
        m.freeSlots.push_back(slot.get());
        m.slots.push_back(std::move(slot));
    }
    m.worker = std::thread([&m] { m.run(); });
    return true;
}

uint8_t* Encoder::beginFrame() {
    assert(impl && !impl->current && "one frame at a time, after open()");
    Impl& m = *impl;
    std::unique_lock<std::mutex> lock(m.mutex);
    m.changed.wait(lock, [&m] { return !m.freeSlots.empty() || m.hasFailed; });
    if (m.hasFailed) return nullptr;
    m.current = m.freeSlots.front();
    m.freeSlots.pop_front();
    return m.current->pixels.data();
}

void Encoder::endFrame(const int16_t* audio, size_t frames) {
    assert(impl && impl->current && "endFrame() follows beginFrame()");
    Impl& m = *impl;
    Slot* slot = m.current;
    m.current = nullptr;
    slot->picture = true;
    slot->audio.assign(audio, audio + frames * m.settings.channels);
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.queued.push_back(slot);
    }
    m.changed.notify_all();
}

void Encoder::addAudio(const int16_t* audio, size_t frames) {
    assert(impl && !impl->current);
    Impl& m = *impl;
    Slot* slot = nullptr;
    {
        std::unique_lock<std::mutex> lock(m.mutex);
        m.changed.wait(lock, [&m] { return !m.freeSlots.empty() || m.hasFailed; });
        if (m.hasFailed) return;
        slot = m.freeSlots.front();
        m.freeSlots.pop_front();
    }
    slot->picture = false;
    slot->audio.assign(audio, audio + frames * m.settings.channels);
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.queued.push_back(slot);
    }
    m.changed.notify_all();
}

bool Encoder::finish(std::string& error) {
    assert(impl && !impl->current);
    Impl& m = *impl;
    m.stopWorker();
    if (!m.hasFailed && m.flush()) {
        if (std::rename(m.partPath.c_str(), m.settings.path.c_str()) == 0) {
            m.done = true;
            impl.reset();
            return true;
        }
        m.fail("cannot write \"" + m.settings.path + "\": " + std::strerror(errno));
    }
    error = failure();
    impl.reset(); // removes the partial file
    return false;
}

bool Encoder::failed() const {
    return impl && impl->hasFailed;
}

std::string Encoder::failure() const {
    if (!impl) return "";
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->error;
}

long Encoder::framesEncoded() const {
    return impl ? impl->encoded.load() : 0;
}

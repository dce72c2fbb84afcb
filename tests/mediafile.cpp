// Reading a recorded video file back: demuxing, decoding, RGBA pictures and float samples.
#include "tests/mediafile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <limits>
#include <memory>

namespace {

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

constexpr int readerFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT;
// As app/encoder.cpp converts the drawn pictures for H.264.
constexpr int encoderFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT;

struct Reader {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    int videoIndex = -1, audioIndex = -1;
    SwsContext* scaler = nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<uint8_t> rgba;
    int frameIndex = 0;

    ~Reader() {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        avformat_close_input(&format);
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

bool openDecoder(AVFormatContext* format, int index, AVCodecContext*& context, std::string& error) {
    const AVCodecParameters* parameters = format->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) {
        error = "no decoder for stream " + std::to_string(index);
        return false;
    }
    context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, parameters);
    context->pkt_timebase = format->streams[index]->time_base;
    const int code = avcodec_open2(context, codec, nullptr);
    if (code < 0) {
        error = "cannot open the decoder: " + avError(code);
        return false;
    }
    return true;
}

void takeVideo(Reader& r, MediaFile& file, const FrameVisitor& visit) {
    const AVRational base = r.format->streams[r.videoIndex]->time_base;
    file.frameTimes.push_back(double(r.frame->best_effort_timestamp) * av_q2d(base));
    if (visit) {
        const int w = r.frame->width, h = r.frame->height;
        if (r.scaler == nullptr) {
            r.scaler =
                sws_getContext(w, h, AVPixelFormat(r.frame->format), w, h, AV_PIX_FMT_RGBA,
                               SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT,
                               nullptr, nullptr, nullptr);
            const int space =
                r.frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
            sws_setColorspaceDetails(r.scaler, sws_getCoefficients(space),
                                     r.frame->color_range == AVCOL_RANGE_JPEG,
                                     sws_getCoefficients(space), 1, 0, 1 << 16, 1 << 16);
            r.rgba.resize(size_t(w) * h * 4);
        }
        uint8_t* out[1] = {r.rgba.data()};
        int strides[1] = {w * 4};
        sws_scale(r.scaler, r.frame->data, r.frame->linesize, 0, h, out, strides);
        visit(r.frameIndex, file.frameTimes.back(), r.rgba.data());
    }
    ++r.frameIndex;
}

void takeAudio(Reader& r, MediaFile& file) {
    const AVFrame* f = r.frame;
    const int channels = f->ch_layout.nb_channels;
    if (file.firstSampleTime < 0)
        file.firstSampleTime =
            double(f->best_effort_timestamp) * av_q2d(r.format->streams[r.audioIndex]->time_base);
    for (int i = 0; i < f->nb_samples; ++i)
        for (int c = 0; c < channels; ++c) {
            float v = 0;
            switch (f->format) {
            case AV_SAMPLE_FMT_FLTP:
                v = reinterpret_cast<const float*>(f->data[c])[i];
                break;
            case AV_SAMPLE_FMT_FLT:
                v = reinterpret_cast<const float*>(f->data[0])[i * channels + c];
                break;
            case AV_SAMPLE_FMT_S16:
                v = reinterpret_cast<const int16_t*>(f->data[0])[i * channels + c] / 32768.0f;
                break;
            case AV_SAMPLE_FMT_S16P:
                v = reinterpret_cast<const int16_t*>(f->data[c])[i] / 32768.0f;
                break;
            case AV_SAMPLE_FMT_S32:
                v = float(reinterpret_cast<const int32_t*>(f->data[0])[i * channels + c] /
                          2147483648.0);
                break;
            default:
                v = std::numeric_limits<float>::quiet_NaN();
            }
            file.samples.push_back(v);
        }
}

bool drain(Reader& r, AVCodecContext* context, MediaFile& file, const FrameVisitor& visit,
           std::string& error) {
    for (;;) {
        const int code = avcodec_receive_frame(context, r.frame);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
        if (code < 0) {
            error = "decoding failed: " + avError(code);
            return false;
        }
        if (context == r.video)
            takeVideo(r, file, visit);
        else
            takeAudio(r, file);
        av_frame_unref(r.frame);
    }
}

} // namespace

bool readMediaFile(const std::string& path, MediaFile& file, std::string& error,
                   const FrameVisitor& visit) {
    file = MediaFile();
    Reader r;
    int code = avformat_open_input(&r.format, path.c_str(), nullptr, nullptr);
    if (code < 0) {
        error = "cannot open \"" + path + "\": " + avError(code);
        return false;
    }
    code = avformat_find_stream_info(r.format, nullptr);
    if (code < 0) {
        error = "cannot read the streams: " + avError(code);
        return false;
    }
    file.container = r.format->iformat->name;
    r.videoIndex = av_find_best_stream(r.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    r.audioIndex = av_find_best_stream(r.format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (r.videoIndex >= 0) {
        if (!openDecoder(r.format, r.videoIndex, r.video, error)) return false;
        file.videoCodec = r.video->codec->name;
        file.width = r.video->width;
        file.height = r.video->height;
        const char* name = av_get_pix_fmt_name(r.video->pix_fmt);
        file.pixelFormat = name ? name : "";
    }
    if (r.audioIndex >= 0) {
        if (!openDecoder(r.format, r.audioIndex, r.audio, error)) return false;
        file.audioCodec = r.audio->codec->name;
        file.sampleRate = r.audio->sample_rate;
        file.channels = r.audio->ch_layout.nb_channels;
    }
    while ((code = av_read_frame(r.format, r.packet)) >= 0) {
        AVCodecContext* context = r.packet->stream_index == r.videoIndex   ? r.video
                                  : r.packet->stream_index == r.audioIndex ? r.audio
                                                                           : nullptr;
        if (context != nullptr) {
            code = avcodec_send_packet(context, r.packet);
            if (code < 0) {
                error = "decoding failed: " + avError(code);
                av_packet_unref(r.packet);
                return false;
            }
            if (!drain(r, context, file, visit, error)) {
                av_packet_unref(r.packet);
                return false;
            }
        }
        av_packet_unref(r.packet);
    }
    if (code != AVERROR_EOF) {
        error = "cannot read \"" + path + "\" to its end: " + avError(code);
        return false;
    }
    for (AVCodecContext* context : {r.video, r.audio}) {
        if (context == nullptr) continue;
        avcodec_send_packet(context, nullptr);
        if (!drain(r, context, file, visit, error)) return false;
    }
    return true;
}

std::vector<uint8_t> throughYuv420(const uint8_t* rgba, int width, int height) {
    SwsContext* down = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height,
                                      AV_PIX_FMT_YUV420P, encoderFlags, nullptr, nullptr, nullptr);
    SwsContext* up = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height,
                                    AV_PIX_FMT_RGBA, readerFlags, nullptr, nullptr, nullptr);
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(down, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    sws_setColorspaceDetails(up, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
    AVFrame* yuv = av_frame_alloc();
    yuv->format = AV_PIX_FMT_YUV420P;
    yuv->width = width;
    yuv->height = height;
    av_frame_get_buffer(yuv, 0);
    std::vector<uint8_t> back(size_t(width) * height * 4);
    const uint8_t* in[1] = {rgba};
    uint8_t* out[1] = {back.data()};
    int strides[1] = {width * 4};
    sws_scale(down, in, strides, 0, height, yuv->data, yuv->linesize);
    sws_scale(up, yuv->data, yuv->linesize, 0, height, out, strides);
    av_frame_free(&yuv);
    sws_freeContext(down);
    sws_freeContext(up);
    return back;
}

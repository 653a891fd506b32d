#include "capture/VideoWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstdint>

namespace {

// x264's constant rate factor: visually close to the renders at a modest size.
constexpr const char* kQuality = "18";

std::string AvErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScaleDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

}  // namespace

struct VideoWriter::State {
    std::unique_ptr<AVFormatContext, FormatContextDeleter> format;
    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec;
    std::unique_ptr<AVFrame, FrameDeleter> frame;
    std::unique_ptr<AVPacket, PacketDeleter> packet;
    std::unique_ptr<SwsContext, ScaleDeleter> scale;
    AVStream* stream = nullptr;
    std::int64_t nextPts = 0;
    bool headerWritten = false;
    bool finished = false;

    // Sends a frame (null to drain) and writes every packet the encoder has ready.
    bool Encode(AVFrame* input, std::string& error)
    {
        int result = avcodec_send_frame(codec.get(), input);
        if (result < 0) {
            error = "cannot encode a frame: " + AvErrorText(result);
            return false;
        }
        for (;;) {
            result = avcodec_receive_packet(codec.get(), packet.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return true;
            if (result < 0) {
                error = "cannot encode a frame: " + AvErrorText(result);
                return false;
            }
            // Every frame lasts one tick; without it the last frame has no length and players
            // (and the MP4's frame rate) drop it.
            if (packet->duration == 0)
                packet->duration = 1;
            av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            result = av_interleaved_write_frame(format.get(), packet.get());
            if (result < 0) {
                error = "cannot write the video: " + AvErrorText(result);
                return false;
            }
        }
    }
};

VideoWriter::VideoWriter() = default;

VideoWriter::~VideoWriter() = default;

bool VideoWriter::Open(const std::filesystem::path& path, int width, int height, int fps, std::string& error)
{
    if (width <= 0 || height <= 0 || width % 2 || height % 2 || fps <= 0) {
        error = "the video size must be even and the frame rate positive";
        return false;
    }
    auto state = std::make_unique<State>();
    AVFormatContext* format = nullptr;
    const std::string name = path.string();
    if (avformat_alloc_output_context2(&format, nullptr, "mp4", name.c_str()) < 0 || !format) {
        error = "the MP4 muxer is not available";
        return false;
    }
    state->format.reset(format);

    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!encoder) {
        error = "no H.264 encoder is available in this FFmpeg";
        return false;
    }
    state->codec.reset(avcodec_alloc_context3(encoder));
    state->frame.reset(av_frame_alloc());
    state->packet.reset(av_packet_alloc());
    if (!state->codec || !state->frame || !state->packet) {
        error = "out of memory";
        return false;
    }
    AVCodecContext* codec = state->codec.get();
    codec->width = width;
    codec->height = height;
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->time_base = AVRational{1, fps};
    codec->framerate = AVRational{fps, 1};
    codec->gop_size = fps * 2;
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(codec->priv_data, "crf", kQuality, 0);
    av_opt_set(codec->priv_data, "preset", "medium", 0);
    // x264 reports its settings at information level; only its warnings and errors matter here.
    av_opt_set(codec->priv_data, "x264-params", "log=1", 0);
    int result = avcodec_open2(codec, encoder, nullptr);
    if (result < 0) {
        error = "cannot open the H.264 encoder: " + AvErrorText(result);
        return false;
    }

    state->stream = avformat_new_stream(format, nullptr);
    if (!state->stream) {
        error = "out of memory";
        return false;
    }
    state->stream->time_base = codec->time_base;
    avcodec_parameters_from_context(state->stream->codecpar, codec);

    AVFrame* frame = state->frame.get();
    frame->format = codec->pix_fmt;
    frame->width = width;
    frame->height = height;
    if ((result = av_frame_get_buffer(frame, 0)) < 0) {
        error = "out of memory: " + AvErrorText(result);
        return false;
    }
    state->scale.reset(sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P,
                                      SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!state->scale) {
        error = "cannot convert RGB to YUV";
        return false;
    }

    if ((result = avio_open(&format->pb, name.c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = "cannot create " + name + ": " + AvErrorText(result);
        return false;
    }
    if ((result = avformat_write_header(format, nullptr)) < 0) {
        error = "cannot write the MP4 header: " + AvErrorText(result);
        return false;
    }
    state->headerWritten = true;
    m_state = std::move(state);
    return true;
}

bool VideoWriter::Write(const RgbImage& image, std::string& error)
{
    if (!m_state || m_state->finished) {
        error = "the video is not open";
        return false;
    }
    AVFrame* frame = m_state->frame.get();
    if (image.width != frame->width || image.height != frame->height ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3) {
        error = "a frame of another size than the video";
        return false;
    }
    // The encoder may still hold the previous frame's buffer.
    int result = av_frame_make_writable(frame);
    if (result < 0) {
        error = "out of memory: " + AvErrorText(result);
        return false;
    }
    const std::uint8_t* source[1] = {image.pixels.data()};
    const int sourceStride[1] = {image.width * 3};
    sws_scale(m_state->scale.get(), source, sourceStride, 0, image.height, frame->data, frame->linesize);
    frame->pts = m_state->nextPts++;
    return m_state->Encode(frame, error);
}

bool VideoWriter::Finish(std::string& error)
{
    if (!m_state || m_state->finished) {
        error = "the video is not open";
        return false;
    }
    m_state->finished = true;
    if (!m_state->Encode(nullptr, error))
        return false;
    const int result = av_write_trailer(m_state->format.get());
    if (result < 0) {
        error = "cannot complete the MP4 file: " + AvErrorText(result);
        return false;
    }
    return true;
}

void QuietVideoLibraryLog()
{
    av_log_set_level(AV_LOG_WARNING);
}

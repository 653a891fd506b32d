#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <filesystem>

namespace testsupport {

struct DecodedVideo {
    int width = 0;
    int height = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int frames = 0;
    double averageFps = 0.0;
};

// Reads the file back through libavformat and decodes every frame.
inline DecodedVideo DecodeVideo(const std::filesystem::path& path)
{
    DecodedVideo video;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return video;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (index >= 0) {
            const AVStream* stream = format->streams[index];
            video.width = stream->codecpar->width;
            video.height = stream->codecpar->height;
            video.codec = stream->codecpar->codec_id;
            video.averageFps = av_q2d(stream->avg_frame_rate);
            const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
            AVCodecContext* context = avcodec_alloc_context3(decoder);
            AVPacket* packet = av_packet_alloc();
            AVFrame* frame = av_frame_alloc();
            if (avcodec_parameters_to_context(context, stream->codecpar) >= 0 && avcodec_open2(context, decoder, nullptr) >= 0) {
                const auto drain = [&] {
                    while (avcodec_receive_frame(context, frame) == 0)
                        ++video.frames;
                };
                while (av_read_frame(format, packet) >= 0) {
                    if (packet->stream_index == index && avcodec_send_packet(context, packet) >= 0)
                        drain();
                    av_packet_unref(packet);
                }
                avcodec_send_packet(context, nullptr);
                drain();
            }
            av_frame_free(&frame);
            av_packet_free(&packet);
            avcodec_free_context(&context);
        }
    }
    avformat_close_input(&format);
    return video;
}

}  // namespace testsupport

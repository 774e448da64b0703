#pragma once
// Owners for the FFmpeg handles of the video layer.

#include "platform/ffmpeg/Ffmpeg.h"

#include <memory>

namespace showsaver::video {

using ffmpeg::Av;

struct AvFormatCloser {
    void operator()(AVFormatContext* context) const { Av().avformat_close_input(&context); }
};
using AvFormatPtr = std::unique_ptr<AVFormatContext, AvFormatCloser>;

struct AvCodecFreer {
    void operator()(AVCodecContext* context) const { Av().avcodec_free_context(&context); }
};
using AvCodecPtr = std::unique_ptr<AVCodecContext, AvCodecFreer>;

struct AvFrameFreer {
    void operator()(AVFrame* frame) const { Av().av_frame_free(&frame); }
};
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFreer>;

struct AvPacketFreer {
    void operator()(AVPacket* packet) const { Av().av_packet_free(&packet); }
};
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketFreer>;

struct SwsFreer {
    void operator()(SwsContext* context) const { Av().sws_freeContext(context); }
};
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;

struct SwrFreer {
    void operator()(SwrContext* context) const { Av().swr_free(&context); }
};
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;

// The I/O context of a video read from memory: its buffer is av_malloc'ed
// and may have been replaced by FFmpeg, so both go through the context.
struct AvIoFreer {
    void operator()(AVIOContext* context) const {
        if (context) Av().av_freep(&context->buffer);
        Av().avio_context_free(&context);
    }
};
using AvIoPtr = std::unique_ptr<AVIOContext, AvIoFreer>;

} // namespace showsaver::video

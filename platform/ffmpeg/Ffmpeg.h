#pragma once
// FFmpeg's libraries, opened on the first video that plays: the engine does
// not link them, so a show without video never maps their tree of codecs.
// Every call into FFmpeg goes through the table `Av()` returns, once `Load`
// has succeeded; the headers still give the types and the inline helpers.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/sys/Result.h"

namespace showsaver::ffmpeg {

// (library, function) for every FFmpeg function the engine calls.
#define SHOWSAVER_FFMPEG_FUNCTIONS(X)                                                                                  \
    X(avutil, av_channel_layout_check)                                                                                 \
    X(avutil, av_channel_layout_copy)                                                                                  \
    X(avutil, av_channel_layout_default)                                                                               \
    X(avutil, av_channel_layout_uninit)                                                                                \
    X(avutil, av_dict_free)                                                                                            \
    X(avutil, av_dict_set_int)                                                                                         \
    X(avutil, av_frame_alloc)                                                                                          \
    X(avutil, av_frame_free)                                                                                           \
    X(avutil, av_frame_make_writable)                                                                                  \
    X(avutil, av_frame_unref)                                                                                          \
    X(avutil, av_free)                                                                                                 \
    X(avutil, av_freep)                                                                                                \
    X(avutil, av_log_set_level)                                                                                        \
    X(avutil, av_malloc)                                                                                               \
    X(avutil, av_strerror)                                                                                             \
    X(avcodec, av_new_packet)                                                                                          \
    X(avcodec, av_packet_alloc)                                                                                        \
    X(avcodec, av_packet_free)                                                                                         \
    X(avcodec, av_packet_unref)                                                                                        \
    X(avcodec, avcodec_alloc_context3)                                                                                 \
    X(avcodec, avcodec_find_decoder)                                                                                   \
    X(avcodec, avcodec_flush_buffers)                                                                                  \
    X(avcodec, avcodec_free_context)                                                                                   \
    X(avcodec, avcodec_open2)                                                                                          \
    X(avcodec, avcodec_parameters_to_context)                                                                          \
    X(avcodec, avcodec_receive_frame)                                                                                  \
    X(avcodec, avcodec_send_packet)                                                                                    \
    X(avformat, av_find_best_stream)                                                                                   \
    X(avformat, av_find_input_format)                                                                                  \
    X(avformat, av_guess_frame_rate)                                                                                   \
    X(avformat, av_read_frame)                                                                                         \
    X(avformat, av_seek_frame)                                                                                         \
    X(avformat, avformat_alloc_context)                                                                                \
    X(avformat, avformat_close_input)                                                                                  \
    X(avformat, avformat_find_stream_info)                                                                             \
    X(avformat, avformat_open_input)                                                                                   \
    X(avformat, avio_alloc_context)                                                                                    \
    X(avformat, avio_context_free)                                                                                     \
    X(swresample, swr_alloc_set_opts2)                                                                                 \
    X(swresample, swr_convert)                                                                                         \
    X(swresample, swr_free)                                                                                            \
    X(swresample, swr_get_out_samples)                                                                                 \
    X(swresample, swr_init)                                                                                            \
    X(swscale, sws_freeContext)                                                                                        \
    X(swscale, sws_getCachedContext)                                                                                   \
    X(swscale, sws_getCoefficients)                                                                                    \
    X(swscale, sws_scale)                                                                                              \
    X(swscale, sws_setColorspaceDetails)

struct Api {
#define SHOWSAVER_FFMPEG_POINTER(library, function) decltype(&::function) function = nullptr;
    SHOWSAVER_FFMPEG_FUNCTIONS(SHOWSAVER_FFMPEG_POINTER)
#undef SHOWSAVER_FFMPEG_POINTER
};

// Opens the libraries and resolves the table, once per process (from any
// thread); later calls give the first outcome. The error is one line naming
// what is missing.
Status<> Load();

// The table; only after a successful `Load`.
const Api& Av();

// swscale writes each output row in whole blocks of this many pixels: up to
// 15 pixels past a row's end, which only a destination whose rows are padded
// to the block (or a following row) can take. The last row of a tightly
// packed picture would overrun its buffer.
inline constexpr int kScaleBlockPixels = 16;
inline constexpr size_t PaddedScaleRow(int width) {
    return (static_cast<size_t>(width) + kScaleBlockPixels - 1) / kScaleBlockPixels * kScaleBlockPixels;
}

} // namespace showsaver::ffmpeg

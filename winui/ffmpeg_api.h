// The FFmpeg functions the library calls, looked up at run time
// (winui/ffmpeg.h). Include only in the files that make the calls.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "winui/ffmpeg.h"

#define VX_FFMPEG_FUNCTIONS(X)              \
  X(avformat, avformat_alloc_context)       \
  X(avformat, avformat_open_input)          \
  X(avformat, avformat_find_stream_info)    \
  X(avformat, avformat_close_input)         \
  X(avformat, av_find_best_stream)          \
  X(avformat, av_read_frame)                \
  X(avformat, av_seek_frame)                \
  X(avformat, av_find_input_format)         \
  X(avformat, avio_alloc_context)           \
  X(avcodec, avcodec_find_decoder)          \
  X(avcodec, avcodec_alloc_context3)        \
  X(avcodec, avcodec_parameters_to_context) \
  X(avcodec, avcodec_open2)                 \
  X(avcodec, avcodec_free_context)          \
  X(avcodec, avcodec_send_packet)           \
  X(avcodec, avcodec_receive_frame)         \
  X(avcodec, avcodec_flush_buffers)         \
  X(avcodec, av_packet_alloc)               \
  X(avcodec, av_packet_free)                \
  X(avcodec, av_packet_unref)               \
  X(avutil, av_frame_alloc)                 \
  X(avutil, av_frame_free)                  \
  X(avutil, av_frame_unref)                 \
  X(avutil, av_malloc)                      \
  X(avutil, av_free)                        \
  X(avutil, av_dict_set)                    \
  X(avutil, av_dict_free)                   \
  X(avutil, av_log_set_level)               \
  X(avutil, av_get_pix_fmt)                 \
  X(avutil, av_get_pix_fmt_name)            \
  X(avutil, av_image_get_buffer_size)       \
  X(avutil, av_image_fill_arrays)           \
  X(avutil, av_image_copy_to_buffer)        \
  X(swscale, sws_getContext)                \
  X(swscale, sws_scale)                     \
  X(swscale, sws_freeContext)               \
  X(avdevice, avdevice_register_all)

struct TVXFFmpegApi {
#define VX_FFMPEG_MEMBER(lib, name) decltype(&::name) name = nullptr;
  VX_FFMPEG_FUNCTIONS(VX_FFMPEG_MEMBER)
#undef VX_FFMPEG_MEMBER
};

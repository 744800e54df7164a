#pragma once
// Owning pointers for FFmpeg objects, and FFmpeg's error texts. Header-only: include it only from
// targets that link halvex_ffmpeg.
#include <memory>
#include <string>

#include "core/free_with.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/buffer.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace halvex::ff {

using CodecContextPtr = std::unique_ptr<AVCodecContext, FreeAt<avcodec_free_context>>;
using FramePtr = std::unique_ptr<AVFrame, FreeAt<av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, FreeAt<av_packet_free>>;
using SwrPtr = std::unique_ptr<SwrContext, FreeAt<swr_free>>;
using SwsPtr = std::unique_ptr<SwsContext, FreeWith<sws_freeContext>>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FreeWith<av_audio_fifo_free>>;
using BufferPtr = std::unique_ptr<AVBufferRef, FreeAt<av_buffer_unref>>;
using InputContextPtr = std::unique_ptr<AVFormatContext, FreeAt<avformat_close_input>>;
using DictionaryPtr = std::unique_ptr<AVDictionary, FreeAt<av_dict_free>>;

inline std::string ErrorText(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof(buf));
  return buf;
}

// "(codigo -22: Invalid argument)"
inline std::string ErrorCodeText(int code) {
  return "(codigo " + std::to_string(code) + ": " + ErrorText(code) + ")";
}

}  // namespace halvex::ff

#pragma once
// Owning pointers for FFmpeg objects, and FFmpeg's error texts. Header-only: include it only from
// targets that link halvex_ffmpeg.
#include <memory>
#include <string>

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

struct CodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
struct SwsDeleter {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct FifoDeleter {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct InputContextDeleter {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct BufferDeleter {
  void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};
struct DictionaryDeleter {
  void operator()(AVDictionary* d) const { av_dict_free(&d); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;
using BufferPtr = std::unique_ptr<AVBufferRef, BufferDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;

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

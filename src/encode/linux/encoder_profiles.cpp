#include "encode/linux/encoder_profiles.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
}

namespace halvex {
namespace {

bool IsPrefix(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void SetCommon(int fps, int kbps, AVCodecContext* c) {
  c->time_base = AVRational{1, fps};
  c->framerate = AVRational{fps, 1};
  c->gop_size = 2 * fps;
  c->keyint_min = 2 * fps;
  c->max_b_frames = 0;
  c->bit_rate = static_cast<int64_t>(kbps) * 1000;
  c->rc_max_rate = c->bit_rate;
  c->rc_min_rate = c->bit_rate;
  // A one-second buffer starting half full: any ten seconds of stream then stay within 5 % of the
  // configured rate, above (demanding pictures) or below (still pictures with filler).
  c->rc_buffer_size = kbps >= INT32_MAX / 1000 ? INT32_MAX : kbps * 1000;
  c->rc_initial_buffer_occupancy = c->rc_buffer_size / 2;
  c->color_range = AVCOL_RANGE_MPEG;
  c->colorspace = AVCOL_SPC_BT709;
  c->color_primaries = AVCOL_PRI_BT709;
  c->color_trc = AVCOL_TRC_BT709;
  // No AV_CODEC_FLAG_GLOBAL_HEADER: parameter sets stay in the stream, repeated on keyframes.
  c->flags &= ~AV_CODEC_FLAG_GLOBAL_HEADER;
}

// libx264's presets from the one that fits beside a game on a free machine to its fastest.
const std::vector<std::string> kX264Presets = {"veryfast", "superfast", "ultrafast"};

void SetX264(int fps, const std::string& preset, AVDictionary** o) {
  av_dict_set(o, "preset", preset.c_str(), 0);
  av_dict_set(o, "tune", "zerolatency", 0);
  av_dict_set(o, "forced-idr", "1", 0);
  // HRD CBR with filler keeps the stream at the configured rate even on still pictures.
  av_dict_set(o, "nal-hrd", "cbr", 0);
  const std::string params = "scenecut=0:bframes=0:rc-lookahead=0:sync-lookahead=0:repeat-headers=1:"
                             "annexb=1:filler=1:keyint=" + std::to_string(2 * fps);
  av_dict_set(o, "x264-params", params.c_str(), 0);
}

void SetX265(int fps, int kbps, AVCodecContext* c, AVDictionary** o) {
  av_dict_set(o, "preset", "ultrafast", 0);
  av_dict_set(o, "tune", "zerolatency", 0);
  av_dict_set(o, "forced-idr", "1", 0);
  const std::string params =
      "log-level=error:scenecut=0:open-gop=0:bframes=0:rc-lookahead=0:frame-threads=1:"
      "repeat-headers=1:annexb=1:strict-cbr=1:keyint=" + std::to_string(2 * fps) +
      ":min-keyint=" + std::to_string(2 * fps);
  av_dict_set(o, "x265-params", params.c_str(), 0);
}

void SetAom(AVCodecContext* c, AVDictionary** o) {
  // Real-time usage with no lag gives one output picture per input; AV1 quantisers run to 63 and
  // the generic default ceiling would hold the rate above the target.
  av_dict_set(o, "usage", "realtime", 0);
  av_dict_set(o, "cpu-used", "8", 0);
  av_dict_set(o, "lag-in-frames", "0", 0);
  av_dict_set(o, "row-mt", "1", 0);
  av_dict_set(o, "error-resilience", "0", 0);
  c->qmin = 1;
  c->qmax = 63;
  // Its own keyframe schedule does not restart at a forced keyframe; the worker's schedule forces
  // every keyframe instead.
  c->gop_size = 1 << 20;
  c->keyint_min = 0;
}

void SetNvenc(int kbps, AVCodecContext* c, AVDictionary** o) {
  av_dict_set(o, "preset", "p1", 0);
  av_dict_set(o, "tune", "ll", 0);
  av_dict_set(o, "rc", "cbr", 0);
  av_dict_set(o, "zerolatency", "1", 0);
  av_dict_set(o, "delay", "0", 0);
  av_dict_set(o, "rc-lookahead", "0", 0);
  av_dict_set(o, "forced-idr", "1", 0);
  av_dict_set(o, "strict_gop", "1", 0);
  c->rc_min_rate = 0;
}

void SetVaapi(AVCodecContext* c, AVDictionary** o) {
  av_dict_set(o, "rc_mode", "CBR", 0);
  av_dict_set(o, "async_depth", "1", 0);
}

}  // namespace

std::vector<EncoderCandidate> EncoderCandidates(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::Hevc:
      return {{"hevc_nvenc", EncoderFamily::Nvenc},
              {"hevc_vaapi", EncoderFamily::Vaapi},
              {"libx265", EncoderFamily::Software}};
    case VideoCodec::Av1:
      return {{"av1_nvenc", EncoderFamily::Nvenc},
              {"av1_vaapi", EncoderFamily::Vaapi},
              {"libaom-av1", EncoderFamily::Software}};
    default:
      return {{"h264_nvenc", EncoderFamily::Nvenc},
              {"h264_vaapi", EncoderFamily::Vaapi},
              {"libx264", EncoderFamily::Software}};
  }
}

EncoderCandidate CandidateNamed(const std::string& name) {
  if (name.find("_nvenc") != std::string::npos) return {name, EncoderFamily::Nvenc};
  if (name.find("_vaapi") != std::string::npos) return {name, EncoderFamily::Vaapi};
  return {name, EncoderFamily::Software};
}

std::vector<std::string> SpeedSettings(const EncoderCandidate& candidate) {
  if (candidate.family == EncoderFamily::Software && IsPrefix(candidate.name, "libx264")) {
    return kX264Presets;
  }
  return {};
}

void ApplyStreamSettings(const EncoderCandidate& candidate, int fps, int kbps,
                         AVCodecContext* context, AVDictionary** options, size_t speedStep) {
  SetCommon(fps, kbps, context);
  switch (candidate.family) {
    case EncoderFamily::Nvenc:
      SetNvenc(kbps, context, options);
      return;
    case EncoderFamily::Vaapi:
      SetVaapi(context, options);
      return;
    case EncoderFamily::Software:
      break;
  }
  if (IsPrefix(candidate.name, "libx264")) {
    SetX264(fps, kX264Presets[std::min(speedStep, kX264Presets.size() - 1)], options);
  } else if (IsPrefix(candidate.name, "libx265")) {
    SetX265(fps, kbps, context, options);
  } else if (IsPrefix(candidate.name, "libaom-av1")) {
    SetAom(context, options);
  }
}

}  // namespace halvex

#include "audio/microphone_mix.h"

#include <algorithm>

#include "core/log.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace halvex {

void MapMicrophoneChannels(const float* in, int frames, int inChannels, int outChannels,
                           std::vector<float>& out) {
  if (frames <= 0 || inChannels <= 0 || outChannels <= 0) return;
  const size_t base = out.size();
  out.resize(base + static_cast<size_t>(frames) * outChannels);
  float* dst = out.data() + base;
  if (inChannels == outChannels) {
    std::copy(in, in + static_cast<size_t>(frames) * inChannels, dst);
    return;
  }
  for (int f = 0; f < frames; ++f) {
    const float* src = in + static_cast<size_t>(f) * inChannels;
    float* o = dst + static_cast<size_t>(f) * outChannels;
    if (inChannels == 1) {
      std::fill(o, o + outChannels, src[0]);
    } else if (outChannels == 1) {
      float sum = 0;
      for (int c = 0; c < inChannels; ++c) sum += src[c];
      o[0] = sum / static_cast<float>(inChannels);
    } else {
      for (int c = 0; c < outChannels; ++c) o[c] = src[std::min(c, inChannels - 1)];
    }
  }
}

MicrophoneResampler::~MicrophoneResampler() { Reset(); }

void MicrophoneResampler::Reset() {
  swr_free(&swr_);
  inRate_ = inChannels_ = outRate_ = outChannels_ = 0;
}

bool MicrophoneResampler::Convert(const std::vector<float>& samples, int inRate, int inChannels,
                                  int outRate, int outChannels, std::vector<float>& out) {
  if (inRate <= 0 || inChannels <= 0 || outRate <= 0 || outChannels <= 0) return false;
  if (inRate == outRate && inChannels == outChannels) {
    out.insert(out.end(), samples.begin(), samples.end());
    return true;
  }
  const auto fail = [this] {
    log::Line("[AUDIO-W10] ERROR: no se pudo remuestrear el microfono para la mezcla.");
    Reset();
    return false;
  };
  if (!swr_ || inRate != inRate_ || inChannels != inChannels_ || outRate != outRate_ ||
      outChannels != outChannels_) {
    Reset();
    AVChannelLayout inLayout, outLayout;
    av_channel_layout_default(&inLayout, inChannels);
    av_channel_layout_default(&outLayout, outChannels);
    const int rc = swr_alloc_set_opts2(&swr_, &outLayout, AV_SAMPLE_FMT_FLT, outRate, &inLayout,
                                       AV_SAMPLE_FMT_FLT, inRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(swr_) < 0) return fail();
    inRate_ = inRate;
    inChannels_ = inChannels;
    outRate_ = outRate;
    outChannels_ = outChannels;
  }
  const int frames = static_cast<int>(samples.size() / inChannels);
  const int64_t capacity =
      av_rescale_rnd(swr_get_delay(swr_, inRate) + frames, outRate, inRate, AV_ROUND_UP);
  const size_t base = out.size();
  out.resize(base + static_cast<size_t>(capacity) * outChannels);
  uint8_t* dst[] = {reinterpret_cast<uint8_t*>(out.data() + base)};
  const uint8_t* src[] = {reinterpret_cast<const uint8_t*>(samples.data())};
  const int converted = swr_convert(swr_, dst, static_cast<int>(capacity), src, frames);
  if (converted < 0) {
    out.resize(base);
    return fail();
  }
  out.resize(base + static_cast<size_t>(converted) * outChannels);
  return true;
}

}  // namespace halvex

#pragma once
// Bringing microphone samples to the layout of a mix.
#include <memory>
#include <vector>

struct SwrContext;

namespace halvex {

// Maps `frames` interleaved frames of `inChannels` onto `outChannels` without resampling (appended
// to `out`): equal counts are copied, mono goes to every channel, a mono output averages the
// inputs, otherwise output channel i takes input channel min(i, inChannels - 1).
void MapMicrophoneChannels(const float* in, int frames, int inChannels, int outChannels,
                           std::vector<float>& out);

// Rate and channel conversion of the microphone for the desktop mix. Keeps its resampler while
// the four parameters stay the same (its delay carries samples between blocks).
class MicrophoneResampler {
 public:
  MicrophoneResampler() = default;
  ~MicrophoneResampler();
  MicrophoneResampler(const MicrophoneResampler&) = delete;
  MicrophoneResampler& operator=(const MicrophoneResampler&) = delete;

  // Appends the converted frames to `out`. False (nothing appended) when the resampler fails.
  bool Convert(const std::vector<float>& samples, int inRate, int inChannels, int outRate,
               int outChannels, std::vector<float>& out);
  void Reset();

 private:
  SwrContext* swr_ = nullptr;
  int inRate_ = 0, inChannels_ = 0, outRate_ = 0, outChannels_ = 0;
};

}  // namespace halvex

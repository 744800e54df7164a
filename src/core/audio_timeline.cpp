#include "core/audio_timeline.h"

#include <algorithm>

namespace halvex {

int64_t MulDivRound(int64_t a, int64_t b, int64_t c) {
  const __int128 product = static_cast<__int128>(a) * b;
  const __int128 half = c / 2;
  // Round half away from zero, as std::llround does.
  const __int128 q = product >= 0 ? (product + half) / c : (product - half) / c;
  if (q > INT64_MAX) return INT64_MAX;
  if (q < INT64_MIN) return INT64_MIN;
  return static_cast<int64_t>(q);
}

int64_t AudioTimeline::OutputPosition(int64_t inputFrames) const {
  return MulDivRound(inputFrames, outputRate_, inputRate_);
}

int64_t AudioTimeline::AddChunk(int64_t captureNs, int64_t frames, int inputRate,
                                int outputRate) {
  if (captureNs <= 0 || frames <= 0 || inputRate <= 0 || outputRate <= 0) return 0;

  int64_t gap = 0;
  int64_t startNs = captureNs;
  if (!started_) {
    started_ = true;
    inputRate_ = inputRate;
    outputRate_ = outputRate;
    anchors_.push_back({OutputPosition(totalInput_), captureNs});
  } else if (inputRate != inputRate_ || outputRate != outputRate_) {
    // Positions counted at the old rates mean nothing at the new ones: start over.
    inputRate_ = inputRate;
    outputRate_ = outputRate;
    anchors_.clear();
    totalInput_ = 0;
    anchors_.push_back({0, captureNs});
  } else if (captureNs - expectedNs_ < kContinuityNs) {
    startNs = expectedNs_;
  } else {
    gap = captureNs - expectedNs_;
    anchors_.push_back({OutputPosition(totalInput_), captureNs});
  }

  const int64_t p = OutputPosition(totalInput_);
  const int64_t outFrames = OutputPosition(totalInput_ + frames) - p;
  expectedNs_ = startNs + MulDivRound(outFrames, 1'000'000'000, outputRate_);
  totalInput_ += frames;
  return gap;
}

int64_t AudioTimeline::SilenceBefore(int64_t captureNs) {
  if (!started_ || captureNs <= 0) return 0;
  const int64_t late = captureNs - expectedNs_;
  if (late >= kContinuityNs) {
    driftSinceNs_ = 0;
    return late;
  }
  // A run of chunks all late (or all early) by the drift limit or more, and all by about the
  // same amount: what the capture's delay changed by. While the distance still moves (a delay
  // settling) the run starts over, so the correction is made once, at the settled value.
  const int sign = late >= kDriftNs ? 1 : late <= -kDriftNs ? -1 : 0;
  if (sign == 0 || sign != driftSign_ ||
      std::max(mostDriftNs_, late) - std::min(leastDriftNs_, late) > kDriftSpreadNs) {
    driftSinceNs_ = 0;
  }
  if (sign == 0) return 0;
  if (driftSinceNs_ == 0) {
    driftSinceNs_ = captureNs;
    driftSign_ = sign;
    leastDriftNs_ = mostDriftNs_ = late;
    return 0;
  }
  leastDriftNs_ = std::min(leastDriftNs_, late);
  mostDriftNs_ = std::max(mostDriftNs_, late);
  if (captureNs - driftSinceNs_ < kDriftWindowNs) return 0;
  driftSinceNs_ = 0;
  // The distance nearest to zero: never more than the change.
  return sign > 0 ? leastDriftNs_ : mostDriftNs_;
}

int64_t AudioTimeline::TimeOfSample(int64_t position) const {
  if (anchors_.empty()) return 0;
  auto after = std::upper_bound(anchors_.begin(), anchors_.end(), position,
                                [](int64_t s, const Anchor& a) { return s < a.position; });
  const Anchor& anchor = after == anchors_.begin() ? anchors_.front() : *(after - 1);
  return anchor.timeNs + MulDivRound(position - anchor.position, 1'000'000'000, outputRate_);
}

void AudioTimeline::Reset() { *this = AudioTimeline(); }

}  // namespace halvex

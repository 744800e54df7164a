#include "audio/volume_curve.h"

#include <algorithm>
#include <cmath>

namespace halvex {

float VolumeToDb(float volume) {
  const float v = std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
  const int g = std::min(static_cast<int>(std::floor(v * 10.0f)), 9);
  const float fraction = v * 10.0f - static_cast<float>(g);
  return kVolumeCurveDb[g] + (kVolumeCurveDb[g + 1] - kVolumeCurveDb[g]) * fraction;
}

float VolumeToGain(float volume) {
  if (std::isnan(volume) || volume <= 0.00001f) return 0.0f;
  return std::pow(10.0f, VolumeToDb(volume) / 20.0f);
}

}  // namespace halvex

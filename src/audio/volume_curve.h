#pragma once
// Slider position (0..1) to linear gain: a decibel curve that gives the low end of a slider
// useful resolution instead of a linear fade that is inaudible for most of its travel.
namespace halvex {

// Decibels at slider positions 0.0, 0.1, ..., 1.0.
inline constexpr float kVolumeCurveDb[11] = {-80, -30, -24, -20, -16, -12, -9, -6, -4, -2, 0};

// Interpolated decibels for `volume` (clamped to 0..1).
float VolumeToDb(float volume);
// 0 for volumes at or below 0.00001, else 10^(dB / 20).
float VolumeToGain(float volume);

}  // namespace halvex

#include "audio/win/wasapi_format.h"

#include <ks.h>
#include <ksmedia.h>

#include <algorithm>
#include <cstring>

namespace halvex::wasapi {
namespace {

bool IsFloatFormat(const WAVEFORMATEX& f) {
  if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) return true;
  if (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE && f.cbSize >= 22) {
    const auto& ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(f);
    return IsEqualGUID(ext.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT) != 0;
  }
  return false;
}

void Convert16(const BYTE* data, size_t count, float* out) {
  // Plain loop over contiguous int16: the compiler vectorises it.
  const auto* s = reinterpret_cast<const int16_t*>(data);
  constexpr float kScale = 1.0f / 32768.0f;
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<float>(s[i]) * kScale;
}

void Convert24(const BYTE* data, size_t count, float* out) {
  constexpr float kScale = 1.0f / 8388608.0f;
  for (size_t i = 0; i < count; ++i, data += 3) {
    // Place the three bytes at the top of an int32 so the sign comes along, then shift down.
    const int32_t v = static_cast<int32_t>((static_cast<uint32_t>(data[0]) << 8) |
                                           (static_cast<uint32_t>(data[1]) << 16) |
                                           (static_cast<uint32_t>(data[2]) << 24)) >>
                      8;
    out[i] = static_cast<float>(v) * kScale;
  }
}

void Convert32(const BYTE* data, size_t count, float* out) {
  // 32-bit containers are left-justified, whatever the valid bits, so full scale is 2^31.
  constexpr double kScale = 1.0 / 2147483648.0;
  for (size_t i = 0; i < count; ++i) {
    int32_t v;
    std::memcpy(&v, data + i * 4, 4);
    out[i] = static_cast<float>(v * kScale);
  }
}

}  // namespace

MixFormat DescribeMixFormat(const WAVEFORMATEX& format) {
  MixFormat m;
  m.rate = static_cast<int>(format.nSamplesPerSec);
  m.channels = format.nChannels;
  m.isFloat = IsFloatFormat(format);
  m.containerBits = format.wBitsPerSample;
  m.blockAlign = format.nBlockAlign;
  if (m.isFloat) {
    m.unexpected = m.containerBits != 32;
  } else {
    m.unexpected = m.containerBits != 16 && m.containerBits != 24 && m.containerBits != 32;
  }
  if (m.unexpected) m.containerBits = m.isFloat ? 32 : 16;
  return m;
}

std::string FormatLabel(const MixFormat& format) {
  if (format.isFloat) return "float32";
  return "pcm" + std::to_string(format.containerBits);
}

void ConvertPacket(const MixFormat& format, const BYTE* data, size_t frames, bool silent,
                   float* out) {
  const size_t count = frames * static_cast<size_t>(format.channels);
  // A packet narrower than what it would be read as (e.g. 8-bit read as 16) is not read at all.
  const bool readable =
      !(format.isFloat && format.unexpected) &&
      format.blockAlign >= format.channels * (format.containerBits / 8);
  if (silent || !data || count == 0 || !readable) {
    std::fill(out, out + count, 0.0f);
    return;
  }
  if (format.isFloat) {
    std::memcpy(out, data, count * sizeof(float));
  } else if (format.containerBits == 24) {
    Convert24(data, count, out);
  } else if (format.containerBits == 32) {
    Convert32(data, count, out);
  } else {
    Convert16(data, count, out);
  }
}

}  // namespace halvex::wasapi

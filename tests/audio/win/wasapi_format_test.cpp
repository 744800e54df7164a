// Reading WASAPI mix formats and converting packets to float.
#include "audio/win/wasapi_format.h"

#include <gtest/gtest.h>
#include <ks.h>
#include <ksmedia.h>

#include <cstring>
#include <vector>

namespace halvex::wasapi {
namespace {

WAVEFORMATEXTENSIBLE Extensible(GUID sub, WORD bits, WORD channels = 2) {
  WAVEFORMATEXTENSIBLE f{};
  f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  f.Format.nChannels = channels;
  f.Format.nSamplesPerSec = 48000;
  f.Format.wBitsPerSample = bits;
  f.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  f.Format.cbSize = 22;
  f.Samples.wValidBitsPerSample = bits;
  f.SubFormat = sub;
  return f;
}

TEST(WasapiFormat, DescribesPlainAndExtensibleFormats) {
  const auto ext = Extensible(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32);
  MixFormat f = DescribeMixFormat(ext.Format);
  EXPECT_TRUE(f.isFloat);
  EXPECT_EQ(f.rate, 48000);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(FormatLabel(f), "float32");

  f = DescribeMixFormat(Extensible(KSDATAFORMAT_SUBTYPE_PCM, 16).Format);
  EXPECT_FALSE(f.isFloat);
  EXPECT_FALSE(f.unexpected);
  EXPECT_EQ(FormatLabel(f), "pcm16");

  WAVEFORMATEX plain{};
  plain.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
  plain.nChannels = 1;
  plain.wBitsPerSample = 32;
  plain.nBlockAlign = 4;
  EXPECT_TRUE(DescribeMixFormat(plain).isFloat);

  // Eight-bit PCM: not a layout the capture can read.
  plain.wFormatTag = WAVE_FORMAT_PCM;
  plain.wBitsPerSample = 8;
  plain.nBlockAlign = 1;
  EXPECT_TRUE(DescribeMixFormat(plain).unexpected);
}

TEST(WasapiFormat, ConvertsEachSampleWidthToFullScaleFloat) {
  const MixFormat pcm16 = DescribeMixFormat(Extensible(KSDATAFORMAT_SUBTYPE_PCM, 16).Format);
  const int16_t s16[4] = {-32768, 16384, 0, 32767};
  float out[4];
  ConvertPacket(pcm16, reinterpret_cast<const BYTE*>(s16), 2, false, out);
  EXPECT_FLOAT_EQ(out[0], -1.0f);
  EXPECT_FLOAT_EQ(out[1], 0.5f);
  EXPECT_FLOAT_EQ(out[2], 0.0f);
  EXPECT_FLOAT_EQ(out[3], 32767.0f / 32768.0f);

  const MixFormat pcm24 = DescribeMixFormat(Extensible(KSDATAFORMAT_SUBTYPE_PCM, 24).Format);
  // -1.0 (0x800000), +0.5 (0x400000), -0.5 (0xC00000), smallest negative (0xFFFFFF); little endian.
  const BYTE s24[12] = {0, 0, 0x80, 0, 0, 0x40, 0, 0, 0xC0, 0xFF, 0xFF, 0xFF};
  ConvertPacket(pcm24, s24, 2, false, out);
  EXPECT_FLOAT_EQ(out[0], -1.0f);
  EXPECT_FLOAT_EQ(out[1], 0.5f);
  EXPECT_FLOAT_EQ(out[2], -0.5f);
  EXPECT_FLOAT_EQ(out[3], -1.0f / 8388608.0f);

  const MixFormat pcm32 = DescribeMixFormat(Extensible(KSDATAFORMAT_SUBTYPE_PCM, 32).Format);
  const int32_t s32[4] = {INT32_MIN, 1 << 30, -(1 << 30), 0};
  ConvertPacket(pcm32, reinterpret_cast<const BYTE*>(s32), 2, false, out);
  EXPECT_FLOAT_EQ(out[0], -1.0f);
  EXPECT_FLOAT_EQ(out[1], 0.5f);
  EXPECT_FLOAT_EQ(out[2], -0.5f);
  EXPECT_FLOAT_EQ(out[3], 0.0f);

  const MixFormat f32 = DescribeMixFormat(Extensible(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32).Format);
  const float in[4] = {0.25f, -0.75f, 1.0f, -1.0f};
  ConvertPacket(f32, reinterpret_cast<const BYTE*>(in), 2, false, out);
  EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
}

TEST(WasapiFormat, SilentOrUnreadablePacketsGiveZerosNeverStaleData) {
  const MixFormat f32 = DescribeMixFormat(Extensible(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32).Format);
  const float in[6] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
  std::vector<float> out(6, 9.0f);
  ConvertPacket(f32, reinterpret_cast<const BYTE*>(in), 3, true, out.data());
  EXPECT_EQ(out, std::vector<float>(6, 0.0f));

  std::fill(out.begin(), out.end(), 9.0f);
  ConvertPacket(f32, nullptr, 3, false, out.data());
  EXPECT_EQ(out, std::vector<float>(6, 0.0f));

  // An 8-bit device packet is half as long as a 16-bit read would take: zeros, no over-read.
  WAVEFORMATEX pcm8{};
  pcm8.wFormatTag = WAVE_FORMAT_PCM;
  pcm8.nChannels = 2;
  pcm8.wBitsPerSample = 8;
  pcm8.nBlockAlign = 2;
  const BYTE s8[6] = {200, 200, 200, 200, 200, 200};
  std::fill(out.begin(), out.end(), 9.0f);
  ConvertPacket(DescribeMixFormat(pcm8), s8, 3, false, out.data());
  EXPECT_EQ(out, std::vector<float>(6, 0.0f));
}

}  // namespace
}  // namespace halvex::wasapi

// The bitstream walkers: what they pick from real streams, and that hostile input never makes them
// read outside the packet (run under AddressSanitizer).
#include <gtest/gtest.h>

#include <random>

#include "clipfile/annexb.h"
#include "clipfile/obu.h"
#include "test_media.h"

namespace halvex {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(AnnexB, SplitsThreeAndFourByteStartCodesAndDropsTrailingZeros) {
  const Bytes s = {0xAA, 0, 0, 0, 1, 0x67, 1, 2, 3, 0, 0, 1, 0x68, 9, 0, 0, 0, 0, 1, 0x65, 7, 0};
  const auto units = annexb::Split(s.data(), s.size());
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(Bytes(units[0].data, units[0].data + units[0].size), (Bytes{0x67, 1, 2, 3}));
  EXPECT_EQ(Bytes(units[1].data, units[1].data + units[1].size), (Bytes{0x68, 9}));
  EXPECT_EQ(Bytes(units[2].data, units[2].data + units[2].size), (Bytes{0x65, 7}));

  const Bytes prefixed = annexb::ToLengthPrefixed(s.data(), s.size());
  EXPECT_EQ(prefixed, (Bytes{0, 0, 0, 4, 0x67, 1, 2, 3, 0, 0, 0, 2, 0x68, 9, 0, 0, 0, 2, 0x65, 7}));
}

TEST(AnnexB, ConfigurationRecordUsesTheFirstSpsAndPps) {
  const Bytes s = {0, 0, 0, 1, 0x67, 0x64, 0x00, 0x1F, 0xAC,  // SPS high@3.1
                   0, 0, 1, 0x67, 0x42, 0x00, 0x0A, 0x11,     // a second SPS, ignored
                   0, 0, 1, 0x68, 0xEE, 0x3C, 0x80,           // PPS
                   0, 0, 1, 0x65, 0x88};
  const Bytes avcc = annexb::BuildAvcConfig(s.data(), s.size());
  const Bytes want = {1, 0x64, 0x00, 0x1F, 0xFF, 0xE1, 0, 5, 0x67, 0x64, 0x00, 0x1F, 0xAC,
                      1, 0, 4, 0x68, 0xEE, 0x3C, 0x80};
  EXPECT_EQ(avcc, want);

  const Bytes noPps = {0, 0, 1, 0x67, 0x64, 0x00, 0x1F, 0xAC, 0, 0, 1, 0x65, 0x88};
  EXPECT_TRUE(annexb::BuildAvcConfig(noPps.data(), noPps.size()).empty());
  const Bytes shortSps = {0, 0, 1, 0x67, 0x64, 0, 0, 1, 0x68, 0xEE};
  EXPECT_TRUE(annexb::BuildAvcConfig(shortSps.data(), shortSps.size()).empty());
}

TEST(AnnexB, HevcParameterSetsKeepStreamOrder) {
  const Bytes s = {0, 0, 1, 0x40, 0x01, 0xA,  // VPS
                   0, 0, 1, 0x42, 0x01, 0xB,  // SPS
                   0, 0, 1, 0x4E, 0x01, 0xC,  // SEI, not configuration
                   0, 0, 1, 0x44, 0x01, 0xD,  // PPS
                   0, 0, 1, 0x26, 0x01, 0xE};
  const Bytes want = {0, 0, 0, 1, 0x40, 0x01, 0xA, 0, 0, 0, 1, 0x42, 0x01, 0xB,
                      0, 0, 0, 1, 0x44, 0x01, 0xD};
  EXPECT_EQ(annexb::CollectHevcParameterSets(s.data(), s.size()), want);
}

TEST(Obu, KeepsSequenceHeaderAndMetadataOnly) {
  const Bytes td = {0x12, 0x00};                      // temporal delimiter, size 0
  const Bytes sh = {0x0A, 0x03, 0x00, 0x00, 0x00};    // sequence header, 3 bytes
  const Bytes md = {0x2A, 0x01, 0x04};                // metadata
  const Bytes frame = {0x32, 0x02, 0x10, 0x20};       // frame
  Bytes all;
  for (const Bytes* b : {&td, &sh, &frame}) all.insert(all.end(), b->begin(), b->end());
  EXPECT_EQ(obu::ExtractConfigUnits(all.data(), all.size()), sh);

  Bytes withMeta = sh;
  withMeta.insert(withMeta.end(), md.begin(), md.end());
  withMeta.insert(withMeta.end(), frame.begin(), frame.end());
  Bytes want = sh;
  want.insert(want.end(), md.begin(), md.end());
  EXPECT_EQ(obu::ExtractConfigUnits(withMeta.data(), withMeta.size()), want);

  // A unit whose size runs past the packet ends the walk; a sizeless one takes the rest.
  const Bytes overrun = {0x0A, 0x05, 0x00, 0x00};
  EXPECT_TRUE(obu::Walk(overrun.data(), overrun.size()).empty());
  const Bytes sizeless = {0x08, 0x00, 0x00, 0x00};
  const auto units = obu::Walk(sizeless.data(), sizeless.size());
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].size, 4u);
  // Nine continuation bytes: longer than the 8 a size field may have.
  const Bytes longLeb = {0x0A, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00};
  EXPECT_TRUE(obu::Walk(longLeb.data(), longLeb.size()).empty());
}

// Every unit reported lies inside the buffer; under ASan any stray read aborts the test.
void CheckAllWalkers(const uint8_t* data, size_t size) {
  for (const auto& u : annexb::Split(data, size)) {
    ASSERT_GE(u.data, data);
    ASSERT_LE(u.data + u.size, data + size);
    ASSERT_GT(u.size, 0u);
  }
  annexb::BuildAvcConfig(data, size);
  annexb::CollectHevcParameterSets(data, size);
  annexb::ToLengthPrefixed(data, size);
  for (const auto& u : obu::Walk(data, size)) ASSERT_LE(u.offset + u.size, size);
  obu::ExtractConfigUnits(data, size);
}

TEST(BitstreamFuzz, TruncatedRealPacketsAndRandomBytes) {
  auto pictures = testmedia::LoadPictures(testmedia::FixedH264Path());
  ASSERT_FALSE(pictures.empty());
  const Bytes& key = pictures[0].bytes;
  for (size_t n = 0; n <= key.size(); ++n) {
    // An exact-size heap copy so that ASan sees the end of the buffer.
    std::vector<uint8_t> cut(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(n));
    CheckAllWalkers(cut.data(), cut.size());
    if (n < key.size()) continue;
    EXPECT_FALSE(annexb::BuildAvcConfig(cut.data(), cut.size()).empty());
  }

  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> junk(rng() % 64);
    for (auto& b : junk) {
      // Bias towards zeros and ones so start codes and size fields actually occur.
      const unsigned r = rng() % 4;
      b = r == 0 ? 0 : r == 1 ? 1 : static_cast<uint8_t>(rng());
    }
    CheckAllWalkers(junk.data(), junk.size());
  }
}

TEST(BitstreamFuzz, TruncatedAv1Keyframe) {
  if (!testmedia::HasEncoder("libsvtav1")) GTEST_SKIP() << "FFmpeg sin libsvtav1";
  testmedia::PictureRequest r;
  r.encoder = "libsvtav1";
  r.width = 128;
  r.height = 72;
  r.frames = 2;
  const auto pictures = testmedia::EncodePictures(r);
  ASSERT_FALSE(pictures.empty());
  const Bytes& key = pictures[0].bytes;
  EXPECT_FALSE(obu::ExtractConfigUnits(key.data(), key.size()).empty());
  for (size_t n = 0; n <= key.size(); ++n) {
    std::vector<uint8_t> cut(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(n));
    CheckAllWalkers(cut.data(), cut.size());
  }
}

}  // namespace
}  // namespace halvex

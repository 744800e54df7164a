#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ui/pack_writer.h"
#include "ui/resource_pack.h"

namespace halvex {
namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Put64(Bytes& b, uint64_t v) {
  for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A pack written by hand, so the sizes can lie.
Bytes Header(uint32_t count, uint32_t version = 1) {
  Bytes b{'H', 'V', 'P', 'A', 'K', '0', '0', '1'};
  Put32(b, version);
  Put32(b, count);
  return b;
}
void Entry(Bytes& b, const std::string& name, const Bytes& data) {
  Put32(b, uint32_t(name.size()));
  Put64(b, data.size());
  b.insert(b.end(), name.begin(), name.end());
  b.insert(b.end(), data.begin(), data.end());
}

Bytes SamplePack() {
  Bytes b = Header(3);
  Entry(b, "Audio_Capture.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
  Entry(b, "Empty.png", {});
  Entry(b, "Shortcuts.png", Bytes(40, 0xAB));
  return b;
}

TEST(ResourcePackTest, WriterLaysOutSortedLittleEndianEntries) {
  Bytes out;
  ASSERT_TRUE(WritePack({{"b.png", {1, 2, 3}}, {"a", {}}}, out));
  Bytes expected = {'H', 'V', 'P', 'A', 'K', '0', '0', '1', 1, 0, 0, 0, 2, 0, 0, 0,
                    1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'a',
                    5, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 'b', '.', 'p', 'n', 'g', 1, 2, 3};
  EXPECT_EQ(out, expected);
}

TEST(ResourcePackTest, RoundTripGivesBackEveryEntryExactly) {
  std::vector<PackEntry> entries;
  for (int i = 0; i < 20; ++i) {
    Bytes data(size_t(i * 37));
    for (size_t k = 0; k < data.size(); ++k) data[k] = uint8_t(k * 7 + i);
    entries.push_back({"icon_" + std::to_string(i) + ".png", data});
  }
  entries.push_back({"Guardar_clip_\xC3\xB1.png", {0, 0, 0}});  // 8-bit names pass through as bytes
  Bytes file;
  ASSERT_TRUE(WritePack(entries, file));
  auto pack = ResourcePack::Parse(file);
  ASSERT_TRUE(pack);
  EXPECT_EQ(pack->Count(), entries.size());
  for (const PackEntry& e : entries) {
    Bytes got{9, 9};
    ASSERT_TRUE(pack->Get(e.name, got)) << e.name;
    EXPECT_EQ(got, e.data) << e.name;
  }

  entries.push_back(entries.front());
  std::string error;
  EXPECT_FALSE(WritePack(entries, file, &error));
  EXPECT_NE(error.find("icon_0.png"), std::string::npos);
}

TEST(ResourcePackTest, LookupIsExactAndCaseSensitive) {
  auto pack = ResourcePack::Parse(SamplePack());
  ASSERT_TRUE(pack);
  Bytes out{1, 2};
  EXPECT_FALSE(pack->Get("shortcuts.png", out));
  EXPECT_FALSE(pack->Get("Shortcuts.png ", out));
  EXPECT_FALSE(pack->Get("Shortcuts", out));
  EXPECT_EQ(out, (Bytes{1, 2}));  // a miss leaves the output alone
  EXPECT_TRUE(pack->Get("Shortcuts.png", out));
  EXPECT_EQ(out, Bytes(40, 0xAB));
  EXPECT_TRUE(pack->Get("Empty.png", out));
  EXPECT_TRUE(out.empty());

  auto empty = ResourcePack::Parse(Header(0));  // loads, answers nothing
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->Get("Save_Clip.png", out));
}

TEST(ResourcePackTest, BadHeaderLoadsNothing) {
  std::string error;
  EXPECT_FALSE(ResourcePack::Parse(Header(0, 2), &error));
  EXPECT_NE(error.find("versión"), std::string::npos);
  const Bytes good = SamplePack();
  for (size_t i = 0; i < 8; ++i) {
    Bytes bad = good;
    bad[i] ^= 0x20;  // e.g. "hVPAK001"
    EXPECT_FALSE(ResourcePack::Parse(bad)) << "magic byte " << i;
  }
}

TEST(ResourcePackTest, ThirdEntryRunningPastTheEndFailsTheWholePack) {
  Bytes b = Header(3);
  Entry(b, "Mic_Capture.png", {1});
  Entry(b, "Save_Path.png", {2});
  Put32(b, 4);
  Put64(b, 10);
  b.insert(b.end(), {'l', 'a', 's', 't', 1, 2, 3});  // 3 of the 10 promised bytes
  std::string error;
  EXPECT_FALSE(ResourcePack::Parse(b, &error));
  EXPECT_NE(error.find("entrada 3"), std::string::npos);
}

TEST(ResourcePackTest, SizesThatWouldWrapAreRefused) {
  // Data sizes near 2^64 make "offset + size" wrap to a small number.
  for (uint64_t size : {std::numeric_limits<uint64_t>::max(), std::numeric_limits<uint64_t>::max() - 12,
                        uint64_t(1) << 63, (uint64_t(1) << 32) + 1}) {
    Bytes b = Header(2);
    Put32(b, 1);
    Put64(b, size);
    b.push_back('a');
    Entry(b, "b", {1, 2, 3});
    EXPECT_FALSE(ResourcePack::Parse(b)) << size;
  }
  for (uint32_t length : {std::numeric_limits<uint32_t>::max(), 0x80000000u, 2u}) {
    Bytes b = Header(1);
    Put32(b, length);
    Put64(b, 0);
    b.push_back('a');
    EXPECT_FALSE(ResourcePack::Parse(b)) << length;
  }
  // A count of four billion over a tiny file must fail quickly, not try to make room for it.
  Bytes b = Header(std::numeric_limits<uint32_t>::max());
  Entry(b, "a", {1});
  EXPECT_FALSE(ResourcePack::Parse(b));
}

TEST(ResourcePackTest, EveryTruncationFailsCleanly) {
  const Bytes full = SamplePack();
  ASSERT_TRUE(ResourcePack::Parse(full));
  for (size_t n = 0; n < full.size(); ++n) {
    // An exact-size copy, so that any read past the end is caught by the address sanitizer.
    Bytes cut(full.begin(), full.begin() + std::ptrdiff_t(n));
    EXPECT_FALSE(ResourcePack::Parse(std::move(cut))) << "cut at " << n;
  }
}

}  // namespace
}  // namespace halvex

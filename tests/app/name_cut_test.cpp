#include "app/name_cut.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace halvex {
namespace {

// "é" is 2 bytes, "語" 3 bytes, "🎮" 4 bytes and a surrogate pair in UTF-16.
const std::string kMixed = "a\xC3\xA9\xE8\xAA\x9E\xF0\x9F\x8E\xAE" "b";

TEST(NameCutTest, CodePointsNeverSplitASequence) {
  EXPECT_EQ(CutToCodePoints(kMixed, 5), kMixed);
  EXPECT_EQ(CutToCodePoints(kMixed, 4), "a\xC3\xA9\xE8\xAA\x9E\xF0\x9F\x8E\xAE");
  EXPECT_EQ(CutToCodePoints(kMixed, 3), "a\xC3\xA9\xE8\xAA\x9E");
  EXPECT_EQ(CutToCodePoints(kMixed, 0), "");
  // A byte limit that falls inside a character drops the whole character.
  EXPECT_EQ(CutToCodePoints(kMixed, 10, 5), "a\xC3\xA9");
  EXPECT_EQ(CutToCodePoints(kMixed, 10, 6), "a\xC3\xA9\xE8\xAA\x9E");
  EXPECT_EQ(CutToCodePoints(kMixed, 3, 100), "a\xC3\xA9\xE8\xAA\x9E");
  for (size_t n = 0; n <= 6; ++n) EXPECT_TRUE(text::IsValidUtf8(CutToCodePoints(kMixed, n, n)));
}

TEST(NameCutTest, Utf16UnitsKeepSurrogatePairsWhole) {
  EXPECT_EQ(CutToUtf16Units(kMixed, 6), kMixed);  // 1 + 1 + 1 + 2 + 1 units
  EXPECT_EQ(CutToUtf16Units(kMixed, 5), "a\xC3\xA9\xE8\xAA\x9E\xF0\x9F\x8E\xAE");
  EXPECT_EQ(CutToUtf16Units(kMixed, 4), "a\xC3\xA9\xE8\xAA\x9E");  // no half of the pair
  EXPECT_EQ(CutToUtf16Units(kMixed, 3), "a\xC3\xA9\xE8\xAA\x9E");
  EXPECT_EQ(CutToUtf16Units(kMixed, 1), "a");
  for (size_t n = 0; n <= 6; ++n) {
    const std::string cut = CutToUtf16Units(kMixed, n);
    EXPECT_TRUE(text::IsValidUtf8(cut));
    EXPECT_LE(text::Utf8ToUtf16(cut).size(), n);
  }
}

}  // namespace
}  // namespace halvex

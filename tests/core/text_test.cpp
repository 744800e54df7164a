#include "core/text.h"

#include <gtest/gtest.h>

namespace halvex::text {
namespace {

TEST(TextTest, RoundTripsAcrossPlanes) {
  const std::string s = "Cañón \xF0\x9F\x8E\xAE juego";  // includes U+1F3AE (a surrogate pair)
  const std::u16string u = Utf8ToUtf16(s);
  EXPECT_EQ(u.size(), 14u);  // 12 BMP units + 2 for the pair
  EXPECT_EQ(u[6], 0xD83C);
  EXPECT_EQ(u[7], 0xDFAE);
  EXPECT_EQ(Utf16ToUtf8(u), s);
  EXPECT_EQ(WideToUtf8(Utf8ToWide(s)), s);
  EXPECT_EQ(Utf32ToUtf8(Utf8ToUtf32(s)), s);
}

TEST(TextTest, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
  EXPECT_EQ(Utf8ToUtf16("\xC3"), (std::u16string{0xFFFD}));           // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF").find(u'/'), std::u16string::npos);  // overlong '/'
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80").front(), 0xFFFD);             // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");  // lone surrogate
}

TEST(TextTest, ValidityAndAsciiCase) {
  EXPECT_TRUE(IsValidUtf8("plain ascii"));
  EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD"));
  EXPECT_TRUE(IsValidUtf8("micr\xC3\xB3" "fono"));
  EXPECT_FALSE(IsValidUtf8("bad \xE9 byte"));
  EXPECT_TRUE(EqualsIgnoreAsciiCase("ClipSettings", "CLIPSETTINGS"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("ClipSetting", "ClipSettings"));
  EXPECT_EQ(AsciiLower("Ñ.EXE"), "Ñ.exe");  // only ASCII letters fold
}

TEST(TextTest, HexDigitsWithoutPaddingInEitherCase) {
  struct Case {
    uint64_t value;
    const char* lower;
    const char* upper;
  };
  const Case cases[] = {
      {0, "0", "0"},
      {0x1, "1", "1"},
      {0x88890003, "88890003", "88890003"},
      {0xDEADBEEF, "deadbeef", "DEADBEEF"},
      {0x00C0FFEE, "c0ffee", "C0FFEE"},
      {0xFFFFFFFFFFFFFFFFull, "ffffffffffffffff", "FFFFFFFFFFFFFFFF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LowerHex(c.value), c.lower) << c.value;
    EXPECT_EQ(UpperHex(c.value), c.upper) << c.value;
  }
}

}  // namespace
}  // namespace halvex::text

#include "core/win/wide_text.h"

#include <gtest/gtest.h>

namespace halvex::text {
namespace {

TEST(WideText, NulTerminatedWideStringsBecomeUtf8) {
  EXPECT_EQ(FromWideZ(nullptr), "");
  EXPECT_EQ(FromWideZ(L""), "");
  EXPECT_EQ(FromWideZ(L"Micr\u00f3fono (USB)"), "Micr\xC3\xB3" "fono (USB)");
  EXPECT_EQ(FromWideZ(L"\U0001F3AE"), "\xF0\x9F\x8E\xAE");  // a surrogate pair
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  EXPECT_EQ(FromWideZ(lone), "a\xEF\xBF\xBD" "b");
  const wchar_t cut[] = {L'x', 0, L'y', 0};
  EXPECT_EQ(FromWideZ(cut), "x");  // ends at the first NUL
}

}  // namespace
}  // namespace halvex::text

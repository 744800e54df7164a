#include "core/win/hresult_text.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace halvex {
namespace {

TEST(HresultText, HresultsAreWrittenInLowercaseHexWithoutPadding) {
  EXPECT_EQ(HrHex(static_cast<HRESULT>(0x88890003)), "88890003");
  EXPECT_EQ(HrHex(static_cast<HRESULT>(0x8000ffff)), "8000ffff");
  EXPECT_EQ(HrHex(S_FALSE), "1");
  EXPECT_EQ(HrHex(S_OK), "0");
  EXPECT_EQ(HrHex(E_POINTER), "80004003");  // negative as a long: the 32-bit code, not sign-extended
}

}  // namespace
}  // namespace halvex

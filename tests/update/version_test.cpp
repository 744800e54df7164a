#include <gtest/gtest.h>

#include <string>

#include "update/version.h"

namespace halvex {
namespace {

constexpr auto kMain = VersionRules::kMainProgram;
constexpr auto kUpdater = VersionRules::kUpdater;

TEST(VersionTest, VersionStringsAreShortRunsOfDigitsAndDots) {
  for (auto rules : {kMain, kUpdater}) {
    EXPECT_TRUE(IsVersionString("2.1.13", rules));
    EXPECT_TRUE(IsVersionString(std::string(32, '9'), rules));
    EXPECT_FALSE(IsVersionString(std::string(33, '9'), rules));
    EXPECT_FALSE(IsVersionString("", rules));
    EXPECT_FALSE(IsVersionString("abc", rules));
    EXPECT_FALSE(IsVersionString("2.1.13-beta", rules));
    EXPECT_FALSE(IsVersionString(" 2.1", rules));
  }
  // Only the main program insists on a digit.
  EXPECT_FALSE(IsVersionString("...", kMain));
  EXPECT_TRUE(IsVersionString("...", kUpdater));
}

TEST(VersionTest, ComponentsCompareAsNumbersWithMissingOnesZero) {
  for (auto rules : {kMain, kUpdater}) {
    EXPECT_EQ(CompareVersions("2.1.13", "2.1.13.1", rules), -1);
    EXPECT_EQ(CompareVersions("2.1.13", "2.1.13.0", rules), 0);
    EXPECT_EQ(CompareVersions("2.1", "2.1.0.0", rules), 0);
    EXPECT_EQ(CompareVersions("2.10", "2.9", rules), 1);
    EXPECT_EQ(CompareVersions("3", "2.99.99", rules), 1);
    EXPECT_EQ(CompareVersions("02.001", "2.1", rules), 0);
    EXPECT_EQ(CompareVersions("", "0.0.1", rules), -1);
    EXPECT_EQ(CompareVersions("2..1", "2.0.1", rules), 0);
    EXPECT_EQ(CompareVersions("2.1a3", "2.13", rules), 0);  // other characters are skipped
  }
}

TEST(VersionTest, HugeComponentsSaturateInsteadOfWrapping) {
  // 2^64 would wrap to 0 in 64 bits and look older than 1.
  EXPECT_EQ(CompareVersions("18446744073709551616", "1", kMain), 1);
  EXPECT_EQ(CompareVersions("99999999999999999999999", "18446744073709551615", kMain), 0);
  EXPECT_EQ(CompareVersions("18446744073709551615", "18446744073709551614", kMain), 1);
  // The updater keeps components only up to 4294967295.
  EXPECT_EQ(CompareVersions("4294967296", "4294967295", kUpdater), 0);
  EXPECT_EQ(CompareVersions("4294967295", "4294967294", kUpdater), 1);
  EXPECT_EQ(CompareVersions("1.99999999999", "1.4294967295.1", kUpdater), -1);
}

}  // namespace
}  // namespace halvex

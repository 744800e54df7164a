// The INI model behind the Linux store: edits touch only their own line.
#include "settings/ini_document.h"

#include <gtest/gtest.h>

#include "settings/profile_rules.h"

namespace halvex::settings {
namespace {

TEST(IniDocumentTest, EditsKeepTheUsersLayout) {
  IniDocument doc = IniDocument::Parse(
      "# my settings\n[A]\n  One = 1   ; not a comment for the system\nTwo=2\n\n[B]\nX=x");
  EXPECT_EQ(doc.Value("A", "one"), "1   ; not a comment for the system");
  EXPECT_TRUE(doc.Set("A", "One", "uno"));
  EXPECT_TRUE(doc.Set("A", "Three", "3"));
  EXPECT_FALSE(doc.Set("B", "x", "x"));  // unchanged value: nothing to write
  EXPECT_EQ(doc.Serialize(),
            "# my settings\n[A]\n  One =uno\nTwo=2\nThree=3\n\n[B]\nX=x\n");
}

TEST(IniDocumentTest, LineBreaksOfAnyKind) {
  IniDocument doc = IniDocument::Parse("\xEF\xBB\xBF[A]\r\nK=1\rL=2\nM=3");
  EXPECT_EQ(doc.Value("A", "K"), "1");
  EXPECT_EQ(doc.Value("A", "L"), "2");
  EXPECT_EQ(doc.Value("A", "M"), "3");
  EXPECT_TRUE(doc.RemoveKey("A", "L"));
  EXPECT_EQ(doc.Serialize(), "\xEF\xBB\xBF[A]\r\nK=1\r\nM=3\r\n");
}

TEST(IniDocumentTest, RemovingASectionTakesItsLines) {
  IniDocument doc = IniDocument::Parse("[A]\nK=1\n[Ex]\nV=1\n\n[B]\nK=2\n[ex]\nW=2\n");
  EXPECT_TRUE(doc.RemoveSection("EX"));
  EXPECT_EQ(doc.Serialize(), "[A]\nK=1\n[B]\nK=2\n");
  EXPECT_FALSE(doc.RemoveSection("Ex"));
}

TEST(ProfileRulesTest, IntegerPrefixesAndLimits) {
  using profile::IntegerFromValue;
  EXPECT_EQ(IntegerFromValue(u"0b101", 9), 5);
  EXPECT_EQ(IntegerFromValue(u"0o17", 9), 15);
  EXPECT_EQ(IntegerFromValue(u"-0x10", 9), -16);
  EXPECT_EQ(IntegerFromValue(u"0x", 9), 0);
  // Only the first 29 units count: the rest did not fit the system's buffer.
  EXPECT_EQ(IntegerFromValue(std::u16string(28, u'0') + u"12", 9), 1);
}

}  // namespace
}  // namespace halvex::settings

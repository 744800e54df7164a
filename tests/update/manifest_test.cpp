#include <gtest/gtest.h>

#include "update/manifest.h"

namespace halvex {
namespace {

const char kManifest[] = R"({
  "updaterVersion": "1.4.0",
  "version" :	"  2.2.0 ",
  "package": "releases\/Halvex-2.2.0.zip",
  "sha256": "ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789",
  "build": 42
})";

TEST(ManifestTest, MainLookupFindsTrimmedStringValues) {
  EXPECT_EQ(FindManifestValue(kManifest, "version"), "2.2.0");
  EXPECT_EQ(FindManifestValue(kManifest, "updaterVersion"), "1.4.0");
  EXPECT_EQ(FindManifestValue(kManifest, "package"), "releases/Halvex-2.2.0.zip");
  EXPECT_EQ(FindManifestValue(kManifest, "build"), "");   // not a string
  EXPECT_EQ(FindManifestValue(kManifest, "Version"), "");  // keys are exact
  EXPECT_EQ(FindManifestValue(kManifest, "missing"), "");
}

TEST(ManifestTest, MainLookupTakesTheCharacterAfterABackslashLiterally) {
  EXPECT_EQ(FindManifestValue(R"({"version":"a\"b\\c\nd"})", "version"), "a\"b\\cnd");
  EXPECT_EQ(FindManifestValue(R"({"version":"2.2)", "version"), "");       // no closing quote
  EXPECT_EQ(FindManifestValue(R"({"version":"2.2\)", "version"), "");      // ends inside an escape
  EXPECT_EQ(FindManifestValue(R"({"version" "2.2"})", "version"), "");     // no colon after the key
  EXPECT_EQ(FindManifestValue(R"({"version":)", "version"), "");
  EXPECT_EQ(FindManifestValue(R"({"version":"   "})", "version"), "");
}

TEST(ManifestTest, UpdaterLookupUnderstandsOnlyJsonLikeEscapes) {
  EXPECT_EQ(FindManifestValueForUpdater(kManifest, "package"), "releases/Halvex-2.2.0.zip");
  EXPECT_EQ(FindManifestValueForUpdater(kManifest, "version"), "  2.2.0 ");  // not trimmed
  EXPECT_EQ(FindManifestValueForUpdater(R"({"k":"\"\/\\\n\r\t"})", "k"), "\"/\\\n\r\t");
  for (const char* bad : {R"({"k":"a\u0041"})", R"({"k":"a\b"})", R"({"k":"a\x"})", R"({"k":"a\)"})
    EXPECT_EQ(FindManifestValueForUpdater(bad, "k"), "") << bad;
  EXPECT_EQ(FindManifestValueForUpdater(kManifest, "build"), "");
}

}  // namespace
}  // namespace halvex

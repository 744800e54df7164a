// Lookup and write rules of the platform's store. On Linux this checks the INI store; under Wine
// the same expectations check the system's private-profile functions, which the INI store copies.
#include <algorithm>
#include <sstream>
#include <vector>

#include "core/log.h"
#include "settings/settings.h"
#include "settings/settings_test_util.h"

namespace halvex::settings {
namespace {

using testing::StoreTest;

// The file's non-blank lines with their line breaks and surrounding blanks removed.
std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> out;
  std::string line;
  std::istringstream in(bytes);
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

using ProfileStoreTest = StoreTest;

TEST_F(ProfileStoreTest, MissingFileReadsAsEmpty) {
  EXPECT_EQ(Get("ClipSettings", "SaveRoot", "def"), "def");
  EXPECT_EQ(store_->GetInt("ClipSettings", "DurationSeconds", 30), 30);
  EXPECT_FALSE(std::filesystem::exists(file_));  // reading never creates the file
}

TEST_F(ProfileStoreTest, LookupIgnoresCaseAndBlanksAndTakesTheFirstMatch) {
  WriteFile(
      "top=level\n"
      "  [ ClipSettings ]  \n"
      "  SaveRoot   =   C:\\Clips  \n"
      "saveroot=second\n"
      "Bare\n"
      "Empty=\n"
      "[clipsettings]\n"
      "Other=from the second copy\n"
      "[Broken\n"
      "[Video]\n"
      "K=v=w\n");
  EXPECT_EQ(Get("CLIPSETTINGS", "saveROOT"), "C:\\Clips");
  EXPECT_EQ(Get(" ClipSettings ", " SaveRoot "), "C:\\Clips");  // the request is trimmed too
  EXPECT_EQ(Get("ClipSettings", "Bare"), "<none>");   // a line without "=" has no value
  EXPECT_EQ(Get("ClipSettings", "Empty"), "");        // an empty value is a value
  EXPECT_EQ(Get("ClipSettings", "Other"), "<none>");  // only the first copy of a section counts
  EXPECT_EQ(Get("Video", "K"), "v=w");                // the name ends at the first "="
  EXPECT_EQ(Get("Broken", "x"), "<none>");
  EXPECT_EQ(Get("", "top"), "level");  // lines before any header form the nameless section
}

TEST_F(ProfileStoreTest, QuotesAndTruncation) {
  WriteFile(
      "[S]\n"
      "Double=\"  spaced  \"\n"
      "Single='x'\n"
      "Mixed=\"x'\n"
      "Lone=\"\n"
      "Long=abcdefghij\n"
      "LongQuoted=\"abcdefghij\"\n");
  EXPECT_EQ(Get("S", "Double"), "  spaced  ");
  EXPECT_EQ(Get("S", "Single"), "x");
  EXPECT_EQ(Get("S", "Mixed"), "\"x'");
  EXPECT_EQ(Get("S", "Lone"), "\"");
  EXPECT_EQ(Get("S", "Long", "", 4), "abcd");
  EXPECT_EQ(Get("S", "LongQuoted", "", 4), "abcd");
  EXPECT_EQ(Get("S", "LongQuoted", "", 20), "abcdefghij");
  EXPECT_EQ(Get("S", "Missing", "fallback   ", 20), "fallback");  // trailing spaces dropped
  EXPECT_EQ(Get("S", "Missing", "fallback", 3), "fal");
}

TEST_F(ProfileStoreTest, IntegersReadLikeTheSystem) {
  WriteFile(
      "[N]\nPlain=42\nLead=  -5\nTail=60fps\nHex=0x10\nWord=abc\nEmpty=\nPlus=+7\n"
      "Huge=4294967297\n");
  EXPECT_EQ(store_->GetInt("N", "Plain", 1), 42);
  EXPECT_EQ(store_->GetInt("N", "Lead", 1), -5);
  EXPECT_EQ(store_->GetInt("N", "Tail", 1), 60);
  EXPECT_EQ(store_->GetInt("N", "Hex", 1), 16);
  EXPECT_EQ(store_->GetInt("N", "Word", 1), 0);
  EXPECT_EQ(store_->GetInt("N", "Empty", 7), 7);
  EXPECT_EQ(store_->GetInt("N", "Plus", 1), 7);
  EXPECT_EQ(store_->GetInt("N", "Huge", 1), 1);  // 32-bit accumulator wraps
  EXPECT_EQ(store_->GetInt("N", "Missing", -3), -3);
}

TEST_F(ProfileStoreTest, WritesReplaceInPlaceAndAppendAtTheEndOfTheSection) {
  WriteFile("; keep me\r\n[A]\r\nOne=1\r\nTwo=2\r\n[B]\r\nX=x\r\n");
  ASSERT_TRUE(store_->WriteString("a", "one", "uno"));
  ASSERT_TRUE(store_->WriteString("A", "Three", "   3"));  // leading blanks are dropped
  ASSERT_TRUE(store_->WriteString("C", "New", "nuevo"));
  EXPECT_EQ(Lines(testing::ReadBytes(file_)),
            (std::vector<std::string>{"; keep me", "[A]", "One=uno", "Two=2", "Three=3", "[B]",
                                      "X=x", "[C]", "New=nuevo"}));
  EXPECT_EQ(Get("A", "One"), "uno");
  EXPECT_EQ(Get("C", "New"), "nuevo");
}

TEST_F(ProfileStoreTest, WriteCreatesTheFile) {
  ASSERT_TRUE(store_->WriteString("ClipSettings", "DurationSeconds", "45"));
  EXPECT_EQ(store_->GetInt("ClipSettings", "DurationSeconds", 30), 45);
  ASSERT_TRUE(store_->WriteString("ClipSettings", "DurationSeconds", "60"));
  EXPECT_EQ(store_->GetInt("ClipSettings", "DurationSeconds", 30), 60);
}

TEST_F(ProfileStoreTest, DeletesKeysAndEverySectionCopy) {
  WriteFile("[Ex]\nVideo0=a.exe\nVideo1=b.exe\n[Keep]\nK=1\n[EX]\nVideo0=stale.exe\n");
  ASSERT_TRUE(store_->DeleteKey("Ex", "VIDEO0"));
  EXPECT_EQ(Get("Ex", "Video0"), "<none>");
  EXPECT_EQ(Get("Ex", "Video1"), "b.exe");
  ASSERT_TRUE(store_->DeleteSection("ex"));
  // The second copy must not come to light once the first is gone.
  EXPECT_EQ(Get("Ex", "Video0"), "<none>");
  EXPECT_EQ(Get("Ex", "Video1"), "<none>");
  EXPECT_EQ(Get("Keep", "K"), "1");
  EXPECT_TRUE(store_->DeleteSection("NotThere"));
}

TEST_F(ProfileStoreTest, RefusesWritesThatWouldBreakTheFile) {
  WriteFile("[Shortcuts]\nSaveClip=119\n");
  const std::string before = testing::ReadBytes(file_);
  {
    log::Capture capture;
    EXPECT_FALSE(store_->WriteString("ClipSettings", "SaveRoot", "x\n[Shortcuts]\nSaveClip=27"));
    EXPECT_FALSE(store_->WriteString("ClipSettings", "Save=Root", "x"));
    EXPECT_FALSE(store_->WriteString("Clip\nSettings", "SaveRoot", "x"));
    EXPECT_TRUE(capture.Contains("AVISO: "));
  }
  EXPECT_EQ(testing::ReadBytes(file_), before);
  EXPECT_EQ(Get("Shortcuts", "SaveClip"), "119");
}

TEST_F(ProfileStoreTest, NonAsciiTextRoundTripsInANewFile) {
  // A new file is UTF-8 on Linux and UTF-16 (with its mark) on Windows, so any text survives.
  const std::string folder = "C:\\Vídeos\\Cañón \xE6\x98\xA0\xE5\x83\x8F \xF0\x9F\x8E\xAE";
  ASSERT_TRUE(WriteSaveRoot(folder, *store_));
  EXPECT_EQ(ReadSaveRoot(*store_), folder);
  ASSERT_TRUE(store_->WriteString("ClipSettings", "DurationSeconds", "60"));
  EXPECT_EQ(ReadSaveRoot(*store_), folder);
}

TEST_F(ProfileStoreTest, ReadsAndEditsUtf16Files) {
  // What the Windows build creates; a user may carry it over to Linux.
  const std::u16string content =
      u"\uFEFF[ClipSettings]\r\nSaveRoot=C:\\V\u00EDdeos\r\nDurationSeconds=45\r\n";
  std::string bytes;
  for (char16_t c : content) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  WriteFile(bytes);
  EXPECT_EQ(ReadSaveRoot(*store_), "C:\\V\xC3\xAD" "deos");
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 45);
  ASSERT_TRUE(store_->WriteString("VideoQuality", "FPS", "30"));
  EXPECT_EQ(ReadSaveRoot(*store_), "C:\\V\xC3\xAD" "deos");
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 45);
  EXPECT_EQ(ReadVideoQualitySettings(*store_).fps, 30);
}

TEST_F(ProfileStoreTest, MalformedFilesReadWithoutCrashing) {
  // Not UTF-8, a 100 KB line, a NUL byte and no final newline.
  std::string bytes = "\xC3\x28\xA0\xA1 junk\n[ClipSettings]\nDurationSeconds=\xE9\xE9\n";
  bytes += std::string(100 * 1024, 'x') + "\n";
  bytes += "SaveRoot=" + std::string(100 * 1024, 'a') + "\n";
  bytes += std::string("Nul=a\0b\n", 8);
  bytes += "[VideoQuality]\nFPS=30";
  WriteFile(bytes);
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 30);
  EXPECT_EQ(ReadSaveRoot(*store_), std::string(32767, 'a'));
  EXPECT_EQ(Get("ClipSettings", "Nul"), "a");
  EXPECT_EQ(ReadVideoQualitySettings(*store_).fps, 30);
  // A write keeps the rest of such a file readable.
  ASSERT_TRUE(store_->WriteString("VideoQuality", "FPS", "120"));
  EXPECT_EQ(ReadVideoQualitySettings(*store_).fps, 120);
  EXPECT_EQ(ReadSaveRoot(*store_), std::string(32767, 'a'));
}

}  // namespace
}  // namespace halvex::settings

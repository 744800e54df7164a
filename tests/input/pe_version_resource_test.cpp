#include "input/pe_version_resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "input/pe_image_builder.h"

namespace halvex::pe {
namespace {

using namespace testing;

std::optional<std::string> NameOf(const Bytes& image) { return VersionNameFromImage(image); }

TEST(PeVersionResourceTest, TranslationOrderProductNameThenFileDescription) {
  // Empty ProductName under 0409/04B0: the FileDescription gives the name.
  EXPECT_EQ(NameOf(Image(VersionInfo(
                {{u"040904B0", {{u"ProductName", u""}, {u"FileDescription", u"My Game"}}}},
                {{0x0409, 0x04B0}}))),
            "My Game");
  EXPECT_EQ(NameOf(Image(VersionInfo(
                {{u"040904b0", {{u"FileDescription", u"Desc"}, {u"ProductName", u"Product"}}}},
                {{0x0409, 0x04B0}}))),
            "Product");
  // The first translation without any name gives way to the second.
  EXPECT_EQ(NameOf(Image(VersionInfo({{u"040704B0", {{u"CompanyName", u"X"}}},
                                      {u"041D04B0", {{u"FileDescription", u"Spel"}}}},
                                     {{0x0407, 0x04B0}, {0x041D, 0x04B0}}))),
            "Spel");
  EXPECT_EQ(NameOf(Image(VersionInfo({{u"040904B0", {{u"ProductName", u"Juego ñ ☃"}}}},
                                     {{0x0409, 0x04B0}}), /*pe32=*/true)),
            "Juego ñ ☃");
}

TEST(PeVersionResourceTest, FallbackCodePagesTryProductNameOnly) {
  // No translation table: 040904B0, then 041D04B0, then 000004B0.
  EXPECT_EQ(NameOf(Image(VersionInfo({{u"000004B0", {{u"ProductName", u"Neutral"}}},
                                      {u"041D04B0", {{u"ProductName", u"Svensk"}}}},
                                     {}, /*withTranslation=*/false))),
            "Svensk");
  EXPECT_EQ(NameOf(Image(VersionInfo({{u"000004B0", {{u"ProductName", u"Neutral"}}}}, {}, false))),
            "Neutral");
  EXPECT_EQ(NameOf(Image(VersionInfo({{u"040904B0", {{u"FileDescription", u"Only desc"}}}}, {},
                                     false))),
            std::nullopt);
  // A translation that names no table still falls back.
  EXPECT_EQ(NameOf(Image(VersionInfo({{u"040904B0", {{u"ProductName", u"Fallback"}}}},
                                     {{0x0C0A, 0x04E4}}))),
            "Fallback");
  EXPECT_EQ(NameOf(Image(VersionInfo({{u"0C0A04E4", {{u"ProductName", u"\u0000x"}}}},
                                     {{0x0C0A, 0x04E4}}))),
            std::nullopt);  // begins with a zero unit
}

TEST(PeVersionResourceTest, NoVersionResourceOrNotAnImage) {
  EXPECT_EQ(NameOf(Image(std::nullopt)), std::nullopt);
  EXPECT_EQ(NameOf({}), std::nullopt);
  EXPECT_EQ(NameOf(Bytes(4096, 0)), std::nullopt);
  Bytes text(600, 'A');
  text[0] = 'M';
  text[1] = 'Z';
  EXPECT_EQ(NameOf(text), std::nullopt);
}

const Bytes& Good() {
  static const Bytes image = Image(VersionInfo(
      {{u"040904B0", {{u"ProductName", u"My Game"}}}}, {{0x0409, 0x04B0}}));
  return image;
}

TEST(PeVersionResourceTest, EveryTruncationHasNoName) {
  ASSERT_EQ(NameOf(Good()), "My Game");
  for (size_t size = 0; size < Good().size(); ++size) {
    const Bytes cut(Good().begin(), Good().begin() + size);
    EXPECT_EQ(NameOf(cut), std::nullopt) << size;
  }
}

TEST(PeVersionResourceTest, CorruptStructuresHaveNoNameAndNeverReadOutside) {
  const size_t rsrc = kResourceFileOffset;
  const auto with = [](size_t at, uint32_t value, int width = 4) {
    Bytes b = Good();
    width == 4 ? Put32(b, at, value) : Put16(b, at, value);
    return b;
  };
  EXPECT_EQ(NameOf(with(0x3C, 0xFFFFFFF0u)), std::nullopt);              // PE header beyond
  EXPECT_EQ(NameOf(with(0x46, 0, 2)), std::nullopt);                     // no sections
  EXPECT_EQ(NameOf(with(0x46, 60000, 2)), std::nullopt);                 // absurd section count
  EXPECT_EQ(NameOf(with(kSectionTable + 20, 0xFFFFFF00u)), std::nullopt);  // raw data beyond
  // An overstated section size is harmless: every read is still checked against the file.
  EXPECT_EQ(NameOf(with(kSectionTable + 16, 0xFFFFFFFFu)), "My Game");
  EXPECT_EQ(NameOf(with(kSectionTable + 20, 0xFFFFFFF0u)), std::nullopt);  // raw data at the end
  EXPECT_EQ(NameOf(with(rsrc + 0x0E, 0xFFFF, 2)), std::nullopt);          // entries beyond
  EXPECT_EQ(NameOf(with(rsrc + 0x14, 0x80000000u | 0x7FFFFFF0u)), std::nullopt);
  EXPECT_EQ(NameOf(with(rsrc + 0x14, 0x18)), std::nullopt);  // type entry is not a directory
  EXPECT_EQ(NameOf(with(rsrc + 0x48, 0xFFFFFFF0u)), std::nullopt);  // data RVA nowhere
  EXPECT_EQ(NameOf(with(rsrc + 0x4C, 0x7FFFFFFFu)), std::nullopt);  // data size beyond
  EXPECT_EQ(NameOf(with(rsrc + 0x58, 0xFFFF, 2)), std::nullopt);    // root length beyond data

  // A self-pointing subdirectory only ever descends three levels.
  EXPECT_EQ(NameOf(with(rsrc + 0x30 + 0x14, 0x80000000u | 0x30)), std::nullopt);

  // A child of length zero ends the walk instead of looping on it.
  Bytes zeroChild = Good();
  const size_t firstChild = rsrc + 0x58 + 0x5C;  // after the root's key and fixed info
  Put16(zeroChild, firstChild, 0);
  EXPECT_EQ(NameOf(zeroChild), std::nullopt);

  // A key without terminator inside its node.
  Bytes noTerminator = Good();
  for (size_t i = rsrc + 0x58 + 6; i < noTerminator.size(); ++i) noTerminator[i] = 'A';
  EXPECT_EQ(NameOf(noTerminator), std::nullopt);
}

TEST(PeVersionResourceTest, OverstatedValueLengthIsCutAtTheNode) {
  Bytes info = VersionInfo({{u"040904B0", {{u"ProductName", u"Game"}}}}, {{0x0409, 0x04B0}});
  // The ProductName node sits at the end of the string table; claim a value of 1000 units.
  const std::u16string key = u"ProductName";
  for (size_t i = 0; i + 2 * key.size() < info.size(); ++i) {
    if (info[i] == 'P' && info[i + 2] == 'r' && info[i + 4] == 'o' && info[i + 6] == 'd') {
      Put16(info, i - 4, 1000);
      break;
    }
  }
  EXPECT_EQ(NameOf(Image(info)), "Game");
}

TEST(PeVersionResourceTest, EverySingleByteCorruptionIsSafe) {
  // Bytes of the DOS stub that no reader looks at keep the name; nothing may crash elsewhere.
  for (size_t at = 0; at < Good().size(); ++at) {
    for (const uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) {
      Bytes b = Good();
      b[at] = value;
      const auto name = NameOf(b);
      if (at >= 2 && at < 0x3C) {
        EXPECT_EQ(name, "My Game") << at;
      }
    }
  }
}

TEST(PeVersionResourceTest, ReadsFromFile) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("halvex_pe_test_" + std::to_string(::testing::UnitTest::GetInstance()
                                                            ->random_seed()) + ".exe");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Good().data()), Good().size());
  }
  EXPECT_EQ(VersionNameFromFile(path), "My Game");
  std::filesystem::remove(path);
  EXPECT_EQ(VersionNameFromFile(path), std::nullopt);
  EXPECT_EQ(VersionNameFromFile(std::filesystem::temp_directory_path()), std::nullopt);
}

#ifdef HALVEX_SAMPLE_EXE
// An executable linked by the mingw-w64 tools from a resource script with a VERSIONINFO block.
TEST(PeVersionResourceTest, ReadsExecutableBuiltByTheResourceCompiler) {
  EXPECT_EQ(VersionNameFromFile(HALVEX_SAMPLE_EXE), "Halvex Sample Game");
}
#endif

}  // namespace
}  // namespace halvex::pe

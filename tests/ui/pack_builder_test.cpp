#include <gtest/gtest.h>

#include "pack_sources.h"
#include "temp_folder.h"
#include "ui/resource_pack.h"

namespace halvex {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

Bytes Png(uint8_t fill, size_t extra) {
  Bytes b{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  b.insert(b.end(), extra, fill);
  return b;
}

TEST(PackBuilderTest, FolderRoundTripsThroughTheReader) {
  TempFolder in;
  WriteBytes(in / "Save_Clip.png", Png(1, 100));
  WriteBytes(in / "Open_Menu.PNG", Png(2, 3));
  TempFolder more;
  WriteBytes(more / "Shortcuts.png", Png(3, 0));

  TempFolder out;
  size_t count = 0;
  std::string error;
  ASSERT_TRUE(tools::BuildPackFile({in.path(), more / "Shortcuts.png"}, out / "Halvex.pak", count, error))
      << error;
  EXPECT_EQ(count, 3u);
  EXPECT_FALSE(std::filesystem::exists(out / "Halvex.pak.tmp"));

  auto pack = ResourcePack::Parse(ReadBytes(out / "Halvex.pak"));
  ASSERT_TRUE(pack);
  EXPECT_EQ(pack->Count(), 3u);
  Bytes got;
  ASSERT_TRUE(pack->Get("Save_Clip.png", got));
  EXPECT_EQ(got, Png(1, 100));
  ASSERT_TRUE(pack->Get("Open_Menu.PNG", got));
  EXPECT_EQ(got, Png(2, 3));
  ASSERT_TRUE(pack->Get("Shortcuts.png", got));
  EXPECT_EQ(got, Png(3, 0));
}

TEST(PackBuilderTest, RefusalsNameTheCulpritAndKeepTheOldPack) {
  TempFolder out;
  const Bytes old = {'o', 'l', 'd'};
  WriteBytes(out / "Halvex.pak", old);
  auto refuse = [&](const std::vector<std::filesystem::path>& inputs, const std::string& culprit) {
    size_t count = 0;
    std::string error;
    EXPECT_FALSE(tools::BuildPackFile(inputs, out / "Halvex.pak", count, error));
    EXPECT_NE(error.find(culprit), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(out / "Halvex.pak"), old);
  };

  TempFolder text;
  WriteBytes(text / "Save_Clip.png", Png(1, 1));
  WriteBytes(text / "notas.txt", {'h', 'o', 'l', 'a'});
  refuse({text.path()}, "notas.txt");

  TempFolder fake;
  WriteBytes(fake / "Fake.png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0});
  refuse({fake.path()}, "Fake.png");

  TempFolder one, two;
  WriteBytes(one / "Mic_Capture.png", Png(1, 1));
  WriteBytes(two / "Mic_Capture.png", Png(2, 1));
  refuse({one.path(), two.path()}, "Mic_Capture.png");

  TempFolder nested;
  std::filesystem::create_directory(nested / "sub");
  refuse({nested.path()}, "sub");
  refuse({one / "missing.png"}, "missing.png");
}

}  // namespace
}  // namespace halvex

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/log.h"
#include "temp_folder.h"
#include "ui/pack_loader.h"
#include "ui/pack_location.h"
#include "ui/pack_writer.h"

namespace halvex {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::TempFolder;
using testing::WriteBytes;

Bytes TwoIconPack() {
  Bytes file;
  EXPECT_TRUE(WritePack({{"Save_Clip.png", {1, 2, 3}}, {"Open_Menu.png", {4, 5}}}, file));
  return file;
}

TEST(PackLocationTest, PackSitsBesideTheModuleByEachPlatformsSeparators) {
  const auto w = PathStyle::kWindows;
  const auto p = PathStyle::kPosix;
  EXPECT_EQ(PackPathForModule("C:\\Program Files\\Halvex\\Halvex.exe", w),
            "C:\\Program Files\\Halvex\\Halvex.pak");
  EXPECT_EQ(PackPathForModule("C:\\Juegos\\bin/Halvex.exe", w), "C:\\Juegos\\bin\\Halvex.pak");
  EXPECT_EQ(PackPathForModule("C:\\Halvex.exe", w), "C:\\Halvex.pak");
  EXPECT_EQ(PackPathForModule("Halvex.exe", w), ".\\Halvex.pak");
  EXPECT_EQ(PackPathForModule("/opt/halvex/halvex", p), "/opt/halvex/Halvex.pak");
  EXPECT_EQ(PackPathForModule("/home/a\\b/halvex", p), "/home/a\\b/Halvex.pak");
  EXPECT_EQ(PackPathForModule("halvex", p), "./Halvex.pak");
}

TEST(PackLoaderTest, DamagedOrEmptyFilesAreRefusedWithAWarning) {
  TempFolder dir;
  Bytes damaged = TwoIconPack();
  damaged.resize(damaged.size() - 1);
  WriteBytes(dir / "damaged.pak", damaged);
  WriteBytes(dir / "empty.pak", {});

  log::Capture capture;
  EXPECT_FALSE(LoadResourcePackFile(dir / "damaged.pak"));
  EXPECT_FALSE(LoadResourcePackFile(dir / "empty.pak"));
  EXPECT_FALSE(LoadResourcePackFile(dir / "missing.pak"));
  EXPECT_FALSE(LoadResourcePackFile(dir.path()));  // a folder is not a pack
  EXPECT_GE(capture.Count("AVISO: no se pudo cargar el paquete de recursos"), 4u);
  EXPECT_TRUE(capture.Contains("damaged.pak"));

  WriteBytes(dir / "good.pak", TwoIconPack());
  auto pack = LoadResourcePackFile(dir / "good.pak");
  ASSERT_TRUE(pack);
  Bytes out;
  EXPECT_TRUE(pack->Get("Open_Menu.png", out));
  EXPECT_EQ(out, (Bytes{4, 5}));
}

TEST(PackLoaderTest, FailedLoadIsRememberedAndTheFileNotReadAgain) {
  TempFolder dir;
  std::atomic<int> locates{0};
  LazyResourcePack pack([&]() -> std::optional<std::filesystem::path> {
    ++locates;
    return dir / "Halvex.pak";
  });
  log::Capture capture;
  Bytes out;
  EXPECT_FALSE(pack.Get("Save_Clip.png", out));
  WriteBytes(dir / "Halvex.pak", TwoIconPack());  // appears too late
  EXPECT_FALSE(pack.Get("Save_Clip.png", out));
  EXPECT_EQ(locates, 1);
  EXPECT_EQ(capture.Count("AVISO:"), 1u);
}

TEST(PackLoaderTest, ConcurrentFirstRequestsLoadOnce) {
  TempFolder dir;
  WriteBytes(dir / "Halvex.pak", TwoIconPack());
  std::atomic<int> locates{0};
  LazyResourcePack pack([&]() -> std::optional<std::filesystem::path> {
    ++locates;
    return dir / "Halvex.pak";
  });
  std::atomic<int> hits{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      Bytes out;
      if (pack.Get("Save_Clip.png", out) && out == Bytes{1, 2, 3}) ++hits;
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(hits, 8);
  EXPECT_EQ(locates, 1);
}

// The one test that touches the process-wide pack: it puts a real Halvex.pak beside this binary.
TEST(PackLoaderTest, ProgramPackIsReadFromBesideTheExecutable) {
  const std::optional<std::filesystem::path> path = ResourcePackPath();
  ASSERT_TRUE(path);
  EXPECT_EQ(path->filename(), "Halvex.pak");
  EXPECT_TRUE(std::filesystem::exists(path->parent_path() / "halvex_ui_tests") ||
              std::filesystem::exists(path->parent_path() / "halvex_ui_tests.exe"))
      << path->string();

  WriteBytes(*path, TwoIconPack());
  Bytes out;
  const bool found = GetResource("Save_Clip.png", out);
  std::filesystem::remove(*path);
  ASSERT_TRUE(found);
  EXPECT_EQ(out, (Bytes{1, 2, 3}));
  // Held in memory: the file is gone, the answers stay.
  EXPECT_TRUE(GetResource("Open_Menu.png", out));
  EXPECT_EQ(out, (Bytes{4, 5}));
  EXPECT_FALSE(GetResource("open_menu.png", out));
}

}  // namespace
}  // namespace halvex

#include "app/save_path.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "core/log.h"
#include "core/text.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

std::string U8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::string Repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A fresh folder of its own for each test, removed afterwards.
class SavePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("halvex-save-path-" + std::to_string(tick));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST(SanitizeFolderNameTest, ReplacesForbiddenAndControlCharacters) {
  EXPECT_EQ(SanitizeFolderName("Space: Odyssey"), "Space- Odyssey");
  EXPECT_EQ(SanitizeFolderName("a\"b*c/d:e<f>g?h\\i|j"), "a-b-c-d-e-f-g-h-i-j");
  EXPECT_EQ(SanitizeFolderName("A\tB\x01" "C\x7F"), "A_B_C\x7F");
  // Replacement comes before the emptiness check: a lone control character is not "Juego".
  EXPECT_EQ(SanitizeFolderName("\x1F"), "_");
  // No way out of the save root.
  EXPECT_EQ(SanitizeFolderName("..\\..\\Windows"), "-..-Windows");
  EXPECT_EQ(SanitizeFolderName("../../etc"), "-..-etc");
  // Non-ASCII text is kept; broken UTF-8 becomes valid text rather than a broken file name.
  EXPECT_EQ(SanitizeFolderName("Caf\xC3\xA9: \xC3\x91" "and\xC3\xBA \xE6\x9D\xB1\xE6\x96\xB9"),
            "Caf\xC3\xA9- \xC3\x91" "and\xC3\xBA \xE6\x9D\xB1\xE6\x96\xB9");
  EXPECT_EQ(SanitizeFolderName("Bad\xFF"), "Bad\xEF\xBF\xBD");
}

TEST(SanitizeFolderNameTest, TrimsDotsAndSpacesAndFallsBack) {
  EXPECT_EQ(SanitizeFolderName(""), "Juego");
  EXPECT_EQ(SanitizeFolderName("..."), "Juego");
  EXPECT_EQ(SanitizeFolderName(" . . "), "Juego");
  EXPECT_EQ(SanitizeFolderName("  .Half-Life 2. "), "Half-Life 2");
  EXPECT_EQ(SanitizeFolderName("A. B"), "A. B");
}

TEST(SanitizeFolderNameTest, ReservedDeviceNamesGetASuffix) {
  EXPECT_EQ(SanitizeFolderName("Lpt1"), "Lpt1 - Juego");
  EXPECT_EQ(SanitizeFolderName("con"), "con - Juego");
  EXPECT_EQ(SanitizeFolderName(" NUL. "), "NUL - Juego");  // trimmed first, then compared
  EXPECT_EQ(SanitizeFolderName("COM9"), "COM9 - Juego");
  for (const char* kept : {"COM10", "COM0", "LPT", "CONSOLE", "AUX1", "PRN2"})
    EXPECT_EQ(SanitizeFolderName(kept), kept);
}

TEST(SanitizeFolderNameTest, CutsTo180CharactersWholly) {
  EXPECT_EQ(SanitizeFolderName(Repeat("a", 200)), Repeat("a", 180));
  // The cut comes last: a space it leaves at the end stays.
  EXPECT_EQ(SanitizeFolderName(Repeat("a", 179) + " tail"), Repeat("a", 179) + " ");
  // Two-byte characters across the cut: 180 characters, not 180 bytes, and none split.
  const std::string cut = SanitizeFolderName(Repeat("a", 170) + Repeat("\xC3\xA9", 30));
  EXPECT_EQ(cut, Repeat("a", 170) + Repeat("\xC3\xA9", 10));

  // A character outside the BMP at the 180th place: one UTF-16 pair too many on Windows.
  const std::string pad = Repeat("a", 179);
  const std::string game = "\xF0\x9F\x8E\xAE";
#ifdef _WIN32
  EXPECT_EQ(SanitizeFolderName(pad + game + "zz"), pad);
  // 100 CJK characters are 100 UTF-16 units: nothing to cut.
  EXPECT_EQ(SanitizeFolderName(Repeat("\xE8\xAA\x9E", 100)), Repeat("\xE8\xAA\x9E", 100));
#else
  EXPECT_EQ(SanitizeFolderName(pad + game + "zz"), pad + game);
  // Code points, but no more bytes than a file name may hold (255).
  EXPECT_EQ(SanitizeFolderName(Repeat("\xE8\xAA\x9E", 100)), Repeat("\xE8\xAA\x9E", 85));
#endif
}

TEST_F(SavePathTest, CreatesTheGameFolderAndItsParents) {
  const fs::path root = dir_ / "Mis clips" / "nuevos";
  const fs::path file = "clip_2026-03-01_18-04-59.mp4";
  fs::path path = "stale";
  std::string error = "stale";
  ASSERT_TRUE(PrepareSavePath(root, "Space: Odyssey", file, path, error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(path, root / "Space- Odyssey" / file);
  EXPECT_TRUE(fs::is_directory(root / "Space- Odyssey"));
  EXPECT_FALSE(fs::exists(path));  // the folder only; the clip is written later

  // Again, with the folder already there and the root ending in a separator.
  fs::path again;
  const fs::path slashed = root.native() + fs::path::preferred_separator;
  ASSERT_TRUE(PrepareSavePath(slashed, "Space: Odyssey", file, again, error));
  EXPECT_TRUE(fs::equivalent(again.parent_path(), path.parent_path()));
  const std::string doubled(2, static_cast<char>(fs::path::preferred_separator));
  EXPECT_EQ(U8(again).find(doubled), std::string::npos) << U8(again);
}

TEST_F(SavePathTest, NonAsciiGameNamesReachTheDiskIntact) {
  const std::string game = "Caf\xC3\xA9 \xC3\x91" "and\xC3\xBA: \xE6\x9D\xB1\xE6\x96\xB9 \xF0\x9F\x8E\xAE";
  const std::string expected = "Caf\xC3\xA9 \xC3\x91" "and\xC3\xBA- \xE6\x9D\xB1\xE6\x96\xB9 \xF0\x9F\x8E\xAE";
  fs::path path;
  std::string error;
  ASSERT_TRUE(PrepareSavePath(dir_, game, "clip.mkv", path, error)) << error;
  int folders = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    ++folders;
    EXPECT_EQ(U8(entry.path().filename()), expected);
  }
  EXPECT_EQ(folders, 1);
  EXPECT_EQ(U8(path.parent_path().filename()), expected);
}

TEST_F(SavePathTest, EmptyRootMeansTheCurrentDirectoryWithoutAFolder) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  fs::path path;
  std::string error = "stale";
  const bool ok = PrepareSavePath(fs::path(), "Space: Odyssey", "clip_1.mp4", path, error);
  const bool untouched = fs::is_empty(dir_);
  fs::current_path(previous);
  ASSERT_TRUE(ok);
  EXPECT_EQ(error, "");
  EXPECT_EQ(path, fs::path("clip_1.mp4"));
  EXPECT_TRUE(untouched);
}

TEST_F(SavePathTest, AFolderThatCannotBeCreatedIsReported) {
  const fs::path file = dir_ / "ocupado";
  std::ofstream(file) << "x";
  fs::path path = "stale";
  std::string error;

  // The text names the folder, then the system's reason in parentheses.
  auto expectReported = [&](const fs::path& folder) {
    const std::string prefix = "No se pudo crear la carpeta del juego: " + U8(folder) + " (";
    EXPECT_EQ(error.substr(0, prefix.size()), prefix) << error;
    EXPECT_GT(error.size(), prefix.size() + 1) << "no reason given: " << error;
    EXPECT_EQ(error.back(), ')') << error;
  };

  // Below a regular file no folder can exist.
  const fs::path underFile = file / "clips";
  EXPECT_FALSE(PrepareSavePath(underFile, "Juego: 2", "clip.mp4", path, error));
  expectReported(underFile / "Juego- 2");
  EXPECT_TRUE(path.empty());

  // The game's folder name is taken by a file.
  EXPECT_FALSE(PrepareSavePath(dir_, "ocupado", "clip.mp4", path, error));
  expectReported(dir_ / "ocupado");

  // A later success clears the error.
  EXPECT_TRUE(PrepareSavePath(dir_, "libre", "clip.mp4", path, error));
  EXPECT_EQ(error, "");

#ifdef _WIN32
  std::optional<fs::path> missing;
  for (char letter = 'Q'; letter <= 'Y' && !missing; ++letter) {
    std::error_code ec;
    const fs::path drive = std::string(1, letter) + ":\\";
    if (!fs::exists(drive, ec)) missing = drive / "Clips";
  }
  ASSERT_TRUE(missing.has_value());
  EXPECT_FALSE(PrepareSavePath(*missing, "Space: Odyssey", "clip.mp4", path, error));
  expectReported(*missing / "Space- Odyssey");
#endif
}

// A save root is a folder on this machine: an address or another system's path is refused before
// anything is created or handed to FFmpeg.
TEST_F(SavePathTest, RootsThatAreNoLocalFolderAreRefused) {
  struct Case {
    const char* root;
    bool refused;
  };
  const Case cases[] = {
      {"http://host/x", true},
      {"https://host/clips", true},
      {"ftp://10.0.0.1/clips", true},
      {"smb+tcp://share/clips", true},
#ifdef _WIN32
      {"C:\\Clips", false},
      {"C://Clips", false},  // one letter: a drive, not a scheme
      {"\\\\server\\share\\Clips", false},
      {"Clips", false},
#else
      {"/srv/clips", false},
      {"/srv/http://odd-but-local", false},
      {"C:\\Clips", true},
      {"c:/Clips", true},
      {"\\\\server\\share", true},
      {"clips/relative", true},
#endif
  };
  for (const Case& c : cases) {
    EXPECT_EQ(!SaveRootProblem(c.root).empty(), c.refused) << c.root;
  }

  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  fs::path path = "stale";
  std::string error;
  const bool ok = PrepareSavePath(fs::path("http://host/x"), "Juego", "clip.mp4", path, error);
  const bool untouched = fs::is_empty(dir_);
  fs::current_path(previous);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error.rfind("La carpeta de guardado no es una carpeta local (", 0), 0u) << error;
  EXPECT_NE(error.find("http://host/x"), std::string::npos) << error;
  EXPECT_TRUE(path.empty());
  EXPECT_TRUE(untouched) << "no \"http:\" folder may appear";

  // At start-up a refused root is named with its reason and the default folder takes over.
  log::Capture capture;
  EXPECT_EQ(EffectiveSaveRoot("http://host/x"), EffectiveSaveRoot(""));
  EXPECT_EQ(capture.Count("AVISO: SaveRoot=\"http://host/x\" no es una carpeta local ("), 1u);
  EXPECT_EQ(EffectiveSaveRoot(U8(dir_)), dir_);
}

TEST(ClipPartNames, OnlyOurTemporaryNamesMatch) {
  struct Case {
    const char* name;
    bool ours;
  };
  const Case cases[] = {
      {"clip_2026-03-01_18-04-59.mp4.part", true},
      {"clip_2026-03-01_18-04-59.mkv.part", true},
      {"clip_2026-03-01_18-04-59_2.mp4.part", true},
      {"clip_2026-03-01_18-04-59_13.mkv.part", true},
      {"clip_2026-03-01_18-04-59_Discord20MB_H264.mp4.part", true},
      {"clip_2026-03-01_18-04-59_2_Discord20MB_H265.mp4.part", true},
      {"clip_2026-03-01_18-04-59.mp4", false},  // a finished clip
      {"clip_2026-03-01_18-04-59.mov.part", false},
      {"clip_2026-03-01_18-04-5.mp4.part", false},
      {"clip_2026-03-01_18-04-59_.mp4.part", false},
      {"clip_2026-03-01_18-04-59_x.mp4.part", false},
      {"Clip_2026-03-01_18-04-59.mp4.part", false},
      {"myclip_2026-03-01_18-04-59.mp4.part", false},
      {"download.mp4.part", false},
      {".part", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsClipPartName(c.name), c.ours) << c.name;
}

TEST_F(SavePathTest, StaleTemporaryClipsAreRemovedFromTheSaveFolders) {
  const fs::path game = dir_ / "Space- Odyssey";
  const fs::path deeper = game / "old" ;
  fs::create_directories(deeper);
  auto make = [](const fs::path& p) { std::ofstream(p) << "partial"; };
  const fs::path gone[] = {game / "clip_2026-03-01_18-04-59.mp4.part",
                           game / "clip_2026-03-01_18-05-10_Discord20MB_H264.mp4.part",
                           dir_ / "clip_2026-03-01_18-04-59_2.mkv.part"};
  const fs::path kept[] = {game / "clip_2026-03-01_18-04-59.mp4", game / "notes.part",
                           deeper / "clip_2026-03-01_18-04-59.mp4.part"};
  for (const auto& p : gone) make(p);
  for (const auto& p : kept) make(p);
  // A folder of that name is not a file we left.
  fs::create_directories(game / "clip_2026-03-01_18-06-00.mp4.part");

  log::Capture capture;
  EXPECT_EQ(RemoveStaleClipParts(dir_), 3u);
  for (const auto& p : gone) EXPECT_FALSE(fs::exists(p)) << p;
  for (const auto& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
  EXPECT_TRUE(fs::is_directory(game / "clip_2026-03-01_18-06-00.mp4.part"));
  EXPECT_EQ(capture.Count("[CLIP] Eliminado un archivo temporal de un guardado interrumpido: "), 3u);

  // Without a root the clips go to the current directory, and so does the clean-up.
  make(dir_ / "clip_2026-03-01_18-07-00.mp4.part");
  make(game / "clip_2026-03-01_18-07-00.mp4.part");  // not a save folder then
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  const size_t removed = RemoveStaleClipParts(fs::path());
  fs::current_path(previous);
  EXPECT_EQ(removed, 1u);
  EXPECT_FALSE(fs::exists(dir_ / "clip_2026-03-01_18-07-00.mp4.part"));
  EXPECT_TRUE(fs::exists(game / "clip_2026-03-01_18-07-00.mp4.part"));
  EXPECT_EQ(RemoveStaleClipParts(dir_ / "missing"), 0u);
}

// Sets the time zone for one test and puts the old one back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    Set(tz);
  }
  ~ScopedTimeZone() { Set(previous_ ? previous_->c_str() : nullptr); }

 private:
  static void Set(const char* tz) {
#ifdef _WIN32
    _putenv_s("TZ", tz ? tz : "");
    _tzset();
#else
    if (tz) setenv("TZ", tz, 1);
    else unsetenv("TZ");
    tzset();
#endif
  }
  std::optional<std::string> previous_;
};

TEST(ClipTimestampTest, FormatsLocalTime) {
  const std::time_t when = 1772388299;  // 2026-03-01 18:04:59 UTC
  {
    ScopedTimeZone utc("UTC0");
    EXPECT_EQ(FormatClipTimestamp(when), "2026-03-01_18-04-59");
  }
  {
    ScopedTimeZone plusTwo("XYZ-2");  // two hours ahead of UTC
    EXPECT_EQ(FormatClipTimestamp(when), "2026-03-01_20-04-59");
    EXPECT_EQ(FormatClipTimestamp(when + 4 * 3600), "2026-03-02_00-04-59");
  }
  const std::time_t before = std::time(nullptr);
  const std::string now = ClipTimestamp();
  const std::time_t after = std::time(nullptr);
  EXPECT_TRUE(now == FormatClipTimestamp(before) || now == FormatClipTimestamp(after)) << now;
}

}  // namespace
}  // namespace halvex

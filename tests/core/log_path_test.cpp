#include "core/log_path.h"

#include <gtest/gtest.h>

namespace halvex::text {
namespace {

namespace fs = std::filesystem;

std::string Enes(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += "\xC3\xB1";
  return out;
}

// UTF-8 text as a path on every platform (a narrow string is the ANSI code page on Windows).
fs::path P(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Sep() { return std::string(1, static_cast<char>(fs::path::preferred_separator)); }

TEST(PathForLog, ShortPathsStayWholeLongOnesKeepTheirEnds) {
  const std::string s = Sep();
  const std::string deep = s + "home" + s + std::string(60, 'a') + s + std::string(60, 'b') + s +
                           "Space- Odyssey" + s + "clip_2026-03-01_18-04-59.mp4";
  struct Case {
    std::string path;
    size_t max;
    std::string expected;
  };
  const Case cases[] = {
      {s + "srv" + s + "clip.mp4", 100, s + "srv" + s + "clip.mp4"},
      {deep, 100,
       s + "home" + s + "..." + s + "Space- Odyssey" + s + "clip_2026-03-01_18-04-59.mp4"},
      // The game folder alone is too long: only the file name survives.
      {deep, 40, "..." + s + "clip_2026-03-01_18-04-59.mp4"},
      // Characters, not bytes: 90 two-byte letters fit in 100.
      {s + Enes(89), 100, ""},
      // A file name longer than the limit is cut in its middle.
      {s + "x" + s + std::string(30, 'n') + std::string(30, 'm'), 20,
       std::string(8, 'n') + "..." + std::string(9, 'm')},
  };
  for (const Case& c : cases) {
    const std::string expected = c.expected.empty() ? c.path : c.expected;
    EXPECT_EQ(PathForLog(P(c.path), c.max), expected) << c.path;
  }
  EXPECT_LE(PathForLog(P(deep)).size(), kLogPathChars);
}

}  // namespace
}  // namespace halvex::text

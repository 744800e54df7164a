#include "core/log_path.h"

#include <vector>

#include "core/text.h"

namespace halvex::text {

namespace {

size_t CodePoints(const std::string& s) { return Utf8ToUtf32(s).size(); }

// The first and the last code points of `s`, `maxChars` in all with "..." between.
std::string CutMiddle(const std::string& s, size_t maxChars) {
  const std::u32string cps = Utf8ToUtf32(s);
  if (cps.size() <= maxChars) return s;
  const size_t keep = maxChars > 3 ? maxChars - 3 : 0;
  const size_t front = keep / 2;
  const size_t back = keep - front;
  return Utf32ToUtf8(cps.substr(0, front)) + "..." + Utf32ToUtf8(cps.substr(cps.size() - back));
}

}  // namespace

std::string PathForLog(const std::filesystem::path& path, size_t maxChars) {
  const std::string whole = PathToUtf8(path);
  if (CodePoints(whole) <= maxChars) return whole;

  const std::string sep(1, static_cast<char>(std::filesystem::path::preferred_separator));
  std::vector<std::string> parts;
  for (const auto& part : path.relative_path()) {
    const std::string p = PathToUtf8(part);
    if (!p.empty()) parts.push_back(p);
  }
  const std::string root = PathToUtf8(path.root_path());
  if (parts.size() >= 4) {
    const std::string shortened = root + parts.front() + sep + "..." + sep +
                                  parts[parts.size() - 2] + sep + parts.back();
    if (CodePoints(shortened) <= maxChars) return shortened;
  }
  if (parts.size() >= 2) {
    const std::string shortened = "..." + sep + parts[parts.size() - 2] + sep + parts.back();
    if (CodePoints(shortened) <= maxChars) return shortened;
    const std::string nameOnly = "..." + sep + parts.back();
    if (CodePoints(nameOnly) <= maxChars) return nameOnly;
  }
  return CutMiddle(parts.empty() ? whole : parts.back(), maxChars);
}

}  // namespace halvex::text

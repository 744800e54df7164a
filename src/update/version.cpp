#include "update/version.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace halvex {

namespace {

// Reads the component starting at `pos` and moves `pos` past its "." (to the end when none).
uint64_t NextComponent(std::string_view s, size_t& pos, uint64_t limit) {
  uint64_t value = 0;
  while (pos < s.size() && s[pos] != '.') {
    const char c = s[pos++];
    if (c < '0' || c > '9') continue;
    const uint64_t digit = uint64_t(c - '0');
    // Saturate instead of wrapping: a wrapped value would make a huge version look old.
    value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
  }
  if (pos < s.size()) ++pos;
  return value;
}

}  // namespace

bool IsVersionString(std::string_view s, VersionRules rules) {
  if (s.empty() || s.size() > kMaxVersionLength) return false;
  if (!std::all_of(s.begin(), s.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); }))
    return false;
  return rules == VersionRules::kUpdater ||
         std::any_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int CompareVersions(std::string_view a, std::string_view b, VersionRules rules) {
  const uint64_t limit = rules == VersionRules::kUpdater ? std::numeric_limits<uint32_t>::max()
                                                         : std::numeric_limits<uint64_t>::max();
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    const uint64_t x = NextComponent(a, i, limit);
    const uint64_t y = NextComponent(b, j, limit);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace halvex

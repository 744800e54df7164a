#pragma once
#include <string_view>

namespace halvex {

// Spaces, tabs, line ends, vertical tabs and form feeds at both ends go.
inline std::string_view TrimWhiteSpace(std::string_view s) {
  constexpr std::string_view kWhite = " \t\r\n\v\f";
  const size_t first = s.find_first_not_of(kWhite);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kWhite) - first + 1);
}

}  // namespace halvex

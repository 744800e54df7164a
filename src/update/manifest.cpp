#include "update/manifest.h"

#include <optional>

#include "update/trim.h"

namespace halvex {

namespace {

// Position just inside the opening quote of the key's value, or nothing.
std::optional<size_t> ValueStart(std::string_view body, std::string_view key) {
  const std::string quoted = "\"" + std::string(key) + "\"";
  const size_t at = body.find(quoted);
  if (at == std::string_view::npos) return std::nullopt;
  size_t pos = body.find(':', at + quoted.size());
  if (pos == std::string_view::npos) return std::nullopt;
  pos = body.find_first_not_of(" \t\r\n\v\f", pos + 1);
  if (pos == std::string_view::npos || body[pos] != '"') return std::nullopt;
  return pos + 1;
}

// Reads up to the closing quote; `unescape` maps the character after a backslash, or gives
// nothing to make the whole value absent.
template <typename Unescape>
std::string ReadString(std::string_view body, size_t pos, Unescape unescape) {
  std::string value;
  while (pos < body.size()) {
    const char c = body[pos++];
    if (c == '"') return value;
    if (c != '\\') {
      value.push_back(c);
      continue;
    }
    if (pos >= body.size()) break;
    const std::optional<char> literal = unescape(body[pos++]);
    if (!literal) return {};
    value.push_back(*literal);
  }
  return {};  // no closing quote
}

}  // namespace

std::string FindManifestValue(std::string_view body, std::string_view key) {
  const std::optional<size_t> start = ValueStart(body, key);
  if (!start) return {};
  const std::string value = ReadString(body, *start, [](char c) -> std::optional<char> { return c; });
  return std::string(TrimWhiteSpace(value));
}

std::string FindManifestValueForUpdater(std::string_view body, std::string_view key) {
  const std::optional<size_t> start = ValueStart(body, key);
  if (!start) return {};
  return ReadString(body, *start, [](char c) -> std::optional<char> {
    switch (c) {
      case '"':
      case '/':
      case '\\':
        return c;
      case 'n':
        return '\n';
      case 'r':
        return '\r';
      case 't':
        return '\t';
      default:
        return std::nullopt;
    }
  });
}

}  // namespace halvex

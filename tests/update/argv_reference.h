#pragma once
// The receiving side of a Windows command line, for checking quoting on any platform. Follows the
// documented argument split: the program name ends at its closing quote (no escapes) or at white
// space; after it, 2n backslashes before a quote give n and the quote opens or closes a quoted
// part, 2n+1 give n and a literal quote, backslashes elsewhere are literal. On Windows the tests
// hold it against the system's own split.
#include <string>
#include <string_view>
#include <vector>

namespace halvex::testing {

inline std::vector<std::string> SplitWindowsCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t i = 0;
  std::string name;
  if (i < line.size() && line[i] == '"') {
    const size_t close = line.find('"', i + 1);
    name = std::string(line.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1));
    i = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') name.push_back(line[i++]);
  }
  args.push_back(name);

  auto white = [&](size_t k) { return line[k] == ' ' || line[k] == '\t'; };
  for (;;) {
    while (i < line.size() && white(i)) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !white(i))) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == '"') {
        arg.append(backslashes / 2, '\\');
        if (backslashes % 2) {
          arg.push_back('"');
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(backslashes, '\\');
        if (i < line.size() && (quoted || !white(i))) arg.push_back(line[i++]);
      }
    }
    args.push_back(arg);
  }
  return args;
}

// Arguments that must come back from the split unchanged.
inline const std::vector<std::string>& TrickyArguments() {
  static const std::vector<std::string> args = {
      "",
      " ",
      "a b",
      "C:\\Program Files\\Halvex",
      "C:\\Program Files\\Halvex\\",
      "\\",
      "\\\\",
      "\"",
      "\"\"",
      "a\"b",
      "a\\\"b",
      "a\\\\\"b",
      "\\\"\\\"",
      "x\"\" y",
      "a\\b\\c",
      "tab\there",
      "\xC3\xB1" "and\xC3\xBA \xF0\x9F\x8E\xAE",  // ñandú and an emoji (a surrogate pair in UTF-16)
  };
  return args;
}

}  // namespace halvex::testing

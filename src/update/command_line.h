#pragma once
// Quoting one argument for a Windows command line, so that the receiving program's argument split
// (the CommandLineToArgvW convention) gives it back unchanged. Works on UTF-8: "\" and '"' never
// occur inside a multi-byte sequence, so the result converts to UTF-16 exactly.
#include <string>
#include <string_view>

namespace halvex {

// Always enclosed in double quotes (so an empty argument survives). A run of backslashes before an
// embedded quote is doubled and the quote escaped with one more; a run at the end is doubled so
// that it does not escape the closing quote. Other backslashes stay as they are.
std::string QuoteArgument(std::string_view argument);

}  // namespace halvex

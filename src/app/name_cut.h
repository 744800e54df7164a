#pragma once
// Cutting UTF-8 text to a number of characters without ever splitting one.
#include <cstddef>
#include <string>
#include <string_view>

namespace halvex {

// At most `maxCodePoints` code points and, if given, at most `maxBytes` bytes of UTF-8.
std::string CutToCodePoints(std::string_view utf8, size_t maxCodePoints,
                            size_t maxBytes = std::string::npos);

// At most `maxUnits` UTF-16 code units; a character needing a surrogate pair that does not fit
// whole is left out rather than cut in half.
std::string CutToUtf16Units(std::string_view utf8, size_t maxUnits);

}  // namespace halvex

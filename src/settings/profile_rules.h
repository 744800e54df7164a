#pragma once
// Rules of the private-profile functions that the Linux store reproduces and both stores share.
// They work on UTF-16 units because that is what the Windows functions count.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvex::settings::profile {

// Blanks around names and values: 0x09..0x0D, 0x1A (DOS end of file) and the space.
constexpr bool IsBlank(char16_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }
constexpr bool IsBlankByte(char c) { return IsBlank(static_cast<unsigned char>(c)); }

std::string_view TrimBlanks(std::string_view s);

// What lands in a buffer of `bufferUnits` units (terminator included) when `value` is copied out
// of the file: a value that starts and ends with the same quote (' or ") loses both quotes, the
// copy stops at a NUL and is cut to bufferUnits - 1 units. When the cut falls exactly on the
// closing quote the last kept unit is dropped as well, as the system does.
std::u16string CopyEntry(std::u16string_view value, size_t bufferUnits);

// The fallback text as the system uses it: trailing spaces dropped.
std::u16string_view TrimFallback(std::u16string_view fallback);

// Integer reading: at most 29 units are looked at (the system's 30-unit buffer); empty gives
// `fallback`; otherwise leading control characters and blanks are skipped, then an optional sign,
// an optional 0x / 0o / 0b prefix, then digits of that base, accumulated modulo 2^32.
int32_t IntegerFromValue(std::u16string_view value, int32_t fallback);
inline constexpr size_t kIntegerValueUnits = 29;

// Why a write would corrupt the file's line structure; empty when it is fine.
std::string CheckWritable(std::string_view section, std::string_view key, std::string_view value);
std::string CheckWritableSection(std::string_view section);

}  // namespace halvex::settings::profile

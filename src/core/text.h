#pragma once
// UTF-8 (inside the program) and UTF-16 (at Windows calls, and where a rule counts UTF-16 units).
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace halvex::text {

// Invalid input never fails: an ill-formed UTF-8 sequence or a lone surrogate becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// wchar_t is UTF-16 on Windows and UTF-32 on Linux; these convert to and from that native width.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// A path as UTF-8 text (for log lines and messages).
std::string PathToUtf8(const std::filesystem::path& path);

// Decodes UTF-8 into code points (U+FFFD for ill-formed sequences).
std::u32string Utf8ToUtf32(std::string_view utf8);
std::string Utf32ToUtf8(std::u32string_view utf32);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// ASCII-only case folding (what the settings file's lookups need).
std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Hexadecimal digits of a value, without padding or "0x" (log lines write the prefix themselves).
std::string LowerHex(uint64_t value);
std::string UpperHex(uint64_t value);

}  // namespace halvex::text

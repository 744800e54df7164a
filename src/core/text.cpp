#include "core/text.h"

#include <charconv>

namespace halvex::text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point starting at `i`; advances `i` past what it consumed.
char32_t DecodeOne(std::string_view s, size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len;
  char32_t cp;
  char32_t min;
  if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + len > s.size()) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k < len; ++k) {
    const unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += len;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

void EncodeOne(char32_t cp, std::string& out) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

template <typename Char16>
std::basic_string<Char16> ToUtf16(std::string_view utf8) {
  std::basic_string<Char16> out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = DecodeOne(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<Char16>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<Char16>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<Char16>(cp));
    }
  }
  return out;
}

template <typename Char16>
std::string FromUtf16(std::basic_string_view<Char16> utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t u = static_cast<char16_t>(utf16[i]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size()) {
      const char32_t low = static_cast<char16_t>(utf16[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        EncodeOne(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
        ++i;
        continue;
      }
    }
    EncodeOne(u, out);  // lone surrogates become U+FFFD inside EncodeOne
  }
  return out;
}

// One unit per code point: UTF-32, and wchar_t where it is 32 bits wide.
template <typename Char32>
std::basic_string<Char32> ToCodePoints(std::string_view utf8) {
  std::basic_string<Char32> out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) out.push_back(static_cast<Char32>(DecodeOne(utf8, i)));
  return out;
}

template <typename Char32>
std::string FromCodePoints(std::basic_string_view<Char32> units) {
  std::string out;
  out.reserve(units.size());
  for (Char32 c : units) EncodeOne(static_cast<char32_t>(c), out);
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) { return ToUtf16<char16_t>(utf8); }
std::string Utf16ToUtf8(std::u16string_view utf16) { return FromUtf16<char16_t>(utf16); }

std::u32string Utf8ToUtf32(std::string_view utf8) { return ToCodePoints<char32_t>(utf8); }
std::string Utf32ToUtf8(std::u32string_view utf32) { return FromCodePoints<char32_t>(utf32); }

std::wstring Utf8ToWide(std::string_view utf8) {
  if constexpr (sizeof(wchar_t) == 2) {
    return ToUtf16<wchar_t>(utf8);
  } else {
    return ToCodePoints<wchar_t>(utf8);
  }
}

std::string WideToUtf8(std::wstring_view wide) {
  if constexpr (sizeof(wchar_t) == 2) {
    return FromUtf16<wchar_t>(wide);
  } else {
    return FromCodePoints<wchar_t>(wide);
  }
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t start = i;
    const char32_t cp = DecodeOne(bytes, i);
    if (cp == kReplacement) {
      // A literal U+FFFD (EF BF BD) is valid; anything else that decoded to it was not.
      if (!(i - start == 3 && static_cast<unsigned char>(bytes[start]) == 0xEF)) return false;
    }
  }
  return true;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string LowerHex(uint64_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return std::string(digits, end);
}

std::string UpperHex(uint64_t value) { return AsciiUpper(LowerHex(value)); }

}  // namespace halvex::text

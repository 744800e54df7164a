#include "settings/profile_rules.h"

namespace halvex::settings::profile {

std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlankByte(s[b])) ++b;
  while (e > b && IsBlankByte(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::u16string CopyEntry(std::u16string_view value, size_t bufferUnits) {
  if (bufferUnits == 0) return {};
  // The system works on terminated strings: nothing after a NUL exists.
  if (const size_t nul = value.find(u'\0'); nul != std::u16string_view::npos) {
    value = value.substr(0, nul);
  }
  char16_t quote = 0;
  if (value.size() >= 2 && (value[0] == u'\'' || value[0] == u'"') && value.back() == value[0]) {
    quote = value[0];
    value.remove_prefix(1);
  }
  std::u16string out(value.substr(0, bufferUnits - 1));
  if (quote != 0 && bufferUnits >= value.size() && !out.empty()) out.pop_back();
  return out;
}

std::u16string_view TrimFallback(std::u16string_view fallback) {
  size_t e = fallback.size();
  while (e > 1 && fallback[e - 1] == u' ') --e;  // the first unit always stays
  return fallback.substr(0, e);
}

int32_t IntegerFromValue(std::u16string_view value, int32_t fallback) {
  value = value.substr(0, kIntegerValueUnits);
  if (value.empty()) return fallback;
  size_t i = 0;
  while (i < value.size() && value[i] <= u' ') ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == u'+' || value[i] == u'-')) {
    negative = value[i] == u'-';
    ++i;
  }
  uint32_t base = 10;
  if (i + 1 < value.size() && value[i] == u'0') {
    const char16_t p = value[i + 1];
    if (p == u'x') base = 16;
    if (p == u'o') base = 8;
    if (p == u'b') base = 2;
    if (base != 10) i += 2;
  }
  uint32_t total = 0;
  for (; i < value.size(); ++i) {
    const char16_t c = value[i];
    uint32_t digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'A' && c <= u'Z') {
      digit = c - u'A' + 10;
    } else if (c >= u'a' && c <= u'z') {
      digit = c - u'a' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    total = total * base + digit;  // wraps like the system's 32-bit accumulator
  }
  if (negative) total = 0u - total;
  return static_cast<int32_t>(total);
}

namespace {

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::string CheckWritableSection(std::string_view section) {
  if (HasLineBreakOrNul(section)) return "el nombre de seccion contiene un salto de linea";
  return {};
}

std::string CheckWritable(std::string_view section, std::string_view key, std::string_view value) {
  if (std::string why = CheckWritableSection(section); !why.empty()) return why;
  const std::string_view name = TrimBlanks(key);
  if (name.empty()) return "la clave esta vacia";
  if (HasLineBreakOrNul(key) || key.find('=') != std::string_view::npos || name.front() == '[') {
    return "la clave contiene caracteres no permitidos";
  }
  if (HasLineBreakOrNul(value)) return "el valor contiene un salto de linea";
  return {};
}

}  // namespace halvex::settings::profile

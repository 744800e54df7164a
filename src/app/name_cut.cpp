#include "app/name_cut.h"

#include "core/text.h"

namespace halvex {

namespace {
size_t Utf8Length(char32_t cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}
}  // namespace

std::string CutToCodePoints(std::string_view utf8, size_t maxCodePoints, size_t maxBytes) {
  const std::u32string cps = text::Utf8ToUtf32(utf8);
  size_t count = 0;
  size_t bytes = 0;
  while (count < cps.size() && count < maxCodePoints) {
    const size_t next = bytes + Utf8Length(cps[count]);
    if (next > maxBytes) break;
    bytes = next;
    ++count;
  }
  if (count == cps.size()) return std::string(utf8);
  return text::Utf32ToUtf8(std::u32string_view(cps).substr(0, count));
}

std::string CutToUtf16Units(std::string_view utf8, size_t maxUnits) {
  const std::u32string cps = text::Utf8ToUtf32(utf8);
  size_t count = 0;
  size_t units = 0;
  while (count < cps.size()) {
    const size_t next = units + (cps[count] >= 0x10000 ? 2 : 1);
    if (next > maxUnits) break;
    units = next;
    ++count;
  }
  if (count == cps.size()) return std::string(utf8);
  return text::Utf32ToUtf8(std::u32string_view(cps).substr(0, count));
}

}  // namespace halvex

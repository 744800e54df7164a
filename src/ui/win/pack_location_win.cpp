#include <windows.h>

#include "core/text.h"
#include "ui/pack_location.h"

namespace halvex {

std::optional<std::string> ModulePathForPack() {
  // A MAX_PATH buffer: the pack is looked for only beside a path of at most 259 units.
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::nullopt;  // failed, or cut off
  return text::WideToUtf8(std::wstring_view(buffer, n));
}

}  // namespace halvex

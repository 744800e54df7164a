#include <windows.h>

#include <cwchar>
#include <string>

#include "core/text.h"
#include "input/key_name_platform.h"

namespace halvex::platform {

std::string LayoutKeyName(VirtualKey code) {
  const UINT scan = MapVirtualKeyW(code, MAPVK_VK_TO_VSC);
  if (scan == 0) return {};
  LONG param = static_cast<LONG>(scan << 16);
  // Navigation keys share scan codes with the keypad; the extended bit picks the dedicated key.
  if (code >= 33 && code <= 46 && !(code >= 41 && code <= 44)) param |= 1 << 24;
  wchar_t buffer[128] = {};
  const int length = GetKeyNameTextW(param, buffer, 128);
  if (length <= 0) return {};
  // Some layouts report a length of 1 for a bare terminator: the name ends at the first NUL.
  const size_t limit = static_cast<size_t>(length) < 128 ? static_cast<size_t>(length) : 127;
  const size_t used = wcsnlen(buffer, limit);
  if (used == 0) return {};
  return text::WideToUtf8(std::wstring_view(buffer, used));
}

}  // namespace halvex::platform

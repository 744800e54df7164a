#include <windows.h>

#include "settings/settings_path.h"

namespace halvex::settings {

std::filesystem::path SettingsPath() {
  wchar_t buffer[260];
  const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", buffer, 260);
  // 0 = missing; 260 or more = did not fit (the call then returns the size it needs).
  if (n < 1 || n > 259) return kSettingsFileName;
  return std::filesystem::path(std::wstring(buffer, n) + L"\\Halvex.ini");
}

}  // namespace halvex::settings

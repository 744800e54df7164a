#include "core/win/os_build.h"

#include <windows.h>

namespace halvex {
namespace {

// RTL_OSVERSIONINFOEXW: 284 bytes, its own size first.
struct OsVersionInfo {
  ULONG size;
  ULONG major;
  ULONG minor;
  ULONG build;
  ULONG platform;
  WCHAR servicePack[128];
  USHORT servicePackMajor;
  USHORT servicePackMinor;
  USHORT suiteMask;
  UCHAR productType;
  UCHAR reserved;
};
static_assert(sizeof(OsVersionInfo) == 284);

using RtlGetVersionFn = LONG(WINAPI*)(OsVersionInfo*);

}  // namespace

uint32_t OsBuildNumber() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return 0;
  const auto rtlGetVersion =
      reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  if (!rtlGetVersion) return 0;
  OsVersionInfo info{};
  info.size = sizeof(info);
  if (rtlGetVersion(&info) != 0) return 0;
  return info.build;
}

}  // namespace halvex

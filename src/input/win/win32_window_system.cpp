#include "input/win/win32_window_system.h"

#include <windows.h>
#include <objbase.h>
#include <propidl.h>
#include <propkeydef.h>
#include <propsys.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/text.h"
#include "input/pe_version_resource.h"

namespace halvex {
namespace {

// PKEY_AppUserModel_ID, spelled out so no GUID library is needed.
constexpr PROPERTYKEY kAppUserModelIdKey = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

HWND ToHwnd(WindowId window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }
WindowId ToId(HWND hwnd) { return static_cast<WindowId>(reinterpret_cast<uintptr_t>(hwnd)); }

std::string Narrow(const wchar_t* units, size_t count) {
  return text::WideToUtf8(std::wstring_view(units, count));
}

std::optional<Rect> ToRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

UniqueHandle OpenForQuery(ProcessId process) {
  if (process == 0) return nullptr;
  return UniqueHandle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<WindowId>*>(param)->push_back(ToId(hwnd));
  return TRUE;
}

}  // namespace

WindowId Win32WindowSystem::ForegroundWindow() { return ToId(GetForegroundWindow()); }

bool Win32WindowSystem::IsWindow(WindowId window) {
  return window != 0 && ::IsWindow(ToHwnd(window));
}

bool Win32WindowSystem::IsVisible(WindowId window) {
  return window != 0 && IsWindowVisible(ToHwnd(window));
}

bool Win32WindowSystem::IsMinimized(WindowId window) {
  return window != 0 && IsIconic(ToHwnd(window));
}

bool Win32WindowSystem::IsMaximized(WindowId window) {
  return window != 0 && IsZoomed(ToHwnd(window));
}

bool Win32WindowSystem::IsToolWindow(WindowId window) {
  if (window == 0) return false;
  const LONG_PTR style = GetWindowLongPtrW(ToHwnd(window), GWL_EXSTYLE);
  return (style & WS_EX_TOOLWINDOW) != 0;
}

WindowId Win32WindowSystem::Owner(WindowId window) {
  if (window == 0) return 0;
  return ToId(GetWindow(ToHwnd(window), GW_OWNER));
}

std::optional<Rect> Win32WindowSystem::WindowRect(WindowId window) {
  RECT r{};
  if (window == 0 || !GetWindowRect(ToHwnd(window), &r)) return std::nullopt;
  return ToRect(r);
}

std::optional<Rect> Win32WindowSystem::ClientRectOnScreen(WindowId window) {
  RECT r{};
  if (window == 0 || !GetClientRect(ToHwnd(window), &r)) return std::nullopt;
  POINT topLeft{r.left, r.top};
  POINT bottomRight{r.right, r.bottom};
  if (!ClientToScreen(ToHwnd(window), &topLeft) || !ClientToScreen(ToHwnd(window), &bottomRight)) {
    return std::nullopt;
  }
  return Rect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

std::string Win32WindowSystem::ClassName(WindowId window) {
  wchar_t name[256];
  if (window == 0) return {};
  const int length = GetClassNameW(ToHwnd(window), name, 256);
  return length > 0 ? Narrow(name, static_cast<size_t>(length)) : std::string();
}

std::string Win32WindowSystem::Title(WindowId window) {
  if (window == 0) return {};
  const int length = GetWindowTextLengthW(ToHwnd(window));
  if (length <= 0) return {};
  std::wstring title(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(ToHwnd(window), title.data(), length + 1);
  return copied > 0 ? Narrow(title.data(), static_cast<size_t>(copied)) : std::string();
}

ProcessId Win32WindowSystem::WindowProcess(WindowId window) {
  DWORD process = 0;
  if (window == 0 || GetWindowThreadProcessId(ToHwnd(window), &process) == 0) return 0;
  return process;
}

std::vector<WindowId> Win32WindowSystem::TopLevelWindows() {
  std::vector<WindowId> windows;
  if (!EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows))) windows.clear();
  return windows;
}

std::vector<WindowId> Win32WindowSystem::ChildWindows(WindowId window) {
  std::vector<WindowId> windows;
  // EnumChildWindows' result is undefined by its documentation; the list is what it found.
  if (window != 0) EnumChildWindows(ToHwnd(window), CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::string Win32WindowSystem::AppUserModelId(WindowId window) {
  if (window == 0) return {};
  IPropertyStore* store = nullptr;
  if (FAILED(SHGetPropertyStoreForWindow(ToHwnd(window), IID_IPropertyStore,
                                         reinterpret_cast<void**>(&store))) ||
      store == nullptr) {
    return {};
  }
  std::string id;
  PROPVARIANT value;
  PropVariantInit(&value);
  if (SUCCEEDED(store->GetValue(kAppUserModelIdKey, &value))) {
    if (value.vt == VT_LPWSTR && value.pwszVal) {
      id = text::WideToUtf8(value.pwszVal);
    } else if (value.vt == VT_BSTR && value.bstrVal) {
      id = text::WideToUtf8(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)));
    }
  }
  PropVariantClear(&value);
  store->Release();
  return id;
}

int Win32WindowSystem::RefreshRateHz(WindowId window) {
  HMONITOR monitor = MonitorFromWindow(ToHwnd(window), MONITOR_DEFAULTTONEAREST);
  MONITORINFOEXW info{};
  info.cbSize = sizeof(info);
  if (!monitor || !GetMonitorInfoW(monitor, &info)) return 0;
  DEVMODEW mode{};
  mode.dmSize = sizeof(mode);
  if (!EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) return 0;
  return static_cast<int>(mode.dmDisplayFrequency);
}

std::optional<Rect> Win32WindowSystem::NearestMonitorRect(WindowId window) {
  if (!::IsWindow(ToHwnd(window))) return std::nullopt;
  HMONITOR monitor = MonitorFromWindow(ToHwnd(window), MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!monitor || !GetMonitorInfoW(monitor, &info)) return std::nullopt;
  return Rect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
}

ProcessId Win32WindowSystem::OwnProcess() { return GetCurrentProcessId(); }

std::optional<std::filesystem::path> Win32WindowSystem::ProcessImagePath(ProcessId process) {
  const UniqueHandle handle = OpenForQuery(process);
  if (!handle) return std::nullopt;
  std::wstring path(32768, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(handle.get(), 0, path.data(), &size) || size == 0) {
    return std::nullopt;
  }
  path.resize(size);
  return std::filesystem::path(path);
}

bool Win32WindowSystem::ProcessAlive(ProcessId process) {
  const UniqueHandle handle = OpenForQuery(process);
  DWORD code = 0;
  return handle && GetExitCodeProcess(handle.get(), &code) && code == STILL_ACTIVE;
}

std::vector<std::pair<ProcessId, ProcessId>> Win32WindowSystem::ProcessParents() {
  std::vector<std::pair<ProcessId, ProcessId>> parents;
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return parents;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    parents.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
  }
  return parents;
}

std::optional<std::string> Win32WindowSystem::VersionInfoName(ProcessId process) {
  const auto path = ProcessImagePath(process);
  if (!path) return std::nullopt;
  return VersionInfoNameOfFile(*path);
}

std::optional<std::string> VersionInfoNameOfFile(const std::filesystem::path& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return std::nullopt;

  const auto queryRaw = [&](const std::wstring& path, UINT& length) -> void* {
    void* value = nullptr;
    length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || value == nullptr) {
      return nullptr;
    }
    return value;
  };

  pe::VersionQuery query;
  query.translations = [&]() -> std::optional<std::vector<pe::Translation>> {
    UINT bytes = 0;
    const auto* table =
        static_cast<const unsigned char*>(queryRaw(L"\\VarFileInfo\\Translation", bytes));
    if (!table) return std::nullopt;
    std::vector<pe::Translation> pairs;
    for (UINT at = 0; at + 4 <= bytes; at += 4) {
      pairs.emplace_back(static_cast<uint16_t>(table[at] | (table[at + 1] << 8)),
                         static_cast<uint16_t>(table[at + 2] | (table[at + 3] << 8)));
    }
    return pairs;
  };
  query.text = [&](const std::u16string& subBlock) -> std::optional<std::u16string> {
    UINT units = 0;
    const void* value = queryRaw(std::wstring(subBlock.begin(), subBlock.end()), units);
    if (!value) return std::nullopt;
    // A damaged resource may claim more than the block holds.
    const auto* start = static_cast<const unsigned char*>(value);
    const unsigned char* end = block.data() + block.size();
    const size_t available = end > start ? static_cast<size_t>(end - start) / 2 : 0;
    std::u16string copy(std::min<size_t>(units, available), u'\0');
    std::memcpy(copy.data(), start, copy.size() * 2);
    return copy;
  };
  return pe::ChooseVersionName(query);
}

}  // namespace halvex

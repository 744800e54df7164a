#include <windows.h>

#include "clipfile/local_file.h"
#include "core/text.h"

namespace halvex {

namespace {

std::string LastErrorText() {
  const DWORD code = GetLastError();
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring textW = n && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!textW.empty() && (textW.back() == L'\n' || textW.back() == L'\r' || textW.back() == L' ' ||
                            textW.back() == L'.'))
    textW.pop_back();
  std::string out = text::WideToUtf8(textW);
  if (out.empty()) out = "error " + std::to_string(code);
  return out;
}

}  // namespace

bool FlushFileToDisk(const std::filesystem::path& path, std::string& error) {
  // FlushFileBuffers needs a handle with write access; any handle flushes the whole file.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = LastErrorText();
    return false;
  }
  const bool ok = FlushFileBuffers(file) != 0;
  if (!ok) error = LastErrorText();
  CloseHandle(file);
  return ok;
}

// NTFS journals the rename itself.
void FlushFolderToDisk(const std::filesystem::path&) {}

}  // namespace halvex

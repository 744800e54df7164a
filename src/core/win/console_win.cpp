#include <windows.h>

#include <cstdio>
#include <string>

#include "core/console.h"
#include "core/text.h"

namespace halvex::console {

void Init() {}

void WriteLine(std::string_view utf8) {
  // A real console gets the wide text; a pipe or a file (tests, a log redirect) gets UTF-8 bytes,
  // so narrow writers sharing the stream (GoogleTest, FFmpeg) are not garbled.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    std::fflush(stdout);
    std::wstring wide = text::Utf8ToWide(utf8);
    wide.push_back(L'\n');
    DWORD written = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace halvex::console

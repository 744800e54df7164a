#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <mutex>

#include "core/console.h"
#include "core/text.h"

namespace halvex::console {

void Init() {
  static std::once_flag once;
  // Wide output, stored as UTF-8 bytes: readable both in a console and through a pipe.
  std::call_once(once, [] { _setmode(_fileno(stdout), _O_U8TEXT); });
}

void WriteLine(std::string_view utf8) {
  Init();
  const std::wstring wide = text::Utf8ToWide(utf8);
  std::fputws(wide.c_str(), stdout);
  std::fputwc(L'\n', stdout);
  std::fflush(stdout);
}

}  // namespace halvex::console

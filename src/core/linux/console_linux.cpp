#include <cstdio>

#include "core/console.h"

namespace halvex::console {

void Init() {}

void WriteLine(std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace halvex::console

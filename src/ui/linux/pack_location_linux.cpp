#include <unistd.h>

#include <vector>

#include "ui/pack_location.h"

namespace halvex {

std::optional<std::string> ModulePathForPack() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (size_t(n) < buffer.size()) return std::string(buffer.data(), size_t(n));
    buffer.resize(buffer.size() * 2);  // may have been cut off; try again with more room
  }
}

}  // namespace halvex

#pragma once
// HRESULTs and handles in log lines: lowercase hexadecimal without padding, the caller adds "0x".
#include <cstdint>
#include <cstdio>
#include <string>

namespace halvex {

inline std::string LowerHex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

inline std::string HrHex(long hr) { return LowerHex(static_cast<uint32_t>(hr)); }

}  // namespace halvex

#pragma once
// HRESULTs in log lines: the 32-bit code in lowercase hexadecimal without padding; the caller
// writes the "0x".
#include <string>

namespace halvex {

std::string HrHex(long hr);

}  // namespace halvex

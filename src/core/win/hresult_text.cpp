#include "core/win/hresult_text.h"

#include <cstdint>

#include "core/text.h"

namespace halvex {

std::string HrHex(long hr) { return text::LowerHex(static_cast<uint32_t>(hr)); }

}  // namespace halvex

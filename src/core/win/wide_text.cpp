#include "core/win/wide_text.h"

#include "core/text.h"

namespace halvex::text {

std::string FromWideZ(const wchar_t* s) { return s ? WideToUtf8(s) : std::string(); }

}  // namespace halvex::text

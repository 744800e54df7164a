#pragma once
// NUL-terminated UTF-16 strings that Windows calls hand out, as UTF-8.
#include <string>

namespace halvex::text {

// A null pointer (no string at all) is empty text.
std::string FromWideZ(const wchar_t* s);

}  // namespace halvex::text

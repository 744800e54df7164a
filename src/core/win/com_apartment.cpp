#include "core/win/com_apartment.h"

namespace halvex {

ComApartment::ComApartment()
    : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)), owns_(SUCCEEDED(result_)) {}

ComApartment::~ComApartment() {
  if (owns_) CoUninitialize();
}

}  // namespace halvex

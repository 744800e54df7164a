#include <objbase.h>

#include "encode/thread_apartment.h"

namespace halvex {

ThreadApartment::ThreadApartment() {
  initialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
}

ThreadApartment::~ThreadApartment() {
  if (initialized_) CoUninitialize();
}

}  // namespace halvex

#pragma once
// COM for the calling thread, multithreaded. A thread already in another apartment counts as
// initialised (RPC_E_CHANGED_MODE) but is not uninitialised by us.
#include <objbase.h>

namespace halvex::wasapi {

class ComApartment {
 public:
  ComApartment() {
    result_ = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    owns_ = result_ == S_OK || result_ == S_FALSE;
  }
  ~ComApartment() {
    if (owns_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  bool Ok() const { return owns_ || result_ == RPC_E_CHANGED_MODE; }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_ = E_FAIL;
  bool owns_ = false;
};

}  // namespace halvex::wasapi

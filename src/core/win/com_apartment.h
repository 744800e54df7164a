#pragma once
// COM for the calling thread, multithreaded, for the life of the object. A thread already in
// another apartment (RPC_E_CHANGED_MODE) can still make its calls there, but that apartment is not
// ours to undo.
#include <objbase.h>

namespace halvex {

class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  // COM can be used on this thread: our own initialisation or the apartment it already had.
  bool Ok() const { return owns_ || result_ == RPC_E_CHANGED_MODE; }
  // This object balances its CoInitializeEx with a CoUninitialize.
  bool Owns() const { return owns_; }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
  bool owns_;
};

}  // namespace halvex

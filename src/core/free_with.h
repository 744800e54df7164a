#pragma once
// unique_ptr deleters made from a C library's release function, so each owning pointer is one line.
// FreeWith<f> calls f(p); FreeAt<f> calls f(&p), for the functions that also null the pointer.
namespace halvex {

template <auto Free>
struct FreeWith {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};

template <auto Free>
struct FreeAt {
  template <typename T>
  void operator()(T* p) const {
    Free(&p);
  }
};

}  // namespace halvex

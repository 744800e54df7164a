#pragma once
// Per-thread set-up the encoder's platform API needs on the thread that uses it (a multithreaded
// COM apartment on Windows; nothing on Linux). Held for the life of the worker thread.
#include <memory>

namespace halvex {

class ThreadApartment {
 public:
  ThreadApartment();
  ~ThreadApartment();

 private:
  struct Native;  // defined by the platform's file
  std::unique_ptr<Native> native_;
};

}  // namespace halvex

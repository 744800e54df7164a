#pragma once
// Per-thread set-up the encoder's platform API needs on the thread that uses it (a multithreaded
// COM apartment on Windows; nothing on Linux). Held for the life of the worker thread.
namespace halvex {

class ThreadApartment {
 public:
  ThreadApartment();
  ~ThreadApartment();
  ThreadApartment(const ThreadApartment&) = delete;
  ThreadApartment& operator=(const ThreadApartment&) = delete;

 private:
  bool initialized_ = false;
};

}  // namespace halvex

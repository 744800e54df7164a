#pragma once
// X protocol errors without dying: Xlib's default handler ends the program, and a window can
// vanish between two requests. One process-wide handler records each error in the trap active
// on the calling thread (Xlib reports errors on the thread that reads the reply); errors outside
// any trap are counted and ignored. Every X11 part of the program uses this trap instead of
// installing its own handler, since XSetErrorHandler is process-global.
#include <X11/Xlib.h>

#include <cstdint>

namespace halvex::x11 {

class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // True when an error arrived since the trap was set (or since Clear). Requests without a reply
  // report their errors later: Sync() first waits for them.
  bool Failed() const { return errorCode_ != 0; }
  bool Sync();  // XSync, then Failed()
  unsigned char ErrorCode() const { return errorCode_; }
  void Clear() { errorCode_ = 0; }

 private:
  friend int HandleError(Display*, XErrorEvent*);
  Display* display_;
  ErrorTrap* previous_;
  unsigned char errorCode_ = 0;
};

// Installs the process-wide handler (done by the first trap; idempotent).
void InstallErrorHandler();
// Errors that arrived while no trap was set on their thread.
uint64_t UntrappedErrors();

}  // namespace halvex::x11

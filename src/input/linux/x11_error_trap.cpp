#include "input/linux/x11_error_trap.h"

#include <atomic>
#include <mutex>

namespace halvex::x11 {
namespace {

thread_local ErrorTrap* activeTrap = nullptr;
std::atomic<uint64_t> untrapped{0};

}  // namespace

int HandleError(Display* display, XErrorEvent* event) {
  for (ErrorTrap* trap = activeTrap; trap != nullptr; trap = trap->previous_) {
    if (trap->display_ == display) {
      if (trap->errorCode_ == 0) trap->errorCode_ = event->error_code;
      return 0;
    }
  }
  untrapped.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

void InstallErrorHandler() {
  static std::once_flag once;
  std::call_once(once, [] { XSetErrorHandler(&HandleError); });
}

uint64_t UntrappedErrors() { return untrapped.load(std::memory_order_relaxed); }

ErrorTrap::ErrorTrap(Display* display) : display_(display), previous_(activeTrap) {
  InstallErrorHandler();
  activeTrap = this;
}

ErrorTrap::~ErrorTrap() { activeTrap = previous_; }

bool ErrorTrap::Sync() {
  XSync(display_, False);
  return Failed();
}

}  // namespace halvex::x11

#pragma once
// The capture's own X connections. Protocol errors on them never end the process: every request
// that may fail (a captured window can vanish at any moment) runs under the program's one
// x11::ErrorTrap (input/linux/x11_error_trap.h), which owns the process-wide Xlib error handler.
#include <X11/Xlib.h>

#include <memory>

#include "core/free_with.h"
#include "input/linux/x11_error_trap.h"

namespace halvex::x11 {

using DisplayPtr = std::unique_ptr<Display, FreeWith<XCloseDisplay>>;

// Opens a connection to `name` (nullptr: $DISPLAY), with the error handler installed first.
inline DisplayPtr OpenDisplay(const char* name = nullptr) {
  InstallErrorHandler();
  return DisplayPtr(XOpenDisplay(name));
}

// Failure codes of the capture backends that are not X protocol errors (those are below 256).
inline constexpr int kErrorNoDisplay = 0x1001;     // no connection to the X server
inline constexpr int kErrorNoExtension = 0x1002;   // MIT-SHM, DAMAGE or RandR missing
inline constexpr int kErrorPixelFormat = 0x1003;   // not 32-bit BGRA pixels
inline constexpr int kErrorSharedMemory = 0x1004;  // shared-memory segment could not be made
inline constexpr int kErrorConnection = 0x1005;    // the connection broke

}  // namespace halvex::x11

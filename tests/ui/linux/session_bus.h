#pragma once
// A private session bus for one test: its own dbus-daemon on a socket in a temporary folder, with
// no service activation, so nothing from the machine answers on it.
#include <sys/types.h>

#include <string>

#include "ui/temp_folder.h"

namespace halvex::testing {

class PrivateSessionBus {
 public:
  PrivateSessionBus();
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  // Empty when the daemon did not start; `error` then says why.
  const std::string& address() const { return address_; }
  const std::string& error() const { return error_; }

  // Ends the daemon, as a logout would.
  void Stop();

 private:
  TempFolder folder_;
  pid_t pid_ = -1;
  std::string address_;
  std::string error_;
};

}  // namespace halvex::testing

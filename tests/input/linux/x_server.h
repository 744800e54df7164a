#pragma once
// X servers for the X11 tests: a private Xvfb per test binary (so that parallel tests never share
// focus or windows), with openbox on the second one for what needs a window manager. When Xvfb is
// missing, $DISPLAY is used instead.
#include <sys/types.h>

#include <string>

namespace halvex::testing {

class TestXServer {
 public:
  explicit TestXServer(bool windowManager);
  ~TestXServer();
  TestXServer(const TestXServer&) = delete;
  TestXServer& operator=(const TestXServer&) = delete;

  // ":N"; empty when no server could be had.
  const std::string& Name() const { return name_; }
  bool HasWindowManager() const { return wm_ > 0; }

 private:
  bool StartXvfb();
  bool StartWindowManager();
  std::string name_;
  pid_t xvfb_ = -1;
  pid_t wm_ = -1;
};

// One server without and one with a window manager, started on first use and ended at exit.
TestXServer& BareXServer();
TestXServer& ManagedXServer();

}  // namespace halvex::testing

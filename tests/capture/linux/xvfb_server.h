#pragma once
// A private virtual X server for tests and benchmarks, so they never depend on (or disturb) the
// user's desktop and always run.
#include <sys/types.h>

#include <string>
#include <vector>

namespace halvex::testing {

class XvfbServer {
 public:
  // Starts `Xvfb -displayfd` with one screen of width×height×24 and `extraArgs` (such as
  // {"-extension", "Composite"} to leave an extension out); check Running().
  XvfbServer(int width, int height, std::vector<std::string> extraArgs = {});
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool Running() const { return pid_ > 0 && !name_.empty(); }
  // ":N"
  const std::string& Name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// One server for the whole test binary, 1280×720, started on first use.
const XvfbServer& SharedXvfb();

}  // namespace halvex::testing

#pragma once
// A helper program started by a test, driven by lines on its standard input and answering one line
// on its standard output per command. Ended (and waited for) when the object goes.
#include <cstdint>
#include <string>

namespace halvex::testing {

class HelperProcess {
 public:
  // `exeName` is a file beside the running test binary.
  explicit HelperProcess(const std::wstring& exeName, const std::wstring& arguments = L"");
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  bool Started() const { return process_ != nullptr; }
  uint32_t Pid() const { return pid_; }
  // Sends one command and returns its answer line (empty when the helper ended).
  std::string Command(const std::string& line);
  // Closes its input and waits for it to end; returns its exit code (or -1).
  int Finish();
  void* ProcessHandle() const { return process_; }

 private:
  void* process_ = nullptr;
  void* input_ = nullptr;
  void* output_ = nullptr;
  uint32_t pid_ = 0;
};

// The directory of the running test binary, with a trailing separator.
std::wstring TestBinaryDir();

}  // namespace halvex::testing

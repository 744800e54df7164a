#pragma once
// A PulseAudio server of the test's own: its own runtime folder, two 48 kHz null sinks (the
// speakers and the line into the "microphone") and a virtual source over the second one's
// monitor as the default input. The process environment is pointed at it.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace halvex::testing {

inline constexpr const char* kTestSink = "halvex_out";
inline constexpr const char* kTestSinkDescription = "Salida de prueba";
inline constexpr const char* kTestMicLine = "halvex_mic_line";  // sink that feeds the microphone
inline constexpr const char* kTestMic = "halvex_mic";

class PrivatePulseServer {
 public:
  PrivatePulseServer() = default;
  ~PrivatePulseServer() { Stop(); }
  PrivatePulseServer(const PrivatePulseServer&) = delete;
  PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

  // False (with `error`) when the server did not come up.
  bool Start(std::string& error);
  // Ends the server the hard way, as a crash would.
  void Kill();
  // Kills it and starts it again on the same socket with the same devices.
  bool Restart(std::string& error);
  void Stop();
  pid_t Pid() const { return pid_; }

 private:
  bool Launch(std::string& error);
  std::filesystem::path dir_;
  pid_t pid_ = 0;
};

// Plays a sine of `hz` on `sink` for `seconds` through paplay; returns its process id (0 on failure).
pid_t PlayTone(const std::filesystem::path& folder, const std::string& sink, double hz,
               double seconds);
void EndProcess(pid_t pid);

}  // namespace halvex::testing

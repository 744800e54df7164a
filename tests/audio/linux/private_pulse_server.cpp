#include "audio/linux/private_pulse_server.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace halvex::testing {
namespace {

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return 0;
  return pid;
}

int Run(const std::vector<std::string>& args) {
  const pid_t pid = Spawn(args);
  if (pid == 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The daemon is not our child, and nobody may reap it here: a zombie counts as gone.
bool Gone(pid_t pid) {
  if (kill(pid, 0) != 0) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  return close == std::string::npos || (close + 2 < line.size() && line[close + 2] == 'Z');
}

void Put16(std::ofstream& out, uint16_t v) { out.put(char(v & 0xff)).put(char(v >> 8)); }
void Put32(std::ofstream& out, uint32_t v) {
  Put16(out, uint16_t(v & 0xffff));
  Put16(out, uint16_t(v >> 16));
}

}  // namespace

bool PrivatePulseServer::Start(std::string& error) {
  char pattern[] = "/tmp/halvex-pulse-XXXXXX";
  if (!mkdtemp(pattern)) {
    error = "mkdtemp";
    return false;
  }
  dir_ = pattern;
  setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  setenv("PULSE_RUNTIME_PATH", (dir_ / "pulse").c_str(), 1);
  setenv("HOME", dir_.c_str(), 1);
  unsetenv("PULSE_SERVER");
  unsetenv("PULSE_SINK");
  unsetenv("PULSE_SOURCE");
  return Launch(error);
}

bool PrivatePulseServer::Restart(std::string& error) {
  Kill();
  for (int i = 0; i < 100; ++i) {
    if (Launch(error)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::ifstream log(dir_ / "pulse.log");
  std::string line;
  while (std::getline(log, line)) error += "\n" + line;
  return false;
}

bool PrivatePulseServer::Launch(std::string& error) {
  const std::string out = std::string("module-null-sink rate=48000 sink_name=") + kTestSink +
                          " sink_properties='device.description=\"" + kTestSinkDescription + "\"'";
  const std::string line = std::string("module-null-sink rate=48000 sink_name=") + kTestMicLine;
  const std::string mic = std::string("module-virtual-source source_name=") + kTestMic +
                          " master=" + kTestMicLine + ".monitor";
  const int rc = Run({"pulseaudio", "--daemonize=yes", // A server left behind by a crashed test ends by itself once nobody uses it.
                      "--exit-idle-time=30", "-n",
                      "--log-target=file:" + (dir_ / "pulse.log").string(),
                      "--load=module-native-protocol-unix", "--load=" + out, "--load=" + line,
                      "--load=" + mic});
  std::ifstream pidFile(dir_ / "pulse" / "pid");
  if (rc != 0 || !(pidFile >> pid_) || pid_ <= 0) {
    error = "pulseaudio no arranco (rc=" + std::to_string(rc) + ")";
    return false;
  }
  if (Run({"pactl", "set-default-sink", kTestSink}) != 0 ||
      Run({"pactl", "set-default-source", kTestMic}) != 0) {
    error = "pactl fallo";
    return false;
  }
  return true;
}

void PrivatePulseServer::Kill() {
  if (pid_ > 0) kill(pid_, SIGKILL);
  for (int i = 0; i < 200 && pid_ > 0 && !Gone(pid_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = 0;
}

void PrivatePulseServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    for (int i = 0; i < 200 && !Gone(pid_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Kill();
  }
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    dir_.clear();
  }
}

pid_t PlayTone(const std::filesystem::path& folder, const std::string& sink, double hz,
               double seconds) {
  const uint32_t rate = 48000;
  const uint32_t frames = static_cast<uint32_t>(seconds * rate);
  const std::filesystem::path file = folder / ("tone_" + std::to_string(int(hz)) + ".wav");
  {
    std::ofstream out(file, std::ios::binary);
    out.write("RIFF", 4);
    Put32(out, 36 + frames * 4);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, 2);
    Put32(out, rate);
    Put32(out, rate * 4);
    Put16(out, 4);
    Put16(out, 16);
    out.write("data", 4);
    Put32(out, frames * 4);
    for (uint32_t i = 0; i < frames; ++i) {
      const auto s = static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * hz * i / rate)));
      Put16(out, uint16_t(s));
      Put16(out, uint16_t(s));
    }
  }
  return Spawn({"paplay", "-d", sink, file.string()});
}

void EndProcess(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

}  // namespace halvex::testing

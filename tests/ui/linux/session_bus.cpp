#include "ui/linux/session_bus.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

extern char** environ;

namespace halvex::testing {

PrivateSessionBus::PrivateSessionBus() {
  const std::string config = (folder_ / "bus.conf").string();
  {
    std::ofstream file(config);
    file << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n"
            "  <type>session</type>\n"
            "  <listen>unix:dir="
         << folder_.path().string()
         << "</listen>\n"
            "  <auth>EXTERNAL</auth>\n"
            "  <policy context=\"default\">\n"
            "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n"
            "    <allow own=\"*\"/>\n"
            "  </policy>\n"
            "</busconfig>\n";
  }
  int out[2];
  if (pipe(out) != 0) {
    error_ = std::strerror(errno);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  // Its complaints (it cannot raise its file limit here) go to a file, read back on failure.
  const std::string log = (folder_ / "daemon.log").string();
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string configArg = "--config-file=" + config;
  char* argv[] = {const_cast<char*>("dbus-daemon"), const_cast<char*>(configArg.c_str()),
                  const_cast<char*>("--nofork"), const_cast<char*>("--nopidfile"),
                  const_cast<char*>("--print-address"), nullptr};
  const int spawned = posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    pid_ = -1;
    error_ = std::string("dbus-daemon no arranca: ") + std::strerror(spawned);
    close(out[0]);
    return;
  }
  // The daemon prints its address once it listens; end of file means it gave up.
  std::string line;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  if (line.empty()) {
    std::ifstream complaints(log);
    error_ = "dbus-daemon termino sin dar su direccion: " +
             std::string(std::istreambuf_iterator<char>(complaints), std::istreambuf_iterator<char>());
    Stop();
    return;
  }
  address_ = line;
}

PrivateSessionBus::~PrivateSessionBus() { Stop(); }

void PrivateSessionBus::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace halvex::testing

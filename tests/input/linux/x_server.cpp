#include "x_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace halvex::testing {
namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::string& display, int keepFd = -1) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(null, 1);
  dup2(null, 2);
  if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
  for (int fd = 3; fd < 1024; ++fd) {
    if (fd != keepFd) close(fd);
  }
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

void Stop(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

bool OnPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace

TestXServer::TestXServer(bool windowManager) {
  if (!StartXvfb()) {
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr) name_ = display;
  }
  if (windowManager && !name_.empty()) StartWindowManager();
}

TestXServer::~TestXServer() {
  Stop(wm_);
  Stop(xvfb_);
}

bool TestXServer::StartXvfb() {
  if (!OnPath("Xvfb")) return false;
  int fds[2];
  if (pipe(fds) != 0) return false;
  // -displayfd: the server picks a free display and writes its number when ready.
  // -noreset: the server would otherwise restart whenever the last client leaves, refusing
  // connections meanwhile.
  xvfb_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp",
                 "-screen", "0", "1280x800x24"},
                "", fds[1]);
  close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (poll(&p, 1, 20000) > 0) {
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (number.empty()) {
    Stop(xvfb_);
    return false;
  }
  name_ = ":" + number;
  return true;
}

bool TestXServer::StartWindowManager() {
  if (!OnPath("openbox")) return false;
  Display* d = XOpenDisplay(name_.c_str());
  if (d == nullptr) return false;
  wm_ = Spawn({"openbox", "--sm-disable"}, name_);
  // Ready once it announces itself on the root window.
  const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
  bool ready = false;
  for (int i = 0; i < 2000 && !ready; ++i) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format,
                       &count, &after, &data);
    ready = count == 1;
    if (data != nullptr) XFree(data);
    if (!ready) usleep(5000);
  }
  XCloseDisplay(d);
  if (!ready) Stop(wm_);
  return ready;
}

TestXServer& BareXServer() {
  static TestXServer server(false);
  return server;
}

TestXServer& ManagedXServer() {
  static TestXServer server(true);
  return server;
}

}  // namespace halvex::testing

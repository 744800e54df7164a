// GoogleTest before the X headers: their macros (None, Bool, ...) break its templates.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include "input/linux/x11_window_system.h"
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "input/linux/x11_error_trap.h"
#include "input/pe_image_builder.h"
#include "input/target_detector.h"
#include "x_server.h"

namespace halvex {
namespace {
namespace fs = std::filesystem;

// A client connection that makes windows the way programs do.
class Client {
 public:
  explicit Client(const std::string& display) : d(XOpenDisplay(display.c_str())) {}
  ~Client() {
    if (d != nullptr) XCloseDisplay(d);
  }
  Atom A(const char* name) { return XInternAtom(d, name, False); }

  Window Create(int x, int y, int w, int h, Window parent = None) {
    const Window win = XCreateSimpleWindow(d, parent == None ? DefaultRootWindow(d) : parent, x, y,
                                           w, h, 0, 0, 0);
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = x;
    hints.y = y;
    hints.width = w;
    hints.height = h;
    XSetWMNormalHints(d, win, &hints);
    return win;
  }
  void SetPid(Window w, unsigned long pid) {
    XChangeProperty(d, w, A("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
  }
  void SetClass(Window w, const char* instance, const char* cls) {
    XClassHint hint{const_cast<char*>(instance), const_cast<char*>(cls)};
    XSetClassHint(d, w, &hint);
  }
  void SetUtf8Title(Window w, const std::string& title) {
    XChangeProperty(d, w, A("_NET_WM_NAME"), A("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
  }
  void SetAtoms(Window w, const char* property, std::vector<const char*> names) {
    std::vector<Atom> atoms;
    for (const char* n : names) atoms.push_back(A(n));
    XChangeProperty(d, w, A(property), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
  }
  void SetCardinals(Window w, const char* property, Atom type, std::vector<unsigned long> values) {
    XChangeProperty(d, w, A(property), type, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(values.data()),
                    static_cast<int>(values.size()));
  }
  void Sync() { XSync(d, False); }

  Display* d;
};

class X11WindowSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testing::BareXServer().Name().empty()) << "no X server";
    client = std::make_unique<Client>(testing::BareXServer().Name());
    ASSERT_NE(client->d, nullptr);
    windows = X11WindowSystem::Open(testing::BareXServer().Name().c_str());
    ASSERT_NE(windows, nullptr);
  }
  std::unique_ptr<Client> client;
  std::unique_ptr<X11WindowSystem> windows;
};

TEST_F(X11WindowSystemTest, ReadsWhatProgramsSetOnTheirWindows) {
  const Window game = client->Create(10, 20, 800, 600);
  client->SetPid(game, 4242);
  client->SetClass(game, "game", "GameClass");
  client->SetUtf8Title(game, "Juego ñ ☃");
  const Window dialog = client->Create(50, 50, 300, 200);
  XSetTransientForHint(client->d, dialog, game);
  XStoreName(client->d, dialog, "Caf\xe9");  // WM_NAME in Latin-1
  const Window inner = client->Create(5, 5, 100, 100, game);
  const Window innermost = client->Create(1, 1, 10, 10, inner);
  XMapWindow(client->d, game);
  client->Sync();

  EXPECT_TRUE(windows->IsWindow(game));
  EXPECT_EQ(windows->WindowProcess(game), 4242u);
  EXPECT_EQ(windows->ClassName(game), "GameClass");
  EXPECT_EQ(windows->Title(game), "Juego ñ ☃");
  EXPECT_EQ(windows->Title(dialog), "Café");
  EXPECT_EQ(windows->Owner(dialog), game);
  EXPECT_EQ(windows->Owner(game), 0u);
  EXPECT_EQ(windows->ClientRectOnScreen(game), (Rect{10, 20, 810, 620}));
  EXPECT_EQ(windows->WindowRect(game), (Rect{10, 20, 810, 620}));
  EXPECT_EQ(windows->ClientRectOnScreen(inner), (Rect{15, 25, 115, 125}));
  EXPECT_TRUE(windows->IsVisible(game));
  EXPECT_FALSE(windows->IsVisible(dialog));  // never mapped
  EXPECT_FALSE(windows->IsMinimized(game));
  EXPECT_FALSE(windows->IsMaximized(game));
  EXPECT_FALSE(windows->IsToolWindow(game));
  EXPECT_FALSE(windows->IsDesktopShellWindow(game));
  EXPECT_EQ(windows->WindowProcess(dialog), 0u);
  EXPECT_EQ(windows->AppUserModelId(game), "");

  const auto children = windows->ChildWindows(game);
  EXPECT_EQ(children, (std::vector<WindowId>{inner, innermost}));
  const auto top = windows->TopLevelWindows();
  EXPECT_NE(std::find(top.begin(), top.end(), game), top.end());
  EXPECT_EQ(std::find(top.begin(), top.end(), inner), top.end());

  // Window manager properties.
  client->SetCardinals(game, "_NET_FRAME_EXTENTS", XA_CARDINAL, {1, 2, 30, 4});
  client->SetAtoms(game, "_NET_WM_STATE",
                   {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"});
  client->Sync();
  EXPECT_EQ(windows->WindowRect(game), (Rect{9, -10, 812, 624}));
  EXPECT_TRUE(windows->IsMaximized(game));
  client->SetAtoms(game, "_NET_WM_STATE", {"_NET_WM_STATE_MAXIMIZED_VERT"});
  client->Sync();
  EXPECT_FALSE(windows->IsMaximized(game));
  client->SetAtoms(game, "_NET_WM_STATE", {"_NET_WM_STATE_HIDDEN"});
  client->Sync();
  EXPECT_TRUE(windows->IsMinimized(game));

  // Iconified by a manager: unmapped, WM_STATE Iconic; shown (as on Windows) but minimised.
  client->SetAtoms(game, "_NET_WM_STATE", {});
  XUnmapWindow(client->d, game);
  client->Sync();
  EXPECT_FALSE(windows->IsVisible(game));
  client->SetCardinals(game, "WM_STATE", client->A("WM_STATE"), {IconicState, None});
  client->Sync();
  EXPECT_TRUE(windows->IsVisible(game));
  EXPECT_TRUE(windows->IsMinimized(game));

  client->SetAtoms(game, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DOCK"});
  client->SetAtoms(dialog, "_NET_WM_STATE", {"_NET_WM_STATE_SKIP_TASKBAR"});
  client->Sync();
  EXPECT_TRUE(windows->IsDesktopShellWindow(game));
  EXPECT_TRUE(windows->IsToolWindow(game));
  EXPECT_TRUE(windows->IsToolWindow(dialog));
  EXPECT_FALSE(windows->IsDesktopShellWindow(dialog));
  XDestroyWindow(client->d, game);
  XDestroyWindow(client->d, dialog);
  client->Sync();
}

TEST_F(X11WindowSystemTest, VanishedWindowsAnswerNoWithoutDying) {
  const Window w = client->Create(0, 0, 700, 400);
  client->SetPid(w, 77);
  XMapWindow(client->d, w);
  client->Sync();
  ASSERT_TRUE(windows->IsWindow(w));
  XDestroyWindow(client->d, w);
  client->Sync();

  const uint64_t untrapped = x11::UntrappedErrors();
  for (const WindowId gone : {WindowId{w}, WindowId{0x3fffff0}, WindowId{0}}) {
    EXPECT_FALSE(windows->IsWindow(gone));
    EXPECT_FALSE(windows->IsVisible(gone));
    EXPECT_FALSE(windows->IsMinimized(gone));
    EXPECT_FALSE(windows->IsToolWindow(gone));
    EXPECT_EQ(windows->Owner(gone), 0u);
    EXPECT_EQ(windows->WindowRect(gone), std::nullopt);
    EXPECT_EQ(windows->ClientRectOnScreen(gone), std::nullopt);
    EXPECT_EQ(windows->ClassName(gone), "");
    EXPECT_EQ(windows->Title(gone), "");
    EXPECT_EQ(windows->WindowProcess(gone), 0u);
    EXPECT_TRUE(windows->ChildWindows(gone).empty());
    EXPECT_EQ(windows->RefreshRateHz(gone), 0);
  }
  EXPECT_EQ(x11::UntrappedErrors(), untrapped);  // every error was caught where it happened
}

TEST_F(X11WindowSystemTest, ForegroundFromActiveWindowElseInputFocus) {
  const Window a = client->Create(0, 0, 640, 360);
  const Window child = client->Create(10, 10, 50, 50, a);
  XMapWindow(client->d, a);
  XMapWindow(client->d, child);
  const Window root = DefaultRootWindow(client->d);
  client->Sync();

  XSetInputFocus(client->d, child, RevertToParent, CurrentTime);
  XDeleteProperty(client->d, root, client->A("_NET_ACTIVE_WINDOW"));
  client->Sync();
  EXPECT_EQ(windows->ForegroundWindow(), a);  // focus inside `a` means `a`

  const Window b = client->Create(0, 0, 100, 100);
  client->SetCardinals(root, "_NET_ACTIVE_WINDOW", XA_WINDOW, {b});
  client->Sync();
  EXPECT_EQ(windows->ForegroundWindow(), b);
  client->SetCardinals(root, "_NET_ACTIVE_WINDOW", XA_WINDOW, {None});
  client->Sync();
  EXPECT_EQ(windows->ForegroundWindow(), 0u);
  XDeleteProperty(client->d, root, client->A("_NET_ACTIVE_WINDOW"));
  XSetInputFocus(client->d, PointerRoot, RevertToPointerRoot, CurrentTime);
  client->Sync();
  EXPECT_EQ(windows->ForegroundWindow(), 0u);
  XDestroyWindow(client->d, a);
  XDestroyWindow(client->d, b);
  client->Sync();
}

TEST_F(X11WindowSystemTest, NearestMonitorIsTheOneShowingMostOfTheWindow) {
  const Window root = DefaultRootWindow(client->d);
  const int width = DisplayWidth(client->d, DefaultScreen(client->d));
  const int height = DisplayHeight(client->d, DefaultScreen(client->d));
  const Window w = client->Create(10, 10, 200, 100);
  client->Sync();
  // One monitor, the server's own: the whole screen, also for a window beyond it.
  EXPECT_EQ(windows->NearestMonitorRect(w), (Rect{0, 0, width, height}));
  XMoveWindow(client->d, w, width + 300, 20);
  client->Sync();
  EXPECT_EQ(windows->NearestMonitorRect(w), (Rect{0, 0, width, height}));

  // Two monitors side by side, left and right halves of the screen. The left one takes the
  // server's output, which retires the monitor the server made for it.
  const int half = width / 2;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(client->d, root);
  ASSERT_NE(resources, nullptr);
  ASSERT_GE(resources->noutput, 1);
  XRRMonitorInfo* left = XRRAllocateMonitor(client->d, 1);
  left->outputs[0] = resources->outputs[0];
  XRRFreeScreenResources(resources);
  XRRMonitorInfo* right = XRRAllocateMonitor(client->d, 0);
  left->name = client->A("HALVEX-LEFT");
  left->x = 0, left->y = 0, left->width = half, left->height = height;
  right->name = client->A("HALVEX-RIGHT");
  right->x = half, right->y = 0, right->width = width - half, right->height = height;
  XRRSetMonitor(client->d, root, left);
  XRRSetMonitor(client->d, root, right);
  client->Sync();
  struct Case {
    int x;
    int y;
    Rect expected;
  };
  const Rect leftRect{0, 0, half, height}, rightRect{half, 0, width, height};
  for (const Case& c : std::vector<Case>{{10, 10, leftRect},
                                         {half - 50, 10, rightRect},  // 50 left, 150 right
                                         {half - 150, 10, leftRect},
                                         {width + 40, 40, rightRect},  // off screen, nearest
                                         {-500, 40, leftRect}}) {
    SCOPED_TRACE(c.x);
    XMoveWindow(client->d, w, c.x, c.y);
    client->Sync();
    EXPECT_EQ(windows->NearestMonitorRect(w), c.expected);
  }
  XRRDeleteMonitor(client->d, root, left->name);
  XRRDeleteMonitor(client->d, root, right->name);
  XRRFreeMonitors(left);
  XRRFreeMonitors(right);
  XDestroyWindow(client->d, w);
  client->Sync();
  EXPECT_EQ(windows->NearestMonitorRect(w), std::nullopt);
}

TEST_F(X11WindowSystemTest, RefreshRateOfTheMonitorShowingTheWindow) {
  const Window w = client->Create(0, 0, 640, 360);
  XMapWindow(client->d, w);
  client->Sync();
  // Xvfb's own mode has no timings: the rate is unknown.
  EXPECT_EQ(windows->RefreshRateHz(w), 0);

  // A mode of the same size with real timings: 104.706 MHz / (1680 x 831) = 75 Hz.
  const Window root = DefaultRootWindow(client->d);
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(client->d, root);
  ASSERT_NE(resources, nullptr);
  ASSERT_GE(resources->ncrtc, 1);
  ASSERT_GE(resources->noutput, 1);
  XRRCrtcInfo* crtc = XRRGetCrtcInfo(client->d, resources, resources->crtcs[0]);
  ASSERT_NE(crtc, nullptr);
  XRRModeInfo mode{};
  mode.width = crtc->width;
  mode.height = crtc->height;
  mode.dotClock = 104706000;
  mode.hSyncStart = mode.width + 72;
  mode.hSyncEnd = mode.width + 200;
  mode.hTotal = 1680;
  mode.vSyncStart = mode.height + 3;
  mode.vSyncEnd = mode.height + 9;
  mode.vTotal = 831;
  char name[] = "halvex-test-75";
  mode.name = name;
  mode.nameLength = sizeof name - 1;
  const RRMode id = XRRCreateMode(client->d, root, &mode);
  XRRAddOutputMode(client->d, resources->outputs[0], id);
  ASSERT_EQ(XRRSetCrtcConfig(client->d, resources, resources->crtcs[0], CurrentTime, crtc->x,
                             crtc->y, id, RR_Rotate_0, resources->outputs, 1),
            Success);
  client->Sync();
  EXPECT_EQ(windows->RefreshRateHz(w), 75);
  // Back to the server's own mode for the other tests.
  XRRSetCrtcConfig(client->d, resources, resources->crtcs[0], CurrentTime, crtc->x, crtc->y,
                   crtc->mode, crtc->rotation, crtc->outputs, crtc->noutput);
  XRRFreeCrtcInfo(crtc);
  XRRFreeScreenResources(resources);
  XDestroyWindow(client->d, w);
  client->Sync();
}

TEST_F(X11WindowSystemTest, ProcessesFromProc) {
  const ProcessId self = static_cast<ProcessId>(getpid());
  EXPECT_EQ(windows->OwnProcess(), self);
  EXPECT_EQ(windows->ProcessImagePath(self), fs::canonical("/proc/self/exe"));
  EXPECT_TRUE(windows->ProcessAlive(self));
  EXPECT_FALSE(windows->ProcessAlive(0));
  EXPECT_FALSE(windows->ProcessImagePath(0));
  const auto parents = windows->ProcessParents();
  EXPECT_TRUE(DescendsFrom(parents, self, static_cast<ProcessId>(getppid())));
  EXPECT_TRUE(DescendsFrom(parents, self, 1));
}

// A process that looks like a Wine game: argv[0] is the Windows program, WINEPREFIX its prefix.
class FakeWineGame {
 public:
  explicit FakeWineGame(const fs::path& prefix) {
    pid_ = fork();
    if (pid_ == 0) {
      setenv("WINEPREFIX", prefix.c_str(), 1);
      const char* argv[] = {"C:\\Games\\Game.exe", "60", nullptr};
      execv("/bin/sleep", const_cast<char**>(argv));
      _exit(127);
    }
    // Wait until the new image is in place.
    for (int i = 0; i < 2000; ++i) {
      std::error_code error;
      if (fs::read_symlink("/proc/" + std::to_string(pid_) + "/exe", error).filename() == "sleep") {
        break;
      }
      usleep(1000);
    }
  }
  ~FakeWineGame() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  ProcessId Pid() const { return static_cast<ProcessId>(pid_); }

 private:
  pid_t pid_ = -1;
};

// The whole detection over a real X server, with a window manager deciding the focus.
class X11TargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& server = testing::ManagedXServer();
    ASSERT_FALSE(server.Name().empty()) << "no X server";
    ASSERT_TRUE(server.HasWindowManager()) << "openbox did not start";
    client = std::make_unique<Client>(server.Name());
    windows = X11WindowSystem::Open(server.Name().c_str());
    ASSERT_NE(windows, nullptr);
    prefix = fs::temp_directory_path() / ("halvex_x11_wine_" + std::to_string(getpid()));
    fs::remove_all(prefix);
    fs::create_directories(prefix / "drive_c/Games");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
    const auto image = pe::testing::ImageNamed(u"My Game");
    std::ofstream(prefix / "drive_c/Games/Game.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), image.size());
  }
  void TearDown() override { fs::remove_all(prefix); }

  // Maps a window and waits until the manager has made it the active one.
  bool MapAndActivate(Window w) {
    XMapWindow(client->d, w);
    client->Sync();
    for (int i = 0; i < 2000; ++i) {
      // Active, and framed (the frame extents are set once the manager has reparented it).
      if (windows->ForegroundWindow() == w &&
          windows->WindowRect(w) != windows->ClientRectOnScreen(w)) {
        return true;
      }
      XEvent e{};
      e.xclient.type = ClientMessage;
      e.xclient.window = w;
      e.xclient.message_type = client->A("_NET_ACTIVE_WINDOW");
      e.xclient.format = 32;
      e.xclient.data.l[0] = 1;
      XSendEvent(client->d, DefaultRootWindow(client->d), False,
                 SubstructureRedirectMask | SubstructureNotifyMask, &e);
      client->Sync();
      usleep(5000);
    }
    return false;
  }

  std::unique_ptr<Client> client;
  std::unique_ptr<X11WindowSystem> windows;
  fs::path prefix;
};

TEST_F(X11TargetTest, WineGameInFrontIsTargetNamedByItsVersionResource) {
  FakeWineGame game(prefix);
  const Window w = client->Create(0, 0, 1024, 700);
  client->SetPid(w, game.Pid());
  client->SetClass(w, "game.exe", "game.exe");
  client->SetUtf8Title(w, "Game Window");
  ASSERT_TRUE(MapAndActivate(w));

  EXPECT_EQ(windows->ProcessImagePath(game.Pid()), prefix / "dosdevices/c:/Games/Game.exe");
  TargetDetector detector(*windows);
  TargetInfo info = detector.DetectForeground();
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.window, w);
  EXPECT_EQ(info.processId, game.Pid());
  EXPECT_EQ(info.executableName, "Game.exe");
  EXPECT_EQ(info.title, "Game Window");
  EXPECT_EQ(info.displayName, "My Game");
  EXPECT_TRUE(detector.TargetInFrontByWindow(w, game.Pid()));
  EXPECT_TRUE(detector.TargetAlive(game.Pid()));

  // The frame drawn by the manager makes the outer rectangle larger than the client area.
  const Rect outer = *windows->WindowRect(w);
  const Rect inner = *windows->ClientRectOnScreen(w);
  EXPECT_GE(inner.left, outer.left);
  EXPECT_GT(inner.top, outer.top);
  EXPECT_EQ(inner.Width(), 1024);
  const auto top = windows->TopLevelWindows();
  EXPECT_NE(std::find(top.begin(), top.end(), w), top.end());

  detector.SetVideoExclusions({"game.exe"});
  EXPECT_FALSE(detector.DetectForeground().valid);
  detector.SetVideoExclusions({});

  // Iconified: still a window of the game, no longer a candidate.
  XIconifyWindow(client->d, w, DefaultScreen(client->d));
  client->Sync();
  bool minimized = false;
  for (int i = 0; i < 2000 && !minimized; ++i) {
    minimized = windows->IsMinimized(w);
    if (!minimized) usleep(5000);
  }
  EXPECT_TRUE(minimized);
  EXPECT_TRUE(windows->IsVisible(w));
  EXPECT_FALSE(detector.IsCandidateWindow(w));
  XDestroyWindow(client->d, w);
  client->Sync();
}

TEST_F(X11TargetTest, OwnWindowsAndDesktopProgramsAreNoTarget) {
  const Window own = client->Create(0, 0, 1024, 700);
  client->SetPid(own, static_cast<unsigned long>(getpid()));
  ASSERT_TRUE(MapAndActivate(own));
  TargetDetector detector(*windows);
  EXPECT_FALSE(detector.DetectForeground().valid);
  XDestroyWindow(client->d, own);
  client->Sync();

  // openbox is a built-in exclusion on Linux; its process owns no game.
  const pid_t sleeper = fork();
  if (sleeper == 0) {
    execl("/bin/sleep", "sleep", "60", nullptr);
    _exit(127);
  }
  const Window native = client->Create(0, 0, 1024, 700);
  client->SetPid(native, static_cast<unsigned long>(sleeper));
  ASSERT_TRUE(MapAndActivate(native));
  TargetInfo info;
  for (int i = 0; i < 2000 && info.executableName != "sleep"; ++i) {
    info = detector.DetectForeground();
    usleep(1000);
  }
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.executableName, "sleep");
  EXPECT_EQ(info.displayName, info.title);  // no desktop entry starts sleep
  kill(sleeper, SIGKILL);
  waitpid(sleeper, nullptr, 0);
  EXPECT_FALSE(detector.TargetAlive(static_cast<ProcessId>(sleeper)));
  XDestroyWindow(client->d, native);
  client->Sync();
}

}  // namespace
}  // namespace halvex

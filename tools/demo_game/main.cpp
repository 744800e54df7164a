// halvex-demo-game: a stand-in game for the end-to-end runs. A window titled "Space: Odyssey" shows
// a 60 fps test pattern whose frame number can be read back from a clip, and plays a tone with a
// beep on every white frame.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "options.h"
#include "pattern.h"
#include "tone.h"

namespace halvex::demo {
namespace {

constexpr const char* kTitle = "Space: Odyssey";
constexpr int64_t kFrameNs = 1'000'000'000 / kFramesPerSecond;

std::atomic<bool> gStop{false};

void OnSignal(int) { gStop = true; }

int OnIoError(Display*) {
  // The display went away (server ended or connection killed): nothing left to draw on.
  std::printf("demo: conexion con el servidor X perdida\n");
  std::fflush(stdout);
  std::_Exit(0);
}

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void SleepUntil(int64_t ns) {
  timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  // A signal interrupts the wait; the caller checks the stop flag.
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

void SetNames(Display* d, Window w) {
  XStoreName(d, w, kTitle);
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(kTitle),
                  static_cast<int>(std::string(kTitle).size()));
  XClassHint hint{};
  std::string resName = "halvex-demo-game";
  std::string resClass = "HalvexDemoGame";
  hint.res_name = resName.data();
  hint.res_class = resClass.data();
  XSetClassHint(d, w, &hint);
  const long pid = getpid();
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
}

int Run(const Options& o) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "demo: no se pudo abrir la pantalla X (DISPLAY=%s)\n",
                 std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
    return 1;
  }
  XSetIOErrorHandler(OnIoError);
  const int screen = DefaultScreen(d);
  Visual* visual = DefaultVisual(d, screen);
  const unsigned depth = static_cast<unsigned>(DefaultDepth(d, screen));
  Window w = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(o.width),
                                 static_cast<unsigned>(o.height), 0, BlackPixel(d, screen),
                                 BlackPixel(d, screen));
  SetNames(d, w);
  Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d, w, &deleteWindow, 1);
  XSelectInput(d, w, StructureNotifyMask | ExposureMask);
  XMapRaised(d, w);

  PatternLayout layout = LayoutFor(o.width, o.height);
  // Each frame is painted off screen and copied in one request, so no capture sees half a frame.
  Pixmap back = XCreatePixmap(d, w, static_cast<unsigned>(o.width), static_cast<unsigned>(o.height),
                              depth);
  GC copyGc = XCreateGC(d, w, 0, nullptr);
  auto painter = std::make_unique<PatternPainter>(d, visual, back);

  const int64_t origin = MonotonicNs();
  TonePlayer tone;
  if (o.sound) tone.Start(origin, o.toneHz, kTitle);
  std::printf("demo: ventana 0x%lx, pid %d, %dx%d, bloque %d en (%d,%d)\n", w,
              static_cast<int>(getpid()), o.width, o.height, layout.block, layout.codeX,
              layout.codeY);
  std::fflush(stdout);

  int64_t frame = 0;
  while (!gStop) {
    while (XPending(d)) {
      XEvent ev;
      XNextEvent(d, &ev);
      if (ev.type == ClientMessage && static_cast<Atom>(ev.xclient.data.l[0]) == deleteWindow) {
        gStop = true;
      } else if (ev.type == ConfigureNotify &&
                 (ev.xconfigure.width != layout.width || ev.xconfigure.height != layout.height)) {
        layout = LayoutFor(ev.xconfigure.width, ev.xconfigure.height);
        XFreePixmap(d, back);
        back = XCreatePixmap(d, w, static_cast<unsigned>(layout.width),
                             static_cast<unsigned>(layout.height), depth);
      } else if (ev.type == DestroyNotify) {
        gStop = true;
      }
    }
    if (gStop) break;
    painter->Paint(back, layout, static_cast<uint64_t>(frame));
    XCopyArea(d, back, w, copyGc, 0, 0, static_cast<unsigned>(layout.width),
              static_cast<unsigned>(layout.height), 0, 0);
    XFlush(d);

    // The frame number is the clock: a late frame is skipped rather than shown late.
    const int64_t now = MonotonicNs();
    frame = std::max(frame + 1, (now - origin) / kFrameNs);
    SleepUntil(origin + frame * kFrameNs);
    const int64_t woke = MonotonicNs();
    if ((woke - origin) / kFrameNs > frame) frame = (woke - origin) / kFrameNs;
  }

  tone.Stop();
  painter.reset();
  XFreeGC(d, copyGc);
  XFreePixmap(d, back);
  XDestroyWindow(d, w);
  XCloseDisplay(d);
  std::printf("demo: fin\n");
  return 0;
}

}  // namespace
}  // namespace halvex::demo

int main(int argc, char** argv) {
  std::string error;
  const auto options =
      halvex::demo::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr,
                 "demo: %s\nuso: halvex-demo-game [--size ANCHOxALTO] [--tone HZ] [--no-sound]\n",
                 error.c_str());
    return 2;
  }
  struct sigaction sa{};
  sa.sa_handler = halvex::demo::OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  return halvex::demo::Run(*options);
}

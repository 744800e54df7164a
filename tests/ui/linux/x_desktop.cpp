#include "ui/linux/x_desktop.h"

#include <X11/Xutil.h>
#include <cairo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace halvex::testing {

DesktopProgram::DesktopProgram(const std::string& display, std::vector<std::string> argv) {
  pid_ = fork();
  if (pid_ == 0) {
    setenv("DISPLAY", display.c_str(), 1);
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      dup2(devnull, STDOUT_FILENO);
      dup2(devnull, STDERR_FILENO);
    }
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
}

DesktopProgram::~DesktopProgram() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

bool WaitFor(const std::function<bool()>& done, int limitMs) {
  for (int waited = 0;; waited += 10) {
    if (done()) return true;
    if (waited >= limitMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

Window CreateGameWindow(Display* d, const Rect& r, Color colour) {
  XSetWindowAttributes a{};
  a.override_redirect = True;
  const Window w = XCreateWindow(d, DefaultRootWindow(d), r.left, r.top,
                                 static_cast<unsigned>(r.Width()),
                                 static_cast<unsigned>(r.Height()), 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect, &a);
  XMapRaised(d, w);
  XSync(d, False);
  FillWindow(d, w, colour);
  return w;
}

void FillWindow(Display* d, Window w, Color colour) {
  XWindowAttributes a{};
  XGetWindowAttributes(d, w, &a);
  GC gc = XCreateGC(d, w, 0, nullptr);
  XSetForeground(d, gc, (static_cast<unsigned long>(colour.r) << 16) | (colour.g << 8) | colour.b);
  XFillRectangle(d, w, gc, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height));
  XFreeGC(d, gc);
  XSync(d, False);
}

std::vector<Color> RootPixels(Display* d, const Rect& r) {
  std::vector<Color> out;
  XImage* image = XGetImage(d, DefaultRootWindow(d), r.left, r.top,
                            static_cast<unsigned>(r.Width()), static_cast<unsigned>(r.Height()),
                            AllPlanes, ZPixmap);
  if (!image) return out;
  out.reserve(static_cast<size_t>(r.Width() * r.Height()));
  for (int y = 0; y < r.Height(); ++y) {
    for (int x = 0; x < r.Width(); ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      out.push_back(Rgb(static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                        static_cast<uint8_t>(p)));
    }
  }
  XDestroyImage(image);
  return out;
}

Color RootPixel(Display* d, int x, int y) {
  const auto p = RootPixels(d, Rect{x, y, x + 1, y + 1});
  return p.empty() ? Color{0, 0, 0, 0} : p[0];
}

bool WriteRootPng(Display* d, const Rect& r, const std::filesystem::path& file) {
  const std::vector<Color> pixels = RootPixels(d, r);
  if (pixels.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, r.Width(), r.Height());
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < r.Height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < r.Width(); ++x) {
      const Color c = pixels[static_cast<size_t>(y * r.Width() + x)];
      row[x] = (static_cast<uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
    }
  }
  cairo_surface_mark_dirty(s);
  const bool ok = cairo_surface_write_to_png(s, file.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  return ok;
}

bool Near(Color a, Color b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

}  // namespace halvex::testing

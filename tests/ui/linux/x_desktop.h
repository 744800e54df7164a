#pragma once
// Pieces of a desktop for the overlay's tests on a private X server: a program of the desktop
// (window manager, compositing manager) run on that server, a plain window to put the badge over,
// and pictures of the screen.
#include <X11/Xlib.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/rect.h"
#include "ui/canvas.h"

namespace halvex::testing {

// Runs `argv` with DISPLAY set to `display`; ends it (by its pid) when destroyed.
class DesktopProgram {
 public:
  DesktopProgram(const std::string& display, std::vector<std::string> argv);
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

// Checks `done` every 10 ms, at most `limitMs`; true once it holds.
bool WaitFor(const std::function<bool()>& done, int limitMs = 5000);

// An unmanaged window with no background (as a game's), filled with `colour` and mapped.
Window CreateGameWindow(Display* d, const Rect& r, Color colour);

// Draws `colour` over the whole window, as a game drawing its next picture.
void FillWindow(Display* d, Window w, Color colour);

// The root window's pixel.
Color RootPixel(Display* d, int x, int y);
// The root's pixels in `r`, row after row.
std::vector<Color> RootPixels(Display* d, const Rect& r);
// Writes the root's pixels in `r` as a PNG file (folders made as needed).
bool WriteRootPng(Display* d, const Rect& r, const std::filesystem::path& file);

// Every channel within `tolerance`.
bool Near(Color a, Color b, int tolerance = 0);

}  // namespace halvex::testing

#pragma once
// Keeps our own windows out of screen captures: in a picture read from the root window, the area
// of every window marked to be left out (core/linux/x11_capture_mark.h) is painted again from the
// pixmaps of the windows beneath it, which the marked window keeps redirected. Parts with no
// window beneath, or under a window whose pixels the server does not hold, become black.
#include <X11/Xlib.h>

#include <unordered_map>
#include <vector>

#include "core/linux/cpu_picture.h"
#include "core/rect.h"

namespace halvex::x11 {

class ExcludedWindows {
 public:
  ExcludedWindows(Display* display, Window root);

  // `picture` holds the area `area` of the root. Costs one round trip when no marked window is
  // shown, a few more and one small read per window beneath when one is.
  void Erase(const Rect& area, CpuPicture& picture);
  // How many marked areas the last Erase painted again.
  int LastErased() const { return lastErased_; }

 private:
  bool IsMarked(Window w);
  void PaintFromBeneath(Window w, const Rect& outer, const std::vector<Rect>& parts,
                        const Rect& area, CpuPicture& picture);

  Display* display_;
  Window root_;
  Atom mark_;
  bool composite_ = false;  // without it no pixmaps of the windows beneath can be named
  std::unordered_map<Window, bool> marked_;  // every top-level looked at, by id
  int lastErased_ = 0;
};

}  // namespace halvex::x11

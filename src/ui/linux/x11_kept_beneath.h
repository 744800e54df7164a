#pragma once
// Keeps the top-level windows under the overlay redirected (Composite, automatic) from before the
// overlay first covers them: the server then holds their pixels beneath the badge, which a screen
// capture paints back in place of the badge (core/linux/x11_capture_mark.h). A window redirected
// only once the badge is over it would start from the screen's pixels, badge included.
// The redirections last as long as the connection that made them.
#include <X11/Xlib.h>

#include <unordered_set>

#include "core/rect.h"

namespace halvex::x11 {

class KeptBeneath {
 public:
  // `self`: the overlay window, a child of the root.
  KeptBeneath(Display* display, Window self);

  // Call before showing `self` at `bounds` (root coordinates) or moving it there. Does nothing
  // without Composite.
  void Cover(const Rect& bounds);
  // Windows this connection keeps redirected.
  size_t Count() const { return redirected_.size(); }

 private:
  Display* display_;
  Window self_;
  Window root_;
  bool composite_ = false;
  std::unordered_set<Window> redirected_;
};

}  // namespace halvex::x11

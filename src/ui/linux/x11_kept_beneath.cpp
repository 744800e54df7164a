#include "ui/linux/x11_kept_beneath.h"

#include <X11/extensions/Xcomposite.h>

#include <vector>

#include "core/rect_list.h"
#include "input/linux/x11_error_trap.h"

namespace halvex::x11 {

KeptBeneath::KeptBeneath(Display* display, Window self)
    : display_(display), self_(self), root_(DefaultRootWindow(display)) {
  int eventBase = 0, errorBase = 0;
  composite_ = XCompositeQueryExtension(display_, &eventBase, &errorBase);
}

void KeptBeneath::Cover(const Rect& bounds) {
  if (!composite_ || bounds.Empty()) return;
  Window rootReturn = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  ErrorTrap trap(display_);
  if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &count)) return;
  std::vector<Window> stack(children, children + count);  // bottom to top
  if (children) XFree(children);

  std::unordered_set<Window> alive(stack.begin(), stack.end());
  std::erase_if(redirected_, [&](Window w) { return !alive.contains(w); });

  // From just below the overlay downwards, until the windows met cover the whole badge.
  size_t top = stack.size();
  for (size_t i = 0; i < stack.size(); ++i) {
    if (stack[i] == self_) top = i;
  }
  std::vector<Rect> uncovered{bounds};
  for (size_t i = top; i-- > 0 && !uncovered.empty();) {
    const Window w = stack[i];
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display_, w, &a) || a.map_state != IsViewable ||
        a.c_class != InputOutput) {
      continue;
    }
    const Rect outer{a.x, a.y, a.x + a.width + 2 * a.border_width,
                     a.y + a.height + 2 * a.border_width};
    if (!Meets(uncovered, outer)) continue;
    Subtract(uncovered, outer);
    if (redirected_.contains(w)) continue;
    XCompositeRedirectWindow(display_, w, CompositeRedirectAutomatic);
    redirected_.insert(w);
  }
  // A window that vanished meanwhile is simply not kept.
  trap.Sync();
}

}  // namespace halvex::x11

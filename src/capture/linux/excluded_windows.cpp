#include "capture/linux/excluded_windows.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

#include <cstring>
#include <optional>
#include <vector>

#include "core/linux/x11_capture_mark.h"
#include "core/rect_list.h"
#include "input/linux/x11_error_trap.h"

namespace halvex::x11 {
namespace {

struct TopLevel {
  Rect outer;  // border included, as the window's pixmap
};

// A shown top-level that has pixels of its own; nullopt otherwise.
std::optional<TopLevel> Shown(Display* d, Window w) {
  XWindowAttributes a{};
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable || a.c_class != InputOutput) {
    return std::nullopt;
  }
  return TopLevel{Rect{a.x, a.y, a.x + a.width + 2 * a.border_width,
                       a.y + a.height + 2 * a.border_width}};
}

void FillBlack(const std::vector<Rect>& parts, const Rect& area, CpuPicture& picture) {
  for (const Rect& r : parts) {
    for (int y = r.top; y < r.bottom; ++y) {
      std::memset(picture.Row(y - area.top) + 4 * (r.left - area.left), 0,
                  static_cast<size_t>(r.Width()) * 4);
    }
  }
}

}  // namespace

ExcludedWindows::ExcludedWindows(Display* display, Window root)
    : display_(display), root_(root), mark_(XInternAtom(display, kExcludeFromCaptureAtom, False)) {
  int eventBase = 0, errorBase = 0;
  composite_ = XCompositeQueryExtension(display, &eventBase, &errorBase);
}

bool ExcludedWindows::IsMarked(Window w) {
  if (auto it = marked_.find(w); it != marked_.end()) return it->second;
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  const bool marked = XGetWindowProperty(display_, w, mark_, 0, 1, False, AnyPropertyType, &type,
                                         &format, &items, &after, &data) == Success &&
                      type != None;
  if (data) XFree(data);
  marked_[w] = marked;
  return marked;
}

void ExcludedWindows::Erase(const Rect& area, CpuPicture& picture) {
  lastErased_ = 0;
  ErrorTrap trap(display_);
  Window rootReturn = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &count)) return;
  const std::vector<Window> stack(children, children + count);  // bottom to top
  if (children) XFree(children);

  // Forget windows that are gone, so a reused id is looked at again.
  std::unordered_map<Window, bool> known;
  known.reserve(stack.size());
  for (Window w : stack) {
    if (auto it = marked_.find(w); it != marked_.end()) known.emplace(w, it->second);
  }
  marked_.swap(known);

  for (size_t i = 0; i < stack.size(); ++i) {
    if (!IsMarked(stack[i])) continue;
    const auto self = Shown(display_, stack[i]);
    if (!self) continue;
    std::vector<Rect> parts{Intersection(self->outer, area)};
    if (parts[0].Empty()) continue;
    // What other windows above it show stays as read.
    for (size_t j = i + 1; j < stack.size() && !parts.empty(); ++j) {
      if (IsMarked(stack[j])) continue;
      if (const auto above = Shown(display_, stack[j])) Subtract(parts, above->outer);
    }
    if (parts.empty()) continue;

    // The windows beneath, from the nearest down, until they cover the whole area.
    std::vector<std::pair<Window, Rect>> beneath;
    std::vector<Rect> uncovered = parts;
    for (size_t j = i; composite_ && j-- > 0 && !uncovered.empty();) {
      if (IsMarked(stack[j])) continue;
      const auto below = Shown(display_, stack[j]);
      if (!below || !Meets(uncovered, below->outer)) continue;
      Subtract(uncovered, below->outer);
      beneath.emplace_back(stack[j], below->outer);
    }
    FillBlack(parts, area, picture);
    // Without Composite no window's hidden pixels are held: the badge's place stays black.
    for (auto it = beneath.rbegin(); it != beneath.rend(); ++it) {
      PaintFromBeneath(it->first, it->second, parts, area, picture);
    }
    ++lastErased_;
  }
}

void ExcludedWindows::PaintFromBeneath(Window w, const Rect& outer, const std::vector<Rect>& parts,
                                       const Rect& area, CpuPicture& picture) {
  ErrorTrap trap(display_);
  // BadMatch when nobody redirects the window: its pixels under ours are gone; stays black.
  const Pixmap pixmap = XCompositeNameWindowPixmap(display_, w);
  if (trap.Sync() || pixmap == None) return;
  for (const Rect& part : parts) {
    const Rect r = Intersection(part, outer);
    if (r.Empty()) continue;
    XImage* image = XGetImage(display_, pixmap, r.left - outer.left, r.top - outer.top,
                              static_cast<unsigned>(r.Width()), static_cast<unsigned>(r.Height()),
                              AllPlanes, ZPixmap);
    if (!image) continue;
    // Pixmaps of 24- and 32-bit windows both come as B, G, R, (A or unused) bytes.
    if (image->bits_per_pixel == 32 && image->byte_order == LSBFirst) {
      for (int y = 0; y < r.Height(); ++y) {
        const uint8_t* src =
            reinterpret_cast<const uint8_t*>(image->data) + y * image->bytes_per_line;
        uint8_t* dst = picture.Row(r.top - area.top + y) + 4 * (r.left - area.left);
        for (int x = 0; x < r.Width(); ++x) {
          dst[4 * x] = src[4 * x];
          dst[4 * x + 1] = src[4 * x + 1];
          dst[4 * x + 2] = src[4 * x + 2];
        }
      }
    }
    XDestroyImage(image);
  }
  XFreePixmap(display_, pixmap);
}

}  // namespace halvex::x11

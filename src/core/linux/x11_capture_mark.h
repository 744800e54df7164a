#pragma once
// Our own X windows (the overlay badge) are left out of every recorded picture. A window carries
// this property (type CARDINAL, one value 1) for as long as it must never be recorded; the screen
// capture paints the area of such a window again from the windows beneath it. The window that
// carries the mark keeps those windows redirected (Composite, automatic) from before it first covers
// them, so the server always holds their pixels under it. Window capture reads one window's own
// pixmap and never contains another top-level, so it needs nothing.
namespace halvex::x11 {

inline constexpr char kExcludeFromCaptureAtom[] = "_HALVEX_EXCLUDE_FROM_CAPTURE";

}  // namespace halvex::x11

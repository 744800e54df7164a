#include "ui/overlay_look.h"

namespace halvex::overlay {

std::string OnText(std::string_view label) {
  std::string text = "Clips On - ";
  text += label.empty() ? kDefaultLabel : label;
  text += " Save";
  return text;
}

namespace {

struct Badge {
  Size size;
  Color color;
};

// One row per mode, so a mode's size and colour cannot drift apart.
Badge BadgeFor(BadgeMode mode) {
  switch (mode) {
    case BadgeMode::kDot:
      return {kDotSize, kBadge};
    case BadgeMode::kMessage:
      return {kExpandedSize, kMessageBadge};
    case BadgeMode::kProgress:
      return {kProgressSize, kProgressBadge};
    default:
      return {kExpandedSize, kBadge};
  }
}

}  // namespace

Size BadgeSize(BadgeMode mode) { return BadgeFor(mode).size; }
Color BadgeColor(BadgeMode mode) { return BadgeFor(mode).color; }

}  // namespace halvex::overlay

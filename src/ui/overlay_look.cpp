#include "ui/overlay_look.h"

namespace halvex::overlay {

std::string OnText(std::string_view label) {
  std::string text = "Clips On - ";
  text += label.empty() ? kDefaultLabel : label;
  text += " Save";
  return text;
}

Size BadgeSize(BadgeMode mode) {
  switch (mode) {
    case BadgeMode::kDot:
      return kDotSize;
    case BadgeMode::kProgress:
      return kProgressSize;
    default:
      return kExpandedSize;
  }
}

Color BadgeColor(BadgeMode mode) {
  switch (mode) {
    case BadgeMode::kMessage:
      return kMessageBadge;
    case BadgeMode::kProgress:
      return kProgressBadge;
    default:
      return kBadge;
  }
}

}  // namespace halvex::overlay

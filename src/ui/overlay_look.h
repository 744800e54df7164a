#pragma once
// What the overlay badge shows, its sizes, colours and fonts: shared by the painter, the layout
// and the overlay's state.
#include <string>
#include <string_view>

#include "ui/canvas.h"

namespace halvex {

enum class BadgeMode {
  kDot,       // collapsed between notifications
  kOn,        // "Clips On - <shortcut> Save"
  kSaved,     // "Clip Guardado"
  kMessage,   // a short message
  kProgress,  // a title, a bar and a percentage
};

struct OverlayLook {
  BadgeMode mode = BadgeMode::kDot;
  std::string text;  // the line shown (the title in progress mode); empty for the dot
  int percent = 0;   // 0..100, progress mode only
  friend bool operator==(const OverlayLook&, const OverlayLook&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

namespace overlay {

inline constexpr Size kDotSize{16, 16};
inline constexpr Size kExpandedSize{210, 42};
inline constexpr Size kProgressSize{340, 66};

inline constexpr Color kKeyColor = Rgb(1, 2, 3);  // see-through on screen
inline constexpr Color kMessageBadge = Rgb(255, 188, 42);
inline constexpr Color kProgressBadge = Rgb(75, 54, 8);
inline constexpr Color kBadge = Rgb(25, 125, 235);
inline constexpr Color kText = Rgb(245, 250, 255);
inline constexpr Color kTrack = Rgb(4, 29, 42);
inline constexpr Color kFill = Rgb(255, 205, 25);

inline constexpr std::string_view kFace = "Segoe UI";
inline constexpr int kWeight = 600;
inline constexpr int kTextHeight = 15;
inline constexpr int kPercentHeight = 11;

inline constexpr std::string_view kSavedText = "Clip Guardado";
inline constexpr std::string_view kDefaultLabel = "F8";

// "Clips On - " + the compact save shortcut ("F8" when there is none) + " Save".
std::string OnText(std::string_view label);

Size BadgeSize(BadgeMode mode);
Color BadgeColor(BadgeMode mode);

}  // namespace overlay
}  // namespace halvex

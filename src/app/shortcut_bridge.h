#pragma once
// The keyboard bridge: shortcut presses latched by a hook thread, where polling misses them
// while the game has focus.
namespace halvex {

class IShortcutBridge {
 public:
  virtual ~IShortcutBridge() = default;
  virtual bool Active() const = 0;
  // Each press is taken once.
  virtual bool TakeSavePress() = 0;
  virtual bool TakeMenuPress() = 0;
};

}  // namespace halvex

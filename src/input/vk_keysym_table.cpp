#include "input/vk_keysym_table.h"

#include <array>

namespace halvex {
namespace {

struct Entry {
  VirtualKey vk;
  Keysym primary;
  Keysym alternate;
};

// Values from X11/keysymdef.h and X11/XF86keysym.h.
constexpr Entry kFixed[] = {
    {0x03, 0xff6b, 0},           // Cancel -> Break
    {0x08, 0xff08, 0},           // BackSpace
    {0x09, 0xff09, 0xfe20},      // Tab, ISO_Left_Tab
    {0x0C, 0xff0b, 0},           // Clear
    {0x0D, 0xff0d, 0xff8d},      // Return, KP_Enter
    {0x10, 0xffe1, 0xffe2},      // Shift_L, Shift_R
    {0x11, 0xffe3, 0xffe4},      // Control_L, Control_R
    {0x12, 0xffe9, 0xffea},      // Alt_L, Alt_R
    {0x13, 0xff13, 0},           // Pause
    {0x14, 0xffe5, 0},           // Caps_Lock
    {0x1B, 0xff1b, 0},           // Escape
    {0x20, 0x0020, 0},           // space
    {0x21, 0xff55, 0},           // Prior
    {0x22, 0xff56, 0},           // Next
    {0x23, 0xff57, 0},           // End
    {0x24, 0xff50, 0},           // Home
    {0x25, 0xff51, 0},           // Left
    {0x26, 0xff52, 0},           // Up
    {0x27, 0xff53, 0},           // Right
    {0x28, 0xff54, 0},           // Down
    {0x29, 0xff60, 0},           // Select
    {0x2B, 0xff62, 0},           // Execute
    {0x2C, 0xff61, 0},           // Print (the Print Screen key)
    {0x2D, 0xff63, 0},           // Insert
    {0x2E, 0xffff, 0},           // Delete
    {0x2F, 0xff6a, 0},           // Help
    {0x5B, 0xffeb, 0},           // Super_L
    {0x5C, 0xffec, 0},           // Super_R
    {0x5D, 0xff67, 0},           // Menu
    {0x5F, 0x1008ff2f, 0},       // XF86Sleep
    {0x6A, 0xffaa, 0},           // KP_Multiply
    {0x6B, 0xffab, 0},           // KP_Add
    {0x6C, 0xffac, 0},           // KP_Separator
    {0x6D, 0xffad, 0},           // KP_Subtract
    {0x6E, 0xffae, 0},           // KP_Decimal
    {0x6F, 0xffaf, 0},           // KP_Divide
    {0x90, 0xff7f, 0},           // Num_Lock
    {0x91, 0xff14, 0},           // Scroll_Lock
    {0xA0, 0xffe1, 0},           // Shift_L
    {0xA1, 0xffe2, 0},           // Shift_R
    {0xA2, 0xffe3, 0},           // Control_L
    {0xA3, 0xffe4, 0},           // Control_R
    {0xA4, 0xffe9, 0},           // Alt_L
    {0xA5, 0xffea, 0xfe03},      // Alt_R, ISO_Level3_Shift (AltGr)
    {0xA6, 0x1008ff26, 0},       // XF86Back
    {0xA7, 0x1008ff27, 0},       // XF86Forward
    {0xA8, 0x1008ff29, 0},       // XF86Refresh
    {0xA9, 0x1008ff28, 0},       // XF86Stop
    {0xAA, 0x1008ff1b, 0},       // XF86Search
    {0xAB, 0x1008ff30, 0},       // XF86Favorites
    {0xAC, 0x1008ff18, 0},       // XF86HomePage
    {0xAD, 0x1008ff12, 0},       // XF86AudioMute
    {0xAE, 0x1008ff11, 0},       // XF86AudioLowerVolume
    {0xAF, 0x1008ff13, 0},       // XF86AudioRaiseVolume
    {0xB0, 0x1008ff17, 0},       // XF86AudioNext
    {0xB1, 0x1008ff16, 0},       // XF86AudioPrev
    {0xB2, 0x1008ff15, 0},       // XF86AudioStop
    {0xB3, 0x1008ff14, 0},       // XF86AudioPlay
    {0xB4, 0x1008ff19, 0},       // XF86Mail
    {0xB5, 0x1008ff32, 0},       // XF86AudioMedia
    {0xB6, 0x1008ff33, 0},       // XF86MyComputer
    {0xB7, 0x1008ff1d, 0},       // XF86Calculator
    {0xBA, 0x003b, 0},           // semicolon
    {0xBB, 0x003d, 0},           // equal (the plus key)
    {0xBC, 0x002c, 0},           // comma
    {0xBD, 0x002d, 0},           // minus
    {0xBE, 0x002e, 0},           // period
    {0xBF, 0x002f, 0},           // slash
    {0xC0, 0x0060, 0},           // grave
    {0xDB, 0x005b, 0},           // bracketleft
    {0xDC, 0x005c, 0},           // backslash
    {0xDD, 0x005d, 0},           // bracketright
    {0xDE, 0x0027, 0},           // apostrophe
    {0xE2, 0x003c, 0},           // less (the extra key of 102-key boards)
};

constexpr std::array<VkKeysyms, 256> BuildTable() {
  std::array<VkKeysyms, 256> table{};
  for (const Entry& e : kFixed) table[e.vk] = {e.primary, e.alternate};
  for (VirtualKey vk = '0'; vk <= '9'; ++vk) table[vk] = {vk, 0};               // 0..9
  for (VirtualKey vk = 'A'; vk <= 'Z'; ++vk) table[vk] = {vk + 0x20, vk};       // a..z, A..Z
  for (VirtualKey vk = 0x60; vk <= 0x69; ++vk) table[vk] = {0xffb0 + (vk - 0x60), 0};  // KP_0..KP_9
  for (VirtualKey vk = 0x70; vk <= 0x87; ++vk) table[vk] = {0xffbe + (vk - 0x70), 0};  // F1..F24
  return table;
}

constexpr std::array<VkKeysyms, 256> kTable = BuildTable();

}  // namespace

VkKeysyms KeysymsForVirtualKey(VirtualKey vk) {
  if (vk >= kTable.size()) return {};
  return kTable[vk];
}

}  // namespace halvex

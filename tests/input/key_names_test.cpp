#include "input/key_names.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace halvex {
namespace {

#ifdef _WIN32
bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#endif

TEST(KeyNamesTest, FixedNamesDigitsLettersAndFunctionKeys) {
  const std::pair<VirtualKey, const char*> fixed[] = {
      {8, "Backspace"}, {9, "Tab"},     {13, "Enter"},    {16, "Shift"},   {17, "Ctrl"},
      {18, "Alt"},      {20, "CapsLock"}, {27, "Esc"},    {32, "Espacio"}, {33, "PageUp"},
      {34, "PageDown"}, {35, "End"},    {36, "Home"},     {37, "Left"},    {38, "Up"},
      {39, "Right"},    {40, "Down"},   {45, "Insert"},   {46, "Delete"},  {91, "Win"},
      {93, "Menu"},     {144, "NumLock"}, {145, "ScrollLock"},
      {48, "0"},        {57, "9"},      {65, "A"},        {90, "Z"},
      {112, "F1"},      {119, "F8"},    {121, "F10"},     {135, "F24"},
  };
  for (const auto& [code, name] : fixed) EXPECT_EQ(KeyDisplayName(code), name) << code;
}

TEST(KeyNamesTest, OtherKeysAskTheLayout) {
#ifdef _WIN32
  // GetKeyNameTextW with the US layout. Wine with an X display names keys from the X keymap
  // instead (and has no name for some keypad keys), so there either form is right.
  const bool wineWithDisplay = RunningUnderWine() && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0);
  const auto expectName = [&](VirtualKey code, const char* windows, const char* wine) {
    const std::string name = KeyDisplayName(code);
    if (wineWithDisplay && name == wine) return;
    EXPECT_EQ(name, windows) << code;
  };
  expectName(107, "Num +", "KP_Add");
  expectName(96, "Num 0", "VK_96");
  expectName(186, ";", ";");
  expectName(160, "Shift", "Shift");
#else
  // X keysym names.
  EXPECT_EQ(KeyDisplayName(107), "KP_Add");
  EXPECT_EQ(KeyDisplayName(96), "KP_0");
  EXPECT_EQ(KeyDisplayName(186), "semicolon");
  EXPECT_EQ(KeyDisplayName(160), "Shift_L");
  EXPECT_EQ(KeyDisplayName(173), "XF86AudioMute");
#endif
}

TEST(KeyNamesTest, UnknownCodesFallBackToTheirNumber) {
  // 7 and 255 have no scan code and no keysym; 0 and 256+ are not keys at all.
  EXPECT_EQ(KeyDisplayName(7), "VK_7");
  EXPECT_EQ(KeyDisplayName(255), "VK_255");
  EXPECT_EQ(KeyDisplayName(0), "VK_0");
  EXPECT_EQ(KeyDisplayName(256), "VK_256");
  EXPECT_EQ(KeyDisplayName(4000000000u), "VK_4000000000");
}

TEST(KeyNamesTest, EveryKeyHasAVisibleName) {
  // A layout may report a name that is only a terminator; it must not show as a blank key.
  for (VirtualKey code = 1; code < 256; ++code) {
    const std::string name = KeyDisplayName(code);
    EXPECT_FALSE(name.empty()) << code;
    EXPECT_EQ(name.find('\0'), std::string::npos) << code;
  }
}

TEST(KeyNamesTest, ComboTextsFollowTheNormalForm) {
  const HotkeyCombo menu{163, 160, 121};
  EXPECT_EQ(ComboDisplayText(menu), "Shift + Ctrl + F10");
  EXPECT_EQ(ComboCompactText(menu), "Shift+Ctrl+F10");
  EXPECT_EQ(ComboDisplayText(DefaultSaveClipCombo()), "F8");
  EXPECT_EQ(ComboCompactText(HotkeyCombo({66, 65, 92, 32})), "Espacio+A+B+Win");
  EXPECT_EQ(ComboDisplayText(HotkeyCombo()), "Sin asignar");
  EXPECT_EQ(ComboCompactText(HotkeyCombo({0})), "Sin asignar");
}

}  // namespace
}  // namespace halvex

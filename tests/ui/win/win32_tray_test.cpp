// The Windows tray icon: its hidden window, its menu and what each message it takes asks for.
#include "ui/win/win32_tray.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "ui/win/drawn_tray_icon.h"

namespace halvex {
namespace {

constexpr UINT kOpen = static_cast<UINT>(TrayCommand::OpenSettings);
constexpr UINT kQuit = static_cast<UINT>(TrayCommand::Quit);
constexpr UINT kGetMenuHandle = 0x01E1;  // MN_GETHMENU

HWND FindTrayWindow() { return FindWindowExW(HWND_MESSAGE, nullptr, kTrayWindowClass, nullptr); }

// Takes a pending WM_QUIT off the thread's queue; its exit code, or -1 when there was none.
int TakeQuit() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return -1;
  return static_cast<int>(msg.wParam);
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // left for the test to see
      return;
    }
    DispatchMessageW(&msg);
  }
}

struct MenuItem {
  UINT id;
  bool separator;
  std::wstring text;
  friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

std::vector<MenuItem> ItemsOf(HMENU menu) {
  std::vector<MenuItem> items;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 64;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    items.push_back({info.wID, (info.fType & MFT_SEPARATOR) != 0, text});
  }
  return items;
}

const std::vector<MenuItem> kExpectedMenu = {
    {kOpen, false, L"Abrir configuracion"}, {0, true, L""}, {kQuit, false, L"Salir de Halvex"}};

TEST(Win32TrayTest, CreateAddsTheIconWithItsMessageOnlyWindowAndRemoveTakesThemAway) {
  ASSERT_EQ(FindTrayWindow(), nullptr);
  Win32Tray tray(test::DrawnTrayIcon);
  ASSERT_TRUE(tray.Create());
  const HWND window = tray.Window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(FindTrayWindow(), window);
  wchar_t title[32] = {};
  GetWindowTextW(window, title, 32);
  EXPECT_STREQ(title, L"Halvex");
  EXPECT_TRUE(tray.Create());  // twice: the same icon and window
  EXPECT_EQ(tray.Window(), window);
  EXPECT_EQ(FindWindowExW(HWND_MESSAGE, window, kTrayWindowClass, nullptr), nullptr);

  // The shell knows the icon (window, id 1) until it is removed.
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_TIP;
  wcscpy(data.szTip, L"Halvex");
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &data));
  tray.ShowStartupNotification();
  tray.ShowUpdateNotification("2.2.0");

  tray.Remove();
  EXPECT_FALSE(tray.Created());
  EXPECT_EQ(tray.Window(), nullptr);
  EXPECT_EQ(FindTrayWindow(), nullptr);
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &data));
  tray.Remove();  // twice is fine

  ASSERT_TRUE(tray.Create());  // and it can come back
  EXPECT_NE(FindTrayWindow(), nullptr);
}

TEST(Win32TrayTest, WithoutAnIconNothingIsLeftAndTheWarningIsLogged) {
  log::Capture lines;
  int loads = 0;
  Win32Tray tray([&]() -> HICON {
    ++loads;
    return nullptr;
  });
  EXPECT_FALSE(StartTray(tray));
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(tray.Created());
  EXPECT_EQ(FindTrayWindow(), nullptr);
  EXPECT_EQ(lines.Count("AVISO: no se pudo inicializar el icono de bandeja de Halvex."), 1u);
}

TEST(Win32TrayTest, ProgramIconIsResource101) {
  // A test program has none: the product path fails here rather than showing another icon.
  EXPECT_EQ(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101), RT_GROUP_ICON),
            nullptr);
  EXPECT_EQ(LoadProgramIcon(), nullptr);
  Win32Tray tray;
  EXPECT_FALSE(tray.Create());
  EXPECT_EQ(FindTrayWindow(), nullptr);
}

TEST(Win32TrayTest, MenuHasTheTwoEntriesAroundASeparator) {
  HMENU menu = BuildTrayMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(ItemsOf(menu), kExpectedMenu);
  DestroyMenu(menu);
}

struct MessageCase {
  const char* name;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool openSettings;
  bool quit;  // requested, and WM_QUIT(0) posted
  bool wake;
};

TEST(Win32TrayTest, EachMessageAsksForWhatItMeans) {
  const auto icon = [](UINT event) { return MAKELPARAM(event, kTrayIconId); };
  const MessageCase cases[] = {
      {"double click", kTrayCallbackMessage, 0, icon(WM_LBUTTONDBLCLK), true, false, false},
      {"select", kTrayCallbackMessage, 0, icon(NIN_SELECT), true, false, false},
      {"single click", kTrayCallbackMessage, 0, icon(WM_LBUTTONUP), false, false, false},
      {"hover", kTrayCallbackMessage, 0, icon(WM_MOUSEMOVE), false, false, false},
      {"second start", kTrayWakeMessage, 0, 0, true, false, true},
      {"menu: open", WM_COMMAND, kOpen, 0, true, false, false},
      {"menu: quit", WM_COMMAND, kQuit, 0, false, true, false},
      {"other command", WM_COMMAND, 20483, 0, false, false, false},
  };
  Win32Tray tray(test::DrawnTrayIcon);
  int wakes = 0;
  tray.SetWakeObserver([&] { ++wakes; });
  ASSERT_TRUE(tray.Create());
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.name);
    wakes = 0;
    SendMessageW(tray.Window(), c.message, c.wparam, c.lparam);
    const TrayRequests asked = tray.TakeRequests();
    EXPECT_EQ(asked.openSettings, c.openSettings);
    EXPECT_EQ(asked.quit, c.quit);
    EXPECT_EQ(TakeQuit(), c.quit ? 0 : -1);
    EXPECT_EQ(wakes, c.wake ? 1 : 0);
    EXPECT_FALSE(tray.TakeRequests().Any());  // taken once
  }
}

TEST(Win32TrayTest, WakeFromAnotherThreadReachesTheWindowByItsClass) {
  Win32Tray tray(test::DrawnTrayIcon);
  ASSERT_TRUE(tray.Create());
  std::thread second([] {
    // What a second start does: find the window by class, post the wake.
    PostMessageW(FindWindowExW(HWND_MESSAGE, nullptr, L"HalvexTrayWindow", nullptr), 0x8411, 0, 0);
  });
  second.join();
  EXPECT_FALSE(tray.TakeRequests().openSettings);  // not before the loop delivers it
  Pump();
  EXPECT_TRUE(tray.TakeRequests().openSettings);
}

// The menu a right click opens, found on screen by another thread: it reads the entries and picks
// "Salir de Halvex" with the keyboard.
TEST(Win32TrayTest, RightClickShowsTheMenuAndQuitEndsTheLoop) {
  Win32Tray tray(test::DrawnTrayIcon);
  ASSERT_TRUE(tray.Create());
  const HWND window = tray.Window();
  const DWORD thread = GetCurrentThreadId();

  std::atomic<bool> found{false};
  std::vector<MenuItem> items;
  std::thread player([&] {
    for (int i = 0; i < 500 && !found; ++i) {
      HWND menu = FindWindowW(L"#32768", nullptr);
      if (menu && IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == thread) {
        items = ItemsOf(reinterpret_cast<HMENU>(SendMessageW(menu, kGetMenuHandle, 0, 0)));
        PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);  // from no selection up to the last entry
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        found = true;
      } else {
        Sleep(10);
      }
    }
  });
  SendMessageW(window, kTrayCallbackMessage, 0, MAKELPARAM(WM_RBUTTONUP, kTrayIconId));
  player.join();
  ASSERT_TRUE(found) << "no menu appeared";
  EXPECT_EQ(items, kExpectedMenu);
  const TrayRequests asked = tray.TakeRequests();
  EXPECT_TRUE(asked.quit);
  EXPECT_FALSE(asked.openSettings);
  Pump();  // the WM_NULL posted after the menu
  EXPECT_EQ(TakeQuit(), 0);
}

}  // namespace
}  // namespace halvex

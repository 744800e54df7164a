// The overlay's layered window as the system sees it, and the badge on the screen over a game
// window. The screenshots go to build/screenshots/overlay-wine/.
#include "ui/win/win32_overlay_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "input/win/win32_window_system.h"
#include "ui/overlay.h"
#include "ui/overlay_layout.h"
#include "ui/win/gdi_canvas.h"

namespace halvex {
namespace {

const Color kGameColor = Rgb(40, 90, 60);

// Runs the thread's messages until `done` holds, giving up after about five seconds (the
// system's drawing reaches the screen asynchronously).
template <typename Done>
bool PumpUntil(Done done) {
  for (int i = 0; i < 250; ++i) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (done()) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return false;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring TitleOf(HWND window) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  return title;
}

TEST(Win32OverlayWindowTest, MadeHiddenAsALayeredTopMostPopupThatTakesNoInput) {
  Win32OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create());
  const HWND window = overlay.Handle();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(overlay.Create());  // twice: the same window
  EXPECT_EQ(overlay.Handle(), window);

  EXPECT_EQ(ClassOf(window), L"HalvexOverlayWindow");
  EXPECT_EQ(TitleOf(window), L"Halvex Overlay");
  EXPECT_EQ(FindWindowW(L"HalvexOverlayWindow", L"Halvex Overlay"), window);
  const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_VISIBLE | WS_CAPTION | WS_THICKFRAME | WS_CHILD));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
  for (DWORD bit : {DWORD(WS_EX_TOPMOST), DWORD(WS_EX_TRANSPARENT), DWORD(WS_EX_TOOLWINDOW),
                    DWORD(WS_EX_LAYERED), DWORD(WS_EX_NOACTIVATE)}) {
    EXPECT_TRUE(exStyle & bit) << std::hex << bit;
  }
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right - r.left, 210);
  EXPECT_EQ(r.bottom - r.top, 42);
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(window, GCLP_HCURSOR)),
            LoadCursorW(nullptr, IDC_ARROW));

  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(window, &key, &alpha, &flags));
  EXPECT_EQ(key, RGB(1, 2, 3));
  EXPECT_EQ(alpha, 225);
  EXPECT_EQ(flags, DWORD(LWA_COLORKEY | LWA_ALPHA));

  // The system asks the window, and the window answers that it is not there for the mouse.
  EXPECT_EQ(SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(5, 5)), HTTRANSPARENT);
  EXPECT_EQ(SendMessageW(window, WM_MOUSEACTIVATE, 0, 0), MA_NOACTIVATE);
  EXPECT_EQ(SendMessageW(window, WM_ERASEBKGND, 0, 0), 1);

  overlay.Destroy();
  EXPECT_EQ(overlay.Handle(), nullptr);
  EXPECT_FALSE(IsWindow(window));
  overlay.Destroy();  // twice is fine
}

// The capture exclusion is read back where the system keeps it. Wine keeps none, so there the
// check is skipped with what was read.
TEST(Win32OverlayWindowTest, AsksToBeLeftOutOfScreenCaptures) {
  Win32OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create());
  DWORD affinity = 0xFFFF;
  const bool read = GetWindowDisplayAffinity(overlay.Handle(), &affinity);
  if (read && affinity == kExcludeFromCapture) return;
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
    GTEST_SKIP() << "Wine no guarda la afinidad de pantalla (lectura " << (read ? "ok" : "fallida")
                 << ", valor 0x" << std::hex << affinity << ")";
  }
  ASSERT_TRUE(read);
  EXPECT_EQ(affinity, kExcludeFromCapture);
}

TEST(Win32OverlayWindowTest, PlacesShowsHidesAndKeepsOnTopWithoutActivating) {
  Win32OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create());
  const HWND window = overlay.Handle();
  EXPECT_FALSE(overlay.IsShown());

  overlay.Place(Rect{100, 50, 440, 116});
  EXPECT_TRUE(overlay.IsShown());
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(r.right, 440);
  EXPECT_EQ(r.bottom, 116);
  EXPECT_NE(GetForegroundWindow(), window);
  EXPECT_NE(GetActiveWindow(), window);

  overlay.Hide();
  EXPECT_FALSE(overlay.IsShown());
  overlay.ShowNoActivate();
  EXPECT_TRUE(overlay.IsShown());
  EXPECT_NE(GetActiveWindow(), window);

  // Something pushed it out of the top-most band: re-asserting puts it back and shows it.
  overlay.Hide();
  SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ASSERT_FALSE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  overlay.RaiseTopMost();
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(overlay.IsShown());
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 100);  // neither moved nor resized
  EXPECT_EQ(r.right, 440);
}

TEST(Win32OverlayWindowTest, HideTimerRunsItsCallbackUntilStopped) {
  Win32OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create());
  const HWND window = overlay.Handle();
  int runs = 0;
  overlay.StartHideTimer(10, [&] {
    ++runs;
    overlay.StopHideTimer();  // as the overlay does from its callback
  });
  EXPECT_TRUE(PumpUntil([&] { return runs > 0; }));
  EXPECT_EQ(runs, 1);

  // Only timer 19536 is ours, and a stopped timer's late message does nothing.
  overlay.StartHideTimer(60000, [&] { ++runs; });
  SendMessageW(window, WM_TIMER, 19535, 0);
  EXPECT_EQ(runs, 1);
  SendMessageW(window, WM_TIMER, kOverlayHideTimerId, 0);
  EXPECT_EQ(runs, 2);
  overlay.StopHideTimer();
  SendMessageW(window, WM_TIMER, kOverlayHideTimerId, 0);
  EXPECT_EQ(runs, 2);

  // Destroying with the timer running drops it with the window.
  overlay.StartHideTimer(10, [&] { ++runs; });
  overlay.Destroy();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(runs, 2);
}

// A plain window standing in for the game, filled with one colour.
class GameWindow {
 public:
  GameWindow(int x, int y, int width, int height) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(RGB(kGameColor.r, kGameColor.g, kGameColor.b));
    wc.lpszClassName = L"HalvexOverlayTestGame";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"Juego", WS_POPUP | WS_VISIBLE, x, y, width,
                              height, nullptr, nullptr, wc.hInstance, nullptr);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
  }
  ~GameWindow() { DestroyWindow(window_); }
  HWND Handle() const { return window_; }
  WindowId Id() const { return reinterpret_cast<WindowId>(window_); }

 private:
  HWND window_ = nullptr;
};

// The whole screen as the display shows it now.
class Screenshot {
 public:
  Screenshot()
      : canvas_(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)) {
    HDC screen = GetDC(nullptr);
    BitBlt(canvas_.DC(), 0, 0, canvas_.Width(), canvas_.Height(), screen, 0, 0, SRCCOPY);
    ReleaseDC(nullptr, screen);
  }
  Color At(int x, int y) const { return canvas_.Pixel(x, y); }
  bool Write(const std::string& name) const { return canvas_.WritePng(Folder() / name); }
  // `region` enlarged `zoom` times, pixel for pixel, for a reader to look at.
  bool WriteZoomed(const std::string& name, const Rect& region, int zoom) const {
    GdiCanvas zoomed(region.Width() * zoom, region.Height() * zoom);
    StretchBlt(zoomed.DC(), 0, 0, zoomed.Width(), zoomed.Height(), canvas_.DC(), region.left,
               region.top, region.Width(), region.Height(), SRCCOPY);
    return zoomed.WritePng(Folder() / name);
  }

 private:
  static std::filesystem::path Folder() {
    const std::filesystem::path dir = HALVEX_SCREENSHOT_DIR;
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    return dir;
  }
  GdiCanvas canvas_;
};

bool Near(Color a, Color b, int tolerance = 3) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

// The badge's colour as the screen may show it: drawn as it is, or at alpha 225 over the game
// when a compositor blends layered windows.
bool ShowsBadge(Color seen, Color badge) {
  const auto blend = [](uint8_t over, uint8_t under) {
    return static_cast<uint8_t>((over * 225 + under * 30 + 127) / 255);
  };
  const Color blended = Rgb(blend(badge.r, kGameColor.r), blend(badge.g, kGameColor.g),
                            blend(badge.b, kGameColor.b));
  return Near(seen, badge) || Near(seen, blended);
}

struct ScreenCase {
  std::string file;
  BadgeMode mode;
  void (*show)(Overlay&, WindowId);
};

TEST(Win32OverlayWindowTest, BadgeShowsOnScreenAtTheGamesTopRightCorner) {
  GameWindow game(300, 200, 900, 560);
  Win32WindowSystem windows;
  Win32OverlayWindow window;
  ASSERT_TRUE(window.Create());
  Overlay overlay(window, windows);

  const ScreenCase cases[] = {
      {"saved", BadgeMode::kSaved, [](Overlay& o, WindowId g) { o.ShowSaved(g); }},
      {"progress", BadgeMode::kProgress,
       [](Overlay& o, WindowId g) { o.ShowProgress(g, "Discord Clip + 20 MB", 42); }},
  };
  for (const ScreenCase& c : cases) {
    SCOPED_TRACE(c.file);
    c.show(overlay, game.Id());
    ASSERT_TRUE(window.IsShown());
    EXPECT_EQ(GetForegroundWindow(), game.Handle()) << "the badge took the foreground";

    // Where the layout puts it: 14 pixels in from the game's right and top edges.
    const Size size = overlay::BadgeSize(c.mode);
    const Rect at{1200 - 14 - size.width, 200 + 14, 1200 - 14, 200 + 14 + size.height};
    RECT placed{};
    GetWindowRect(window.Handle(), &placed);
    EXPECT_EQ((Rect{placed.left, placed.top, placed.right, placed.bottom}), at);

    const Color badge = overlay::BadgeColor(c.mode);
    // Inside the rounded badge, clear of the text and the bar: its left end and its top edge.
    const Point inside[] = {{at.left + 4, at.top + size.height / 2}, {at.left + 20, at.top + 2}};
    bool seen = PumpUntil([&] {
      Screenshot shot;
      for (const Point& p : inside) {
        if (!ShowsBadge(shot.At(p.x, p.y), badge)) return false;
      }
      return true;
    });
    const Screenshot shot;
    EXPECT_TRUE(shot.Write(c.file + ".png"));
    EXPECT_TRUE(shot.WriteZoomed(c.file + "-corner.png",
                                 Rect{at.left - 20, at.top - 20, 1200 + 20, at.bottom + 20}, 3));
    EXPECT_TRUE(seen);
    for (const Point& p : inside) {
      const Color s = shot.At(p.x, p.y);
      EXPECT_TRUE(ShowsBadge(s, badge)) << p.x << "," << p.y << ": " << int(s.r) << " "
                                        << int(s.g) << " " << int(s.b);
    }
    // The key colour in the badge window's corner is see-through: the game shows there.
    const Color corner = shot.At(at.left, at.top);
    EXPECT_TRUE(Near(corner, kGameColor)) << int(corner.r) << " " << int(corner.g) << " "
                                          << int(corner.b);
    // Beside the badge, the game is untouched.
    EXPECT_TRUE(Near(shot.At(at.left - 10, at.top + 5), kGameColor));
  }
  overlay.Hide();
  EXPECT_FALSE(window.IsShown());
}

}  // namespace
}  // namespace halvex

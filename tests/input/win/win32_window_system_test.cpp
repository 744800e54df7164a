// Window queries and target detection against real windows of a second process.
#include "input/win/win32_window_system.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "core/text.h"
#include "input/target_detector.h"
#include "input/win/helper_process.h"

namespace halvex {
namespace {

using testing::HelperProcess;

// Helper builds: version resource with ProductName, with an empty ProductName and a
// FileDescription, and none (also copied as CHROME.EXE and GAME.EXE).
constexpr wchar_t kProductHelper[] = L"halvex_window_helper_product.exe";
constexpr wchar_t kDescriptionHelper[] = L"halvex_window_helper_description.exe";
constexpr wchar_t kPlainHelper[] = L"halvex_window_helper_plain.exe";

WindowId ParseWindow(const std::string& answer) { return std::stoull(answer.empty() ? "0" : answer); }

std::string WindowCommand(const std::string& cls, int w, int h, bool minimised, WindowId owner,
                          const std::string& title) {
  return "window " + cls + " " + std::to_string(w) + " " + std::to_string(h) + " " +
         (minimised ? "1" : "0") + " " + std::to_string(owner) + " " + title;
}

class WindowHelperTest : public ::testing::Test {
 protected:
  std::unique_ptr<HelperProcess> Launch(const wchar_t* exe) {
    auto helper = std::make_unique<HelperProcess>(exe);
    EXPECT_TRUE(helper->Started());
    return helper;
  }
  WindowId Show(HelperProcess& helper, const std::string& cls, int w, int h,
                const std::string& title = "Ventana", bool minimised = false, WindowId owner = 0) {
    const WindowId window = ParseWindow(helper.Command(WindowCommand(cls, w, h, minimised, owner, title)));
    EXPECT_NE(window, 0u);
    return window;
  }
  // The foreground is the helper's to give: ask it, then check it took.
  bool Front(HelperProcess& helper, WindowId window) {
    // Another program on the same desktop may take the foreground for a moment: ask again.
    std::string answer;
    WindowId now = 0;
    for (int attempt = 0; attempt < 5 && now != window; ++attempt) {
      answer = helper.Command("front " + std::to_string(window));
      now = system.ForegroundWindow();
    }
    if (now != window) {
      const auto image = system.ProcessImagePath(system.WindowProcess(now));
      ADD_FAILURE() << "front " << window << ": " << answer << ", foreground " << now << " ("
                    << system.ClassName(now) << ", "
                    << (image ? text::PathToUtf8(*image) : std::string("?")) << ")";
    }
    return now == window;
  }

  Win32WindowSystem system;
  TargetDetector detector{system};
};

TEST_F(WindowHelperTest, QueriesAWindowOfAnotherProcess) {
  auto helper = Launch(kPlainHelper);
  const WindowId window = Show(*helper, "HalvexProbeClass", 800, 600, "Ventana de prueba");
  ASSERT_NE(window, 0u);

  EXPECT_TRUE(system.IsWindow(window));
  EXPECT_TRUE(system.IsVisible(window));
  EXPECT_FALSE(system.IsMinimized(window));
  EXPECT_FALSE(system.IsToolWindow(window));
  EXPECT_EQ(system.Owner(window), 0u);
  EXPECT_EQ(system.ClassName(window), "HalvexProbeClass");
  EXPECT_EQ(system.Title(window), "Ventana de prueba");
  EXPECT_EQ(system.WindowProcess(window), helper->Pid());

  const auto outer = system.WindowRect(window);
  const auto client = system.ClientRectOnScreen(window);
  ASSERT_TRUE(outer && client);
  EXPECT_EQ(outer->Width(), 800);
  EXPECT_EQ(outer->Height(), 600);
  EXPECT_FALSE(client->Empty());
  EXPECT_GE(client->left, outer->left);
  EXPECT_GE(client->top, outer->top);
  EXPECT_LE(client->right, outer->right);
  EXPECT_LE(client->bottom, outer->bottom);
  EXPECT_LT(client->Height(), outer->Height());  // the caption is outside the client area

  const auto all = system.TopLevelWindows();
  EXPECT_NE(std::find(all.begin(), all.end(), window), all.end());

  const auto image = system.ProcessImagePath(helper->Pid());
  ASSERT_TRUE(image);
  EXPECT_TRUE(text::EqualsIgnoreAsciiCase(text::PathToUtf8(image->filename()),
                                          "halvex_window_helper_plain.exe"));
  EXPECT_TRUE(system.ProcessAlive(helper->Pid()));
  EXPECT_FALSE(system.VersionInfoName(helper->Pid()));

  const DWORD pid = helper->Pid();
  helper.reset();
  EXPECT_FALSE(system.IsWindow(window));
  EXPECT_FALSE(system.ProcessAlive(pid));
  EXPECT_EQ(system.ClassName(window), "");
  EXPECT_EQ(system.WindowProcess(window), 0u);
}

TEST_F(WindowHelperTest, OwnedAndMinimisedWindowsAreNoCandidates) {
  auto helper = Launch(kPlainHelper);
  const WindowId main = Show(*helper, "HalvexMain", 1024, 768);
  const WindowId dialog = Show(*helper, "HalvexDialog", 800, 600, "Dialogo", false, main);
  const WindowId small = Show(*helper, "HalvexSmall", 639, 1080);
  const WindowId shortOne = Show(*helper, "HalvexShort", 1280, 359);
  const WindowId minimum = Show(*helper, "HalvexMinimum", 640, 360);
  const WindowId minimised = Show(*helper, "HalvexMinimised", 1024, 768, "Minimizada", true);
  const WindowId desktop = Show(*helper, "Progman", 1024, 768);
  const WindowId tray = Show(*helper, "Shell_TrayWnd", 1024, 768);

  EXPECT_EQ(system.Owner(dialog), main);
  EXPECT_TRUE(system.IsMinimized(minimised));
  EXPECT_TRUE(detector.IsCandidateWindow(main));
  EXPECT_TRUE(detector.IsCandidateWindow(minimum));
  EXPECT_FALSE(detector.IsCandidateWindow(dialog));
  EXPECT_FALSE(detector.IsCandidateWindow(small));
  EXPECT_FALSE(detector.IsCandidateWindow(shortOne));
  EXPECT_FALSE(detector.IsCandidateWindow(minimised));
  EXPECT_FALSE(detector.IsCandidateWindow(desktop));
  EXPECT_FALSE(detector.IsCandidateWindow(tray));

  // In front, none of them but the plain window is a target.
  ASSERT_TRUE(Front(*helper, dialog));
  EXPECT_FALSE(detector.DetectForeground().valid);
  ASSERT_TRUE(Front(*helper, small));
  EXPECT_FALSE(detector.DetectForeground().valid);
  ASSERT_TRUE(Front(*helper, desktop));
  EXPECT_FALSE(detector.DetectForeground().valid);
  ASSERT_TRUE(Front(*helper, main));
  EXPECT_TRUE(detector.DetectForeground().valid);
}

TEST_F(WindowHelperTest, DisplayNamesFromVersionResourcesOrTitles) {
  {
    auto helper = Launch(kProductHelper);
    const WindowId window = Show(*helper, "HalvexGame", 1024, 768, "Titulo del juego");
    ASSERT_TRUE(Front(*helper, window));
    const TargetInfo target = detector.DetectForeground();
    ASSERT_TRUE(target.valid);
    EXPECT_EQ(target.processId, helper->Pid());
    EXPECT_EQ(target.window, window);
    EXPECT_EQ(target.title, "Titulo del juego");
    EXPECT_TRUE(text::EqualsIgnoreAsciiCase(target.executableName,
                                            "halvex_window_helper_product.exe"));
    EXPECT_EQ(target.displayName, "Juego de Prueba");
  }
  {
    auto helper = Launch(kDescriptionHelper);
    EXPECT_EQ(system.VersionInfoName(helper->Pid()), "My Game");
    const WindowId window = Show(*helper, "HalvexGame", 1024, 768, "Titulo del juego");
    ASSERT_TRUE(Front(*helper, window));
    EXPECT_EQ(detector.DetectForeground().displayName, "My Game");
  }
  {
    auto helper = Launch(kPlainHelper);
    const WindowId titled = Show(*helper, "HalvexGame", 1024, 768, "Solo titulo");
    ASSERT_TRUE(Front(*helper, titled));
    EXPECT_EQ(detector.DetectForeground().displayName, "Solo titulo");
    const WindowId untitled = Show(*helper, "HalvexGame", 1024, 768, "-");
    ASSERT_TRUE(Front(*helper, untitled));
    const TargetInfo target = detector.DetectForeground();
    ASSERT_TRUE(target.valid);
    EXPECT_EQ(target.title, target.executableName);
    EXPECT_EQ(target.displayName, target.executableName);
  }
}

TEST_F(WindowHelperTest, BuiltInAndUserExclusionsIgnoreCase) {
  {
    auto chrome = Launch(L"CHROME.EXE");
    const WindowId window = Show(*chrome, "HalvexBrowser", 1024, 768);
    ASSERT_TRUE(Front(*chrome, window));
    EXPECT_FALSE(detector.DetectForeground().valid);
  }
  auto game = Launch(L"GAME.EXE");
  const WindowId window = Show(*game, "HalvexGame", 1024, 768);
  ASSERT_TRUE(Front(*game, window));
  EXPECT_TRUE(detector.DetectForeground().valid);
  detector.SetVideoExclusions({"game.exe"});
  EXPECT_FALSE(detector.DetectForeground().valid);
  detector.SetVideoExclusions({});
  EXPECT_TRUE(detector.DetectForeground().valid);
}

TEST_F(WindowHelperTest, OwnWindowsAreNeverATarget) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.lpszClassName = L"HalvexOwnTestWindow";
  RegisterClassExW(&wc);
  HWND own = CreateWindowExW(0, wc.lpszClassName, L"Propia", WS_OVERLAPPEDWINDOW, 0, 0, 1024, 768,
                             nullptr, nullptr, instance, nullptr);
  ASSERT_NE(own, nullptr);
  ShowWindow(own, SW_SHOWNORMAL);
  SetForegroundWindow(own);
  const WindowId id = reinterpret_cast<uintptr_t>(own);
  ASSERT_EQ(system.ForegroundWindow(), id);
  EXPECT_TRUE(detector.IsCandidateWindow(id));
  EXPECT_EQ(system.WindowProcess(id), system.OwnProcess());
  EXPECT_FALSE(detector.DetectForeground().valid);
  DestroyWindow(own);
}

TEST_F(WindowHelperTest, ProcessTreeFindsAChildOfTheTarget) {
  auto launcher = Launch(kPlainHelper);
  const WindowId launcherWindow = Show(*launcher, "HalvexLauncher", 1024, 768, "Lanzador");
  const uint32_t child = static_cast<uint32_t>(std::stoul(launcher->Command("child HalvexChild Hijo")));
  ASSERT_NE(child, 0u);

  // The child shows its window and takes the foreground itself.
  WindowId childWindow = 0;
  for (int i = 0; i < 200 && childWindow == 0; ++i) {
    for (const WindowId w : system.TopLevelWindows()) {
      if (system.WindowProcess(w) == child && system.ClassName(w) == "HalvexChild") childWindow = w;
    }
    if (childWindow == 0) Sleep(25);
  }
  ASSERT_NE(childWindow, 0u);
  const auto parents = system.ProcessParents();
  EXPECT_NE(std::find(parents.begin(), parents.end(), std::make_pair(child, launcher->Pid())),
            parents.end());

  for (int i = 0; i < 200 && system.ForegroundWindow() != childWindow; ++i) Sleep(25);
  ASSERT_EQ(system.ForegroundWindow(), childWindow);
  EXPECT_FALSE(detector.TargetInFrontByWindow(launcherWindow, launcher->Pid()));
  EXPECT_TRUE(detector.TargetInFrontByProcessTree(launcherWindow, launcher->Pid()));
  EXPECT_TRUE(detector.TargetAlive(child));

  // The other way round: the launcher does not descend from its child.
  ASSERT_TRUE(Front(*launcher, launcherWindow));
  EXPECT_FALSE(detector.TargetInFrontByProcessTree(childWindow, child));
  EXPECT_TRUE(detector.TargetInFrontByProcessTree(launcherWindow, launcher->Pid()));
}

}  // namespace
}  // namespace halvex

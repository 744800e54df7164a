// The named mutex and the wake message between two real processes.
#include "app/win/single_instance_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "first_instance_process.h"
#include "ui/win/drawn_tray_icon.h"
#include "ui/win/win32_tray.h"

namespace halvex {
namespace {

using Result = SingleInstance::Result;
using test::FirstInstance;

bool HoldsMutex(const SingleInstance::Claim& claim) {
  const auto* primary = dynamic_cast<const WindowsSingleInstance*>(claim.instance.get());
  return primary && primary->HoldsMutex();
}

size_t TrayWindowCount() {
  size_t count = 0;
  for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, kTrayWindowClass, nullptr));) ++count;
  return count;
}

TEST(WindowsSingleInstanceTest, SecondStartWakesTheRunningInstanceAndLetsGo) {
  {
    FirstInstance first(true);
    ASSERT_TRUE(first.WaitReady());
    const SingleInstance::Claim second = SingleInstance::Acquire();
    EXPECT_EQ(second.result, Result::HandedOver);
    EXPECT_TRUE(second.woken);
    EXPECT_FALSE(HoldsMutex(second));
    EXPECT_EQ(first.ExitCode(), 0);  // the helper saw WM_APP + 0x411
    EXPECT_EQ(TrayWindowCount(), 0u);
  }
  // Both handles are gone with the helper and the handed-over claim: the next start is first.
  const SingleInstance::Claim next = SingleInstance::Acquire();
  EXPECT_EQ(next.result, Result::Primary);
  EXPECT_TRUE(HoldsMutex(next));
}

TEST(WindowsSingleInstanceTest, HeldMutexWithoutTrayWindowStillEndsTheSecondStart) {
  FirstInstance first(false);
  ASSERT_TRUE(first.WaitReady());
  log::Capture lines;
  const SingleInstance::Claim second = SingleInstance::Acquire();
  EXPECT_EQ(second.result, Result::HandedOver);
  EXPECT_FALSE(second.woken);
  EXPECT_FALSE(HoldsMutex(second));
  EXPECT_TRUE(lines.Lines().empty()) << "the Windows start says nothing";
  first.Quit();
  EXPECT_EQ(first.ExitCode(), 2);
}

TEST(WindowsSingleInstanceTest, PortableClaimInOneProcessAndTheTrayWake) {
  SingleInstance::Claim primary = SingleInstance::Acquire();
  ASSERT_EQ(primary.result, SingleInstance::Result::Primary);
  ASSERT_TRUE(primary.instance);
  EXPECT_FALSE(primary.instance->PollWake());

  int wakes = 0;
  Win32Tray tray(test::DrawnTrayIcon);
  WatchWakes(tray, [&] { ++wakes; });
  ASSERT_TRUE(tray.Create());
  EXPECT_TRUE(tray.Create());  // creating twice keeps the first window
  ASSERT_EQ(TrayWindowCount(), 1u);

  // A later start in the same session (here: the same process) finds the window and posts.
  SingleInstance::Claim later = SingleInstance::Acquire();
  EXPECT_EQ(later.result, SingleInstance::Result::HandedOver);
  EXPECT_FALSE(later.instance);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(wakes, 1);
  EXPECT_TRUE(primary.instance->PollWake());
  EXPECT_FALSE(primary.instance->PollWake());

  EXPECT_TRUE(tray.TakeRequests().openSettings);  // the wake asks for the settings too

  tray.Remove();
  EXPECT_EQ(TrayWindowCount(), 0u);
}

}  // namespace
}  // namespace halvex

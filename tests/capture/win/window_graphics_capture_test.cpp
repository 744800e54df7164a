#include <gtest/gtest.h>

#include "capture/win/window_graphics_capture.h"
#include "core/log.h"
#include "d3d_test_env.h"

namespace halvex {
namespace {

bool D3d11HasWinrtInterop() {
  HMODULE d3d11 = GetModuleHandleW(L"d3d11.dll");
  return d3d11 && GetProcAddress(d3d11, "CreateDirect3D11DeviceFromDXGIDevice");
}

TEST(WindowGraphicsCaptureTest, UnavailableWithoutTheWinrtDeviceAndSaysWhy) {
  D3dDevices& d = test::Devices();
  ASSERT_TRUE(d.device);
  if (D3d11HasWinrtInterop()) GTEST_SKIP() << "this d3d11.dll offers the WinRT device";
  WindowGraphicsCapture capture(d.device.Get(), d.context.Get(), d.dxgiDevice.Get());
  log::Capture lines;
  EXPECT_FALSE(capture.Initialize());
  ASSERT_EQ(lines.Lines().size(), 1u);
  // The export is missing: ERROR_PROC_NOT_FOUND as an HRESULT.
  EXPECT_EQ(lines.Lines()[0], "[WGC] CreateDirect3D11DeviceFromDXGIDevice fallo (hr=0x8007007f)");

  // Nothing starts after that, and nothing is printed about a capture.
  lines.Clear();
  const HWND desktop = GetDesktopWindow();
  EXPECT_FALSE(capture.Start(reinterpret_cast<uintptr_t>(desktop)));
  EXPECT_FALSE(capture.IsRunning());
  EXPECT_FALSE(capture.AcquireLatest().has_value());
  EXPECT_TRUE(lines.Lines().empty());
}

TEST(WindowGraphicsCaptureTest, MissingDevicesMeanUnavailableAndStartRefusesClosedWindows) {
  D3dDevices& d = test::Devices();
  ASSERT_TRUE(d.device);
  log::Capture lines;
  WindowGraphicsCapture noDxgi(d.device.Get(), d.context.Get(), nullptr);
  EXPECT_FALSE(noDxgi.Initialize());
  WindowGraphicsCapture noDevice(nullptr, nullptr, d.dxgiDevice.Get());
  EXPECT_FALSE(noDevice.Initialize());
  EXPECT_TRUE(lines.Lines().empty());

  // A handle that is no window any more (created and destroyed here).
  HWND window = CreateWindowExW(0, L"STATIC", L"gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_TRUE(window);
  DestroyWindow(window);
  WindowGraphicsCapture capture(d.device.Get(), d.context.Get(), d.dxgiDevice.Get());
  capture.Initialize();
  lines.Clear();
  EXPECT_FALSE(capture.Start(reinterpret_cast<uintptr_t>(window)));
  EXPECT_FALSE(capture.Start(0));
  EXPECT_FALSE(lines.Contains("Captura de ventana iniciada"));
  EXPECT_FALSE(lines.Contains("CreateForWindow"));
}

}  // namespace
}  // namespace halvex

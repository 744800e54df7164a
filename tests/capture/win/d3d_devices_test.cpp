#include <gtest/gtest.h>

#include "capture/win/d3d_devices.h"
#include "capture/win/dxgi_screen_source.h"
#include "core/log.h"
#include "core/text.h"
#include "d3d_test_env.h"

namespace halvex {
namespace {

TEST(D3dDevicesTest, CreatesEveryDeviceAndAnnouncesTheCapturedMonitor) {
  log::Capture lines;
  D3dDevices d;
  ASSERT_TRUE(CreateD3dDevices(d));
  EXPECT_TRUE(d.device && d.context && d.dxgiDevice && d.adapter);
  EXPECT_TRUE(d.d2dFactory && d.d2dDevice && d.d2dContext && d.output);

  const RECT& r = d.outputDesc.DesktopCoordinates;
  EXPECT_EQ(d.outputInfo.Width(), r.right - r.left);
  EXPECT_EQ(d.outputInfo.Height(), r.bottom - r.top);
  EXPECT_GT(d.outputInfo.Width(), 0);
  EXPECT_EQ(d.outputInfo.name, text::WideToUtf8(d.outputDesc.DeviceName));
  const std::string expected = "Capturando video: " + d.outputInfo.name + " (" +
                               std::to_string(d.outputInfo.Width()) + "x" +
                               std::to_string(d.outputInfo.Height()) + ")";
  ASSERT_EQ(lines.Lines().size(), 1u);
  EXPECT_EQ(lines.Lines()[0], expected);

  d.Release();
  EXPECT_FALSE(d.device || d.context || d.d2dContext || d.output);
}

TEST(DxgiScreenSourceTest, DuplicationRefusedReportsTheSystemCodeOnceAndAsksForReopen) {
  D3dDevices& d = test::Devices();
  ASSERT_TRUE(d.device);
  DxgiScreenSource source(d.device.Get(), d.context.Get(), d.output.Get(), d.outputInfo);
  EXPECT_EQ(source.Output().Width(), d.outputInfo.Width());

  log::Capture lines;
  if (source.Open()) GTEST_SKIP() << "Desktop Duplication works here";
  // Wine answers E_NOTIMPL.
  EXPECT_EQ(source.LastError(), 0x80004001u);
  ASSERT_EQ(lines.Lines().size(), 1u);
  EXPECT_EQ(lines.Lines()[0],
            "ERROR: DuplicateOutput fallo (hr=0x80004001). Cierra otros capturadores (Game Bar, "
            "OBS) e intenta de nuevo.");

  // Retrying (as after a lock) neither repeats the line nor yields a picture.
  EXPECT_FALSE(source.Open());
  EXPECT_EQ(lines.Count("DuplicateOutput fallo"), 1u);
  Picture picture;
  EXPECT_EQ(source.AcquireNext(1, true, picture), IScreenSource::Acquire::AccessLost);
  EXPECT_TRUE(picture.empty());
}

TEST(DxgiScreenSourceTest, WithoutAnOutputOpenFailsWithALineInsteadOfCrashing) {
  D3dDevices& d = test::Devices();
  ASSERT_TRUE(d.device);
  DxgiScreenSource source(d.device.Get(), d.context.Get(), nullptr, d.outputInfo);
  log::Capture lines;
  EXPECT_FALSE(source.Open());
  EXPECT_EQ(source.LastError(), static_cast<uint32_t>(E_POINTER));
  EXPECT_TRUE(lines.Contains("ERROR: DuplicateOutput fallo (hr=0x80004003)"));
}

}  // namespace
}  // namespace halvex

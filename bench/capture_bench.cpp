// Capture costs on a private 1920×1080 X server: XShm screen grab, XComposite window grab, and
// libswscale scaling to 1280×720 and crop-and-stretch. Prints figures; never run as a test.
#include <chrono>
#include <cstdio>
#include <functional>

#include "capture/linux/cpu_picture_ops.h"
#include "capture/linux/x11_screen_source.h"
#include "capture/linux/x11_window_source.h"
#include "capture/linux/x_test_windows.h"
#include "capture/linux/xvfb_server.h"
#include "core/linux/native_picture.h"

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds per call of `step` over `runs` calls (after a few to warm up).
double PerCall(int runs, const std::function<bool()>& step) {
  for (int i = 0; i < 3; ++i) step();
  int done = 0;
  const auto start = Clock::now();
  for (int i = 0; i < runs; ++i) done += step() ? 1 : 0;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (done != runs) std::printf("  (%d de %d llamadas sin imagen)\n", runs - done, runs);
  return ms / runs;
}

}  // namespace

int main() {
  using namespace halvex;
  testing::XvfbServer server(1920, 1080);
  if (!server.Running()) {
    std::fprintf(stderr, "No se pudo iniciar Xvfb\n");
    return 1;
  }
  testing::XTestWindows windows(server.Name());
  const Window game = windows.Create(0, 0, 1920, 1080, 0x336699);
  constexpr int kRuns = 100;
  int tick = 0;

  X11ScreenSource screen(server.Name());
  if (!screen.Open()) {
    std::fprintf(stderr, "Open fallo (%u)\n", screen.LastError());
    return 1;
  }
  const double screenMs = PerCall(kRuns, [&] {
    windows.Fill(game, tick++ % 1900, 0, 8, 8, 0xffffff);  // something new every time
    Picture p;
    return screen.AcquireNext(100, true, p) == IScreenSource::Acquire::NewPicture;
  });
  std::printf("XShm pantalla 1920x1080 (dibujo + damage + lectura): %.2f ms\n", screenMs);
  screen.Close();

  X11WindowSource source(server.Name());
  if (!source.Initialize() || !source.Start(game)) return 1;
  const double windowMs = PerCall(kRuns, [&] {
    windows.Fill(game, tick++ % 1900, 0, 8, 8, 0xffffff);
    for (int i = 0; i < 1000; ++i) {
      if (source.AcquireLatest()) return true;
    }
    return false;
  });
  std::printf("XComposite ventana 1920x1080 (dibujo + damage + lectura): %.2f ms\n", windowMs);

  CpuPictureOps ops;
  ops.CreateCaptureResources(1920, 1080);
  ops.CreateOutputResources(1280, 720);
  const Picture full = WrapImage(CpuPicture::Allocate(1920, 1080));
  const double scaleMs = PerCall(kRuns, [&] { return ops.ScaleToOutput(full).Width() == 1280; });
  std::printf("libswscale bicubico 1920x1080 -> 1280x720: %.2f ms\n", scaleMs);
  const double cropMs = PerCall(kRuns, [&] {
    return ops.CropToCanvas(full, Rect{320, 180, 1600, 900}).Width() == 1920;
  });
  std::printf("recorte 1280x720 estirado a 1920x1080: %.2f ms\n", cropMs);
  return 0;
}

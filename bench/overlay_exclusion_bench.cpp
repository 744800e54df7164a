// What keeping the overlay badge out of screen captures costs, on a private 1920×1080 X server
// with a game-sized window: the XShm grab alone, with the badge shown (its area painted again from
// the game's pixmap), and the game's drawing once the badge keeps it redirected. Prints figures;
// never run as a test.
#include <chrono>
#include <cstdio>
#include <functional>

#include "capture/linux/x11_screen_source.h"
#include "capture/linux/x_test_windows.h"
#include "capture/linux/xvfb_server.h"
#include "ui/linux/x11_overlay_window.h"
#include "ui/overlay_look.h"

namespace {

using Clock = std::chrono::steady_clock;

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
  constexpr int kRuns = 200;
  int tick = 0;
  X11ScreenSource screen(server.Name());
  if (!screen.Open()) return 1;
  auto grab = [&] {
    windows.Fill(game, tick++ % 1900, 500, 8, 8, 0xffffff);
    Picture p;
    return screen.AcquireNext(100, true, p) == IScreenSource::Acquire::NewPicture;
  };
  auto draw = [&] {
    // A full-screen picture drawn by the game, as each of its frames.
    windows.Fill(game, 0, 0, 1920, 1080, (tick++ & 1) ? 0x336699 : 0x336698);
    return true;
  };
  const double drawAlone = PerCall(kRuns, draw);
  const double alone = PerCall(kRuns, grab);

  X11OverlayWindow overlay(server.Name());
  if (!overlay.Create()) return 1;
  overlay.Place(Rect{1920 - 224, 14, 1920 - 14, 56});
  overlay.Repaint([](Canvas& c) { c.FillRect(Rect{0, 0, c.Width(), c.Height()}, overlay::kBadge); });
  overlay.Sync();
  const double shown = PerCall(kRuns, grab);
  const double drawKept = PerCall(kRuns, draw);
  overlay.Hide();
  overlay.Sync();
  const double hidden = PerCall(kRuns, grab);

  std::printf("Lectura XShm 1920x1080 sin insignia: %.3f ms\n", alone);
  std::printf("Lectura con la insignia 210x42 borrada: %.3f ms (+%.3f ms)\n", shown, shown - alone);
  std::printf("Lectura con la insignia oculta: %.3f ms\n", hidden);
  std::printf("Dibujo del juego a pantalla completa: %.3f ms; redirigido: %.3f ms\n", drawAlone,
              drawKept);
  return 0;
}

// Paints every state of the overlay badge with this platform's painter and writes one PNG file per
// state into the folder given on the command line, to look at the badge without a game running.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/text.h"
#include "preview_canvas.h"
#include "ui/overlay_look.h"
#include "ui/overlay_painter.h"

namespace {

struct State {
  const char* file;
  halvex::OverlayLook look;
};

int Run(const std::filesystem::path& folder) {
  using halvex::BadgeMode;
  namespace overlay = halvex::overlay;
  const std::vector<State> states = {
      {"dot.png", {BadgeMode::kDot, "", 0}},
      {"on.png", {BadgeMode::kOn, overlay::OnText(""), 0}},
      {"on_ctrl_f9.png", {BadgeMode::kOn, overlay::OnText("Ctrl+F9"), 0}},
      {"saved.png", {BadgeMode::kSaved, std::string(overlay::kSavedText), 0}},
      {"message.png", {BadgeMode::kMessage, "Aun no listo... espera un instante", 0}},
      {"message_discord.png", {BadgeMode::kMessage, "Discord Clip + 20 MB listo", 0}},
      {"progress_-3.png", {BadgeMode::kProgress, "Creando copia para Discord", -3}},
      {"progress_42.png", {BadgeMode::kProgress, "Creando copia para Discord", 42}},
      {"progress_150.png", {BadgeMode::kProgress, "Creando copia para Discord", 150}},
  };
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "ERROR: no se pudo crear la carpeta %s: %s\n",
                 halvex::text::PathToUtf8(folder).c_str(), error.message().c_str());
    return 1;
  }
  int failures = 0;
  for (const State& state : states) {
    const halvex::Size size = overlay::BadgeSize(state.look.mode);
    auto canvas = halvex::tools::MakePreviewCanvas(size.width, size.height);
    halvex::PaintOverlay(canvas->Surface(), state.look);
    const std::filesystem::path path = folder / state.file;
    if (canvas->WritePng(path)) {
      std::printf("%s\n", halvex::text::PathToUtf8(path).c_str());
    } else {
      std::fprintf(stderr, "ERROR: no se pudo escribir %s\n",
                   halvex::text::PathToUtf8(path).c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "uso: halvex-overlay-preview CARPETA\n");
    return 2;
  }
  return Run(std::filesystem::path(argv[1]));
}

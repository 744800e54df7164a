#include "app/program_arguments.h"

#include <algorithm>

#include "update/installed_version.h"

namespace halvex {

ProgramArguments ParseProgramArguments(const std::vector<std::string>& args) {
  ProgramArguments out;
  for (const std::string& arg : args) {
    ProgramRequest request = ProgramRequest::Unknown;
    if (arg == "--help" || arg == "-h") request = ProgramRequest::Help;
    else if (arg == "--version" || arg == "-V") request = ProgramRequest::Version;
    if (request == ProgramRequest::Unknown) {
      out.request = ProgramRequest::Unknown;
      out.unknown = arg;
      return out;
    }
    // Help wins over the version when both are asked for.
    if (out.request != ProgramRequest::Help) out.request = request;
  }
  return out;
}

std::string VersionText() { return "Halvex " + std::string(kBuiltInVersion); }

std::string HelpText(const HelpFacts& f) {
  const std::string clips = f.clipsFolder.empty() ? std::string("la carpeta actual")
                                                  : f.clipsFolder;
  std::string out;
  out += VersionText() + ": guarda los ultimos segundos de tu partida como un clip.\n\n";
  out += "Uso: Halvex [--help | --version]\n\n";
  out += "Sin opciones, Halvex se queda en segundo plano y mantiene en memoria los\n"
         "ultimos " + std::to_string(f.durationSeconds) +
         " s de imagen y sonido del juego en primer plano. Al pulsar el atajo\n"
         "de guardar escribe ese tramo como un video.\n\n";
  const size_t width = std::max(f.saveShortcut.size(), f.menuShortcut.size());
  auto pad = [width](const std::string& s) { return s + std::string(width - s.size(), ' '); };
  out += "Atajos:\n";
  out += "  " + pad(f.saveShortcut) + "  guardar un clip\n";
  out += "  " + pad(f.menuShortcut) + "  abrir los menus de ajustes\n";
  if (!f.menuNote.empty()) out += "  (" + f.menuNote + ")\n";
  out += "\nAjustes: " + f.settingsFile + "\n";
  out += "Clips:   " + clips + ", una carpeta por juego (clip_AAAA-MM-DD_hh-mm-ss.mp4)\n\n";
  out += "Opciones:\n";
  out += "  -h, --help     muestra esta ayuda y termina\n";
  out += "  -V, --version  muestra la version y termina\n";
  return out;
}

}  // namespace halvex

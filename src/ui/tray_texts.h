#pragma once
// What the notification-area icon says and offers, the same on every platform.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvex {

// Menu command ids; the Windows menu and the D-Bus menu both use them as item ids.
enum class TrayCommand : uint32_t {
  Quit = 20481,
  OpenSettings = 20482,
};

struct TrayMenuEntry {
  TrayCommand command;
  std::string_view label;
};

// In menu order; a separator sits between the two.
inline constexpr TrayMenuEntry kTrayMenu[] = {
    {TrayCommand::OpenSettings, "Abrir configuracion"},
    {TrayCommand::Quit, "Salir de Halvex"},
};

inline constexpr std::string_view kTrayTip = "Halvex";
// The Windows tip field holds 128 UTF-16 units with its terminator.
inline constexpr size_t kTrayTipUnits = 128;

// Logged through log::Warning (which adds "AVISO: ") when the icon cannot be created.
inline constexpr std::string_view kTrayCreateFailed =
    "no se pudo inicializar el icono de bandeja de Halvex.";

struct TrayNotification {
  std::string title;
  std::string text;
  int timeoutMs = 0;
};

TrayNotification StartupNotification();
// `version` is put in unchanged, whatever it holds.
TrayNotification UpdateNotification(std::string_view version);

// The tip as it fits the Windows field: at most kTrayTipUnits - 1 units, never half a pair.
std::u16string FitTrayTip(std::u16string_view tip);

}  // namespace halvex

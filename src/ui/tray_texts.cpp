#include "ui/tray_texts.h"

namespace halvex {

TrayNotification StartupNotification() { return {"Halvex", "Halvex está activo.", 4000}; }

TrayNotification UpdateNotification(std::string_view version) {
  std::string text = "Nueva versión disponible (";
  text += version;
  text += "). Abre el menú de Halvex y pulsa Update para instalarla.";
  return {"Halvex — nueva actualización", std::move(text), 7000};
}

std::u16string FitTrayTip(std::u16string_view tip) {
  size_t keep = tip.size() < kTrayTipUnits ? tip.size() : kTrayTipUnits - 1;
  // A high surrogate whose partner would be cut off goes too.
  if (keep < tip.size() && keep > 0 && tip[keep - 1] >= 0xD800 && tip[keep - 1] <= 0xDBFF) --keep;
  return std::u16string(tip.substr(0, keep));
}

}  // namespace halvex

#pragma once
// The icon itself: org.kde.StatusNotifierItem at /StatusNotifierItem, pointing hosts at the menu.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/linux/sni_bus.h"

namespace halvex::sni {

// The icon name hosts look up in the icon theme before they fall back to the pixels. The theme's
// recording icon is the same red dot.
inline constexpr const char* kIconName = "media-record";

class SniItem {
 public:
  // `onActivate` runs inside the bus dispatch when a host activates the icon.
  explicit SniItem(std::function<void()> onActivate);

  bool Export(sd_bus* bus, std::string* error);

  // Called from the bus dispatch.
  void Activate() const;
  int AppendIconPixmaps(sd_bus_message* reply) const;

 private:
  struct Pixmap {
    int size;
    std::vector<uint8_t> argb;  // ARGB32 in network byte order, as the item's pixmaps are sent
  };
  std::function<void()> onActivate_;
  std::vector<Pixmap> pixmaps_;
  SlotPtr slot_;
};

}  // namespace halvex::sni

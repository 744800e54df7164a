#pragma once
// The icon's menu as hosts read it: com.canonical.dbusmenu at /MenuBar. One flat level under the
// root: "Abrir configuracion", a separator, "Salir de Halvex"; the entries' ids are the command ids.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/linux/sni_bus.h"

namespace halvex::sni {

class SniMenu {
 public:
  struct Item {
    int32_t id;
    std::string label;  // empty for the separator
    bool separator;
  };

  // Id of the separator; the root is 0 and the entries carry their command ids.
  static constexpr int32_t kSeparatorId = 1;

  // `onClicked` gets the command id of a clicked entry, inside the bus dispatch.
  explicit SniMenu(std::function<void(uint32_t)> onClicked);

  bool Export(sd_bus* bus, std::string* error);

  // Called from the bus dispatch.
  const Item* Find(int32_t id) const;
  const std::vector<Item>& Items() const { return items_; }
  void Clicked(int32_t id) const;

 private:
  std::vector<Item> items_;
  std::function<void(uint32_t)> onClicked_;
  SlotPtr slot_;
};

}  // namespace halvex::sni

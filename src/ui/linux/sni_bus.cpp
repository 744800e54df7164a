#include "ui/linux/sni_bus.h"

#include <cstring>

namespace halvex::sni {

std::string BusError::Text(int result) const {
  if (sd_bus_error_is_set(&error)) {
    std::string text = error.name;
    if (error.message != nullptr) text += std::string(": ") + error.message;
    return text;
  }
  return std::strerror(result < 0 ? -result : result);
}

BusPtr OpenSessionBus(const std::string& address, std::string* error) {
  sd_bus* raw = nullptr;
  int r = 0;
  if (address.empty()) {
    r = sd_bus_open_user(&raw);
  } else {
    r = sd_bus_new(&raw);
    if (r >= 0) r = sd_bus_set_address(raw, address.c_str());
    if (r >= 0) r = sd_bus_set_bus_client(raw, 1);
    if (r >= 0) r = sd_bus_start(raw);
  }
  BusPtr bus(raw);
  if (r < 0) {
    if (error != nullptr) {
      *error = "no hay bus de sesion D-Bus (" + std::string(std::strerror(-r)) + ")";
    }
    return nullptr;
  }
  return bus;
}

bool ExportObject(sd_bus* bus, const char* path, const char* interface, const sd_bus_vtable* vtable,
                  void* object, const char* what, SlotPtr& slot, std::string* error) {
  sd_bus_slot* raw = nullptr;
  const int r = sd_bus_add_object_vtable(bus, &raw, path, interface, vtable, object);
  if (r < 0) {
    if (error != nullptr) {
      *error = "no se pudo publicar " + std::string(what) + " en D-Bus (" +
               std::string(std::strerror(-r)) + ")";
    }
    return false;
  }
  slot.reset(raw);
  return true;
}

}  // namespace halvex::sni

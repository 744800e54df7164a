#pragma once
// Owning handles for sd-bus objects and the connection the tray uses.
#include <systemd/sd-bus.h>

#include <memory>
#include <string>

#include "core/free_with.h"

namespace halvex::sni {

inline constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
inline constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
inline constexpr const char* kWatcherInterface = "org.kde.StatusNotifierWatcher";
inline constexpr const char* kItemPath = "/StatusNotifierItem";
inline constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
inline constexpr const char* kMenuPath = "/MenuBar";
inline constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
inline constexpr const char* kNotificationsName = "org.freedesktop.Notifications";
inline constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";
inline constexpr const char* kNotificationsInterface = "org.freedesktop.Notifications";

using BusPtr = std::unique_ptr<sd_bus, FreeWith<sd_bus_flush_close_unref>>;
using SlotPtr = std::unique_ptr<sd_bus_slot, FreeWith<sd_bus_slot_unref>>;
using MessagePtr = std::unique_ptr<sd_bus_message, FreeWith<sd_bus_message_unref>>;

// Frees an sd_bus_error when it goes out of scope.
struct BusError {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~BusError() { sd_bus_error_free(&error); }
  sd_bus_error* get() { return &error; }
  std::string Text(int result) const;
};

// Publishes `vtable` for `object` at `path`; the slot keeps it there. False with `error` set to
// "no se pudo publicar <what> en D-Bus (...)" when the bus refuses it.
bool ExportObject(sd_bus* bus, const char* path, const char* interface, const sd_bus_vtable* vtable,
                  void* object, const char* what, SlotPtr& slot, std::string* error);

// Connects to the bus at `address`, or to the session bus of the environment when it is empty.
// Null with `error` set (Spanish) on failure.
BusPtr OpenSessionBus(const std::string& address, std::string* error);

}  // namespace halvex::sni

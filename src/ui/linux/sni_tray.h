#pragma once
// The Linux tray: a StatusNotifierItem on the session bus with its menu, registered with the
// desktop's StatusNotifierWatcher, and desktop notifications. sd-bus has no loop of its own, so
// the main loop's Pump() runs whatever arrived. Only Create() waits: for the watcher's answer to
// the registration, at most 3 s.
#include <memory>
#include <string>

#include "ui/linux/sni_bus.h"
#include "ui/linux/sni_item.h"
#include "ui/linux/sni_menu.h"
#include "ui/tray.h"

namespace halvex {

class SniTray final : public TrayBase {
 public:
  // An empty address means the session bus of the environment (DBUS_SESSION_BUS_ADDRESS, else
  // $XDG_RUNTIME_DIR/bus).
  explicit SniTray(std::string busAddress = {});
  ~SniTray() override;
  SniTray(const SniTray&) = delete;
  SniTray& operator=(const SniTray&) = delete;

  void Pump() override;

  // Why the last Create failed (Spanish), for a line after the warning.
  const std::string& FailureReason() const { return failure_; }
  // The bus name the item owns while it exists, "org.kde.StatusNotifierItem-PID-N".
  const std::string& ServiceName() const { return service_; }

 private:
  bool Add() override;
  void Delete() override;
  void Notify(const TrayNotification& notification) override;

  bool RegisterWithWatcher();
  static int OnWatcherOwnerChanged(sd_bus_message* signal, void* userdata, sd_bus_error*);

  std::string address_;
  std::string failure_;
  std::string service_;
  sni::BusPtr bus_;
  std::unique_ptr<sni::SniItem> item_;
  std::unique_ptr<sni::SniMenu> menu_;
  sni::SlotPtr watcherMatch_;
};

}  // namespace halvex

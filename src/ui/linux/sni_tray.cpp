#include "ui/linux/sni_tray.h"

#include <unistd.h>

#include <atomic>
#include <cstring>

#include "core/log.h"
#include "ui/linux/notification_client.h"

namespace halvex {
namespace {

// A watcher answers at once; a hung one must not hold the start-up for long.
constexpr uint64_t kRegisterTimeoutUs = 3'000'000;
// One pass handles at most this many messages, so a flood cannot stall the recorder's loop.
constexpr int kMessagesPerPump = 256;

std::string NextServiceName() {
  static std::atomic<int> counter{0};
  return "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

}  // namespace

SniTray::SniTray(std::string busAddress) : address_(std::move(busAddress)) {}

SniTray::~SniTray() { Remove(); }

bool SniTray::Add() {
  failure_.clear();
  bus_ = sni::OpenSessionBus(address_, &failure_);
  if (!bus_) return false;
  item_ = std::make_unique<sni::SniItem>([this] { OnActivate(); });
  menu_ = std::make_unique<sni::SniMenu>([this](uint32_t id) { OnCommand(id); });
  service_ = NextServiceName();

  bool ok = item_->Export(bus_.get(), &failure_) && menu_->Export(bus_.get(), &failure_);
  if (ok) {
    const int r = sd_bus_request_name(bus_.get(), service_.c_str(), 0);
    if (r < 0) {
      failure_ = "no se pudo tomar el nombre " + service_ + " (" + std::strerror(-r) + ")";
      ok = false;
    }
  }
  if (ok) {
    // A panel that restarts brings a new watcher, which knows nothing of this item.
    const std::string rule = std::string("type='signal',sender='org.freedesktop.DBus',"
                                         "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                                         "arg0='") + sni::kWatcherName + "'";
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &SniTray::OnWatcherOwnerChanged, this);
    if (r < 0) {
      failure_ = std::string("no se pudo vigilar el StatusNotifierWatcher (") + std::strerror(-r) + ")";
      ok = false;
    }
    watcherMatch_.reset(slot);
  }
  if (ok) ok = RegisterWithWatcher();
  if (!ok) Delete();
  return ok;
}

void SniTray::Delete() {
  // Slots go before the connection they belong to.
  watcherMatch_.reset();
  menu_.reset();
  item_.reset();
  // Given back before the connection closes, so the name is free the moment Remove returns.
  if (bus_ && !service_.empty() && sd_bus_is_open(bus_.get()) > 0) {
    sd_bus_release_name(bus_.get(), service_.c_str());
  }
  bus_.reset();
  service_.clear();
}

bool SniTray::RegisterWithWatcher() {
  sd_bus_message* raw = nullptr;
  int r = sd_bus_message_new_method_call(bus_.get(), &raw, sni::kWatcherName, sni::kWatcherPath,
                                         sni::kWatcherInterface, "RegisterStatusNotifierItem");
  sni::MessagePtr call(raw);
  if (r >= 0) r = sd_bus_message_append(call.get(), "s", service_.c_str());
  sni::BusError error;
  sd_bus_message* reply = nullptr;
  if (r >= 0) r = sd_bus_call(bus_.get(), call.get(), kRegisterTimeoutUs, error.get(), &reply);
  sni::MessagePtr hold(reply);
  if (r < 0) {
    failure_ = "no hay StatusNotifierWatcher en el bus de sesion (" + error.Text(r) + ")";
    return false;
  }
  return true;
}

int SniTray::OnWatcherOwnerChanged(sd_bus_message* signal, void* userdata, sd_bus_error*) {
  auto* self = static_cast<SniTray*>(userdata);
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
  if (newOwner == nullptr || newOwner[0] == '\0') return 0;
  // Not awaited: the answer changes nothing, and the loop must not wait on the new watcher.
  sd_bus_call_method_async(self->bus_.get(), nullptr, sni::kWatcherName, sni::kWatcherPath,
                           sni::kWatcherInterface, "RegisterStatusNotifierItem", nullptr, nullptr,
                           "s", self->service_.c_str());
  return 0;
}

void SniTray::Pump() {
  if (!bus_) return;
  for (int i = 0; i < kMessagesPerPump; ++i) {
    const int r = sd_bus_process(bus_.get(), nullptr);
    if (r < 0 || sd_bus_is_open(bus_.get()) <= 0) {
      log::Warning("se perdio la conexion con el bus de sesion; el icono de bandeja desaparece.");
      Delete();
      OnLost();
      return;
    }
    if (r == 0) return;
  }
}

void SniTray::Notify(const TrayNotification& notification) {
  if (bus_) sni::SendNotification(bus_.get(), notification);
}

}  // namespace halvex

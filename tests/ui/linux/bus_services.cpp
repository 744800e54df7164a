#include "ui/linux/bus_services.h"

#include <chrono>

namespace halvex::testing {
namespace {

constexpr auto kPatience = std::chrono::seconds(10);
constexpr uint64_t kWaitSliceUs = 5'000;

// --- watcher: only the registration the item makes ---

int OnRegisterItem(sd_bus_message* m, void* userdata, sd_bus_error*) {
  const char* service = nullptr;
  const int r = sd_bus_message_read(m, "s", &service);
  if (r < 0) return r;
  const char* sender = sd_bus_message_get_sender(m);
  static_cast<TestWatcher*>(userdata)->Add({service, sender != nullptr ? sender : ""});
  return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kWatcherVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", OnRegisterItem, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

// --- notifications ---

int OnNotify(sd_bus_message* m, void* userdata, sd_bus_error*) {
  TestNotificationServer::Received got;
  const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
  int r = sd_bus_message_read(m, "susss", &app, &got.replaces, &icon, &summary, &body);
  if (r >= 0) r = sd_bus_message_skip(m, "asa{sv}");
  if (r >= 0) r = sd_bus_message_read(m, "i", &got.timeoutMs);
  if (r < 0) return r;
  got.app = app;
  got.icon = icon;
  got.summary = summary;
  got.body = body;
  const uint32_t id = static_cast<TestNotificationServer*>(userdata)->Add(std::move(got));
  return sd_bus_reply_method_return(m, "u", id);
}

const sd_bus_vtable kNotificationsVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", OnNotify, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

// --- host ---

struct PendingReply {
  bool done = false;
  sni::MessagePtr reply;
};

int OnReply(sd_bus_message* m, void* userdata, sd_bus_error*) {
  auto* pending = static_cast<PendingReply*>(userdata);
  pending->reply.reset(sd_bus_message_ref(m));
  pending->done = true;
  return 0;
}

}  // namespace

BusService::BusService(const std::string& address) : bus_(sni::OpenSessionBus(address, nullptr)) {}

BusService::~BusService() { Stop(); }

void BusService::Start(const char* name, const char* path, const char* interface,
                       const sd_bus_vtable* vtable, void* self) {
  if (!bus_) return;
  sd_bus_slot* slot = nullptr;
  if (sd_bus_add_object_vtable(bus_.get(), &slot, path, interface, vtable, self) < 0) return;
  slot_.reset(slot);
  if (sd_bus_request_name(bus_.get(), name, 0) < 0) return;
  ok_ = true;
  thread_ = std::thread([this] { Run(); });
}

void BusService::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void BusService::Run() {
  while (!stop_) {
    const int r = sd_bus_process(bus_.get(), nullptr);
    if (r < 0) return;
    if (r == 0) sd_bus_wait(bus_.get(), 20'000);
  }
}

std::string BusService::UniqueName() const {
  const char* name = nullptr;
  return bus_ && sd_bus_get_unique_name(bus_.get(), &name) >= 0 ? name : "";
}

bool BusService::PumpUntil(ITray& tray, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    tray.Pump();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(kWaitSliceUs));
  }
  return done();
}

TestWatcher::TestWatcher(const std::string& address) : BusService(address) {
  Start(sni::kWatcherName, sni::kWatcherPath, sni::kWatcherInterface, kWatcherVtable, this);
}

std::vector<TestWatcher::Registration> TestWatcher::Registrations() const {
  std::lock_guard lock(mutex_);
  return registrations_;
}

void TestWatcher::Add(Registration r) {
  std::lock_guard lock(mutex_);
  registrations_.push_back(std::move(r));
}

TestNotificationServer::TestNotificationServer(const std::string& address) : BusService(address) {
  Start(sni::kNotificationsName, sni::kNotificationsPath, sni::kNotificationsInterface,
        kNotificationsVtable, this);
}

std::vector<TestNotificationServer::Received> TestNotificationServer::Notifications() const {
  std::lock_guard lock(mutex_);
  return received_;
}

uint32_t TestNotificationServer::Add(Received r) {
  std::lock_guard lock(mutex_);
  received_.push_back(std::move(r));
  return uint32_t(received_.size());
}

TestHost::TestHost(const std::string& address) : bus_(sni::OpenSessionBus(address, nullptr)) {}

sni::MessagePtr TestHost::NewCall(const std::string& destination, const char* path,
                                  const char* interface, const char* member) {
  sd_bus_message* m = nullptr;
  sd_bus_message_new_method_call(bus_.get(), &m, destination.c_str(), path, interface, member);
  return sni::MessagePtr(m);
}

sni::MessagePtr TestHost::Call(ITray& tray, sd_bus_message* call, std::string* errorName) {
  PendingReply pending;
  sd_bus_slot* raw = nullptr;
  if (sd_bus_call_async(bus_.get(), &raw, call, OnReply, &pending, 10'000'000) < 0) {
    if (errorName != nullptr) *errorName = "no enviado";
    return nullptr;
  }
  sni::SlotPtr slot(raw);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!pending.done && std::chrono::steady_clock::now() < deadline) {
    tray.Pump();
    while (sd_bus_process(bus_.get(), nullptr) > 0) {
    }
    if (!pending.done) sd_bus_wait(bus_.get(), kWaitSliceUs);
  }
  if (!pending.done) {
    if (errorName != nullptr) *errorName = "sin respuesta";
    return nullptr;
  }
  if (sd_bus_message_is_method_error(pending.reply.get(), nullptr)) {
    if (errorName != nullptr) *errorName = sd_bus_message_get_error(pending.reply.get())->name;
    return nullptr;
  }
  return std::move(pending.reply);
}

bool TestHost::HasOwner(const std::string& name) {
  sni::BusError error;
  sd_bus_message* reply = nullptr;
  int has = 0;
  if (sd_bus_call_method(bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", error.get(), &reply, "s",
                         name.c_str()) >= 0) {
    sd_bus_message_read(reply, "b", &has);
  }
  sd_bus_message_unref(reply);
  return has != 0;
}

std::vector<std::string> TestHost::NamesStartingWith(const std::string& prefix) {
  sni::BusError error;
  sd_bus_message* reply = nullptr;
  std::vector<std::string> names;
  if (sd_bus_call_method(bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "ListNames", error.get(), &reply, "") >= 0 &&
      sd_bus_message_enter_container(reply, 'a', "s") > 0) {
    const char* name = nullptr;
    while (sd_bus_message_read(reply, "s", &name) > 0) {
      if (std::string(name).rfind(prefix, 0) == 0) names.emplace_back(name);
    }
  }
  sd_bus_message_unref(reply);
  return names;
}

}  // namespace halvex::testing

#pragma once
// The desktop's side of the tray, for tests on a private bus: a StatusNotifierWatcher, a
// notification service, and a host that calls into the item. The two services answer on threads
// of their own, since the tray's registration waits for its answer.
#include <systemd/sd-bus.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/linux/sni_bus.h"
#include "ui/tray.h"

namespace halvex::testing {

// A connection of its own, dispatched on its own thread once Start() has published the service.
class BusService {
 public:
  explicit BusService(const std::string& address);
  virtual ~BusService();
  BusService(const BusService&) = delete;
  BusService& operator=(const BusService&) = delete;

  bool ok() const { return ok_; }
  std::string UniqueName() const;

  // Waits (keeping `tray` pumped) until `done` holds, at most ten seconds.
  bool PumpUntil(ITray& tray, const std::function<bool()>& done);

 protected:
  // Publishes `vtable` at `path` with `self` as its userdata, takes `name`, starts the thread.
  void Start(const char* name, const char* path, const char* interface, const sd_bus_vtable* vtable,
             void* self);
  // Ends the thread; derived classes call it before their members go.
  void Stop();

  mutable std::mutex mutex_;

 private:
  void Run();

  sni::BusPtr bus_;
  sni::SlotPtr slot_;
  std::atomic<bool> stop_{false};
  bool ok_ = false;
  std::thread thread_;
};

class TestWatcher final : public BusService {
 public:
  struct Registration {
    std::string service;  // what the item passed
    std::string sender;   // the connection it came from
  };
  explicit TestWatcher(const std::string& address);
  ~TestWatcher() override { Stop(); }

  std::vector<Registration> Registrations() const;
  void Add(Registration r);

 private:
  std::vector<Registration> registrations_;
};

class TestNotificationServer final : public BusService {
 public:
  struct Received {
    std::string app;
    uint32_t replaces = 0;
    std::string icon;
    std::string summary;
    std::string body;
    int32_t timeoutMs = 0;
  };
  explicit TestNotificationServer(const std::string& address);
  ~TestNotificationServer() override { Stop(); }

  std::vector<Received> Notifications() const;
  uint32_t Add(Received r);

 private:
  std::vector<Received> received_;
};

// A panel's calls into the item, made from the test thread: each call pumps the tray until the
// answer is back, as the recorder's loop would between its passes.
class TestHost {
 public:
  explicit TestHost(const std::string& address);

  bool ok() const { return bus_ != nullptr; }
  sd_bus* bus() const { return bus_.get(); }

  // A new call to `destination`; fill its arguments, then Call().
  sni::MessagePtr NewCall(const std::string& destination, const char* path, const char* interface,
                          const char* member);
  // Sends `call` and pumps `tray` until the reply; null with `errorName` set on an error reply.
  sni::MessagePtr Call(ITray& tray, sd_bus_message* call, std::string* errorName = nullptr);
  // Whether some connection owns `name` right now.
  bool HasOwner(const std::string& name);
  // Bus names that start with `prefix`.
  std::vector<std::string> NamesStartingWith(const std::string& prefix);

 private:
  sni::BusPtr bus_;
};

}  // namespace halvex::testing

#pragma once
// The notification-area icon as the main loop sees it. Everything runs on the main thread: the loop
// calls Pump() once per pass, then TakeRequests() to learn whether the player asked for the
// settings or for the end of the program.
#include <cstdint>
#include <string_view>

#include "ui/tray_texts.h"

namespace halvex {

// What the player asked for through the icon since the last TakeRequests().
struct TrayRequests {
  bool openSettings = false;
  bool quit = false;

  bool Any() const { return openSettings || quit; }
};

class ITray {
 public:
  virtual ~ITray() = default;

  // Adds the icon; false when the platform has no place for it. Creating twice returns true at once.
  virtual bool Create() = 0;
  virtual bool Created() const = 0;
  // Results are ignored: a notification that cannot be shown changes nothing.
  virtual void ShowStartupNotification() = 0;
  virtual void ShowUpdateNotification(std::string_view version) = 0;
  // Handles what reached the icon since the last pass. Never blocks.
  virtual void Pump() = 0;
  // Returns the pending requests and clears them.
  virtual TrayRequests TakeRequests() = 0;
  // Takes the icon away. Safe to call when it was never created.
  virtual void Remove() = 0;
};

// The rules every backend shares; a backend supplies the system calls and reports what the player
// did through OnCommand/OnActivate.
class TrayBase : public ITray {
 public:
  bool Create() final;
  bool Created() const final { return created_; }
  void ShowStartupNotification() final;
  void ShowUpdateNotification(std::string_view version) final;
  TrayRequests TakeRequests() final;
  void Remove() final;

 protected:
  // Makes the icon; on failure it has already undone whatever it made.
  virtual bool Add() = 0;
  virtual void Delete() = 0;
  virtual void Notify(const TrayNotification& notification) = 0;

  // A menu entry was chosen. False for ids that are not ours (nothing is requested).
  bool OnCommand(uint32_t id);
  // The icon itself was activated (double click, or a host's primary activation).
  void OnActivate();
  // The system took the icon away on its own (its bus went away): a later Create may try again.
  void OnLost();

 private:
  bool created_ = false;
  TrayRequests pending_;
};

// Start-up: creates the icon and shows the start-up notification right after; on failure logs
// the warning and the program runs on without an icon. Returns whether the icon exists.
bool StartTray(ITray& tray);

}  // namespace halvex

#include "ui/tray.h"

#include "core/log.h"

namespace halvex {

bool TrayBase::Create() {
  if (created_) return true;
  created_ = Add();
  return created_;
}

void TrayBase::ShowStartupNotification() {
  if (created_) Notify(StartupNotification());
}

void TrayBase::ShowUpdateNotification(std::string_view version) {
  if (created_) Notify(UpdateNotification(version));
}

TrayRequests TrayBase::TakeRequests() {
  TrayRequests taken = pending_;
  pending_ = {};
  return taken;
}

void TrayBase::Remove() {
  if (created_) Delete();
  created_ = false;
}

bool TrayBase::OnCommand(uint32_t id) {
  switch (static_cast<TrayCommand>(id)) {
    case TrayCommand::OpenSettings:
      pending_.openSettings = true;
      return true;
    case TrayCommand::Quit:
      pending_.quit = true;
      return true;
  }
  return false;
}

void TrayBase::OnActivate() { pending_.openSettings = true; }

void TrayBase::OnLost() { created_ = false; }

bool StartTray(ITray& tray) {
  if (!tray.Create()) {
    log::Warning(kTrayCreateFailed);
    return false;
  }
  tray.ShowStartupNotification();
  return true;
}

}  // namespace halvex

#pragma once
// Desktop notifications through org.freedesktop.Notifications. Sent without waiting: nothing is
// done with the answer, and a desktop without the service simply shows nothing.
#include <systemd/sd-bus.h>

#include "ui/tray_texts.h"

namespace halvex::sni {

inline constexpr const char* kNotificationAppName = "Halvex";

// Queues the Notify call on `bus`; it leaves with the next write. Returns whether it was queued.
bool SendNotification(sd_bus* bus, const TrayNotification& notification);

}  // namespace halvex::sni

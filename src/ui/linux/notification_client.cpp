#include "ui/linux/notification_client.h"

#include "ui/linux/sni_bus.h"

namespace halvex::sni {

bool SendNotification(sd_bus* bus, const TrayNotification& notification) {
  // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
  const int r = sd_bus_call_method_async(
      bus, nullptr, kNotificationsName, kNotificationsPath, kNotificationsInterface, "Notify",
      nullptr, nullptr, "susssasa{sv}i", kNotificationAppName, 0u, "media-record",
      notification.title.c_str(), notification.text.c_str(), 0, 0, notification.timeoutMs);
  return r >= 0;
}

}  // namespace halvex::sni

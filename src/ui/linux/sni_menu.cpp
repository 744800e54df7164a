#include "ui/linux/sni_menu.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "ui/tray_texts.h"

namespace halvex::sni {
namespace {

// The menu never changes, so its layout keeps one revision.
constexpr uint32_t kLayoutRevision = 1;
constexpr int32_t kRootId = 0;

using Properties = std::vector<std::pair<const char*, std::string>>;

Properties PropertiesOf(const SniMenu& menu, int32_t id) {
  if (id == kRootId) return {{"children-display", "submenu"}};
  const SniMenu::Item* item = menu.Find(id);
  if (item == nullptr) return {};
  if (item->separator) return {{"type", "separator"}};
  return {{"label", item->label}};
}

bool Wanted(const std::vector<std::string>& names, std::string_view key) {
  if (names.empty()) return true;
  for (const std::string& n : names) {
    if (n == key) return true;
  }
  return false;
}

int ReadStrings(sd_bus_message* m, std::vector<std::string>& out) {
  int r = sd_bus_message_enter_container(m, 'a', "s");
  while (r > 0) {
    const char* s = nullptr;
    r = sd_bus_message_read(m, "s", &s);
    if (r > 0) out.emplace_back(s);
  }
  if (r < 0) return r;
  return sd_bus_message_exit_container(m);
}

int AppendProperties(sd_bus_message* reply, const SniMenu& menu, int32_t id,
                     const std::vector<std::string>& names) {
  int r = sd_bus_message_open_container(reply, 'a', "{sv}");
  for (const auto& [key, value] : PropertiesOf(menu, id)) {
    if (r < 0) break;
    if (!Wanted(names, key)) continue;
    r = sd_bus_message_append(reply, "{sv}", key, "s", value.c_str());
  }
  if (r >= 0) r = sd_bus_message_close_container(reply);
  return r;
}

// One node, (ia{sv}av); the root carries the entries as its children unless depth is 0.
int AppendNode(sd_bus_message* reply, const SniMenu& menu, int32_t id, int32_t depth,
               const std::vector<std::string>& names) {
  int r = sd_bus_message_open_container(reply, 'r', "ia{sv}av");
  if (r >= 0) r = sd_bus_message_append(reply, "i", id);
  if (r >= 0) r = AppendProperties(reply, menu, id, names);
  if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "v");
  if (id == kRootId && depth != 0) {
    for (const SniMenu::Item& item : menu.Items()) {
      if (r >= 0) r = sd_bus_message_open_container(reply, 'v', "(ia{sv}av)");
      if (r >= 0) r = AppendNode(reply, menu, item.id, depth - 1, names);
      if (r >= 0) r = sd_bus_message_close_container(reply);
    }
  }
  if (r >= 0) r = sd_bus_message_close_container(reply);
  if (r >= 0) r = sd_bus_message_close_container(reply);
  return r;
}

bool Known(const SniMenu& menu, int32_t id) { return id == kRootId || menu.Find(id) != nullptr; }

int UnknownItem(sd_bus_error* error, int32_t id) {
  return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no existe el elemento de menu %d", id);
}

int SendNewReply(sd_bus_message* call, const std::function<int(sd_bus_message*)>& fill) {
  sd_bus_message* raw = nullptr;
  int r = sd_bus_message_new_method_return(call, &raw);
  if (r < 0) return r;
  MessagePtr reply(raw);
  r = fill(reply.get());
  if (r < 0) return r;
  return sd_bus_send(nullptr, reply.get(), nullptr);
}

int OnGetLayout(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  const auto& menu = *static_cast<const SniMenu*>(userdata);
  int32_t parent = 0;
  int32_t depth = 0;
  std::vector<std::string> names;
  int r = sd_bus_message_read(call, "ii", &parent, &depth);
  if (r >= 0) r = ReadStrings(call, names);
  if (r < 0) return r;
  if (!Known(menu, parent)) return UnknownItem(error, parent);
  return SendNewReply(call, [&](sd_bus_message* reply) {
    int w = sd_bus_message_append(reply, "u", kLayoutRevision);
    if (w >= 0) w = AppendNode(reply, menu, parent, depth, names);
    return w;
  });
}

int OnGetGroupProperties(sd_bus_message* call, void* userdata, sd_bus_error*) {
  const auto& menu = *static_cast<const SniMenu*>(userdata);
  const void* data = nullptr;
  size_t bytes = 0;
  std::vector<std::string> names;
  int r = sd_bus_message_read_array(call, 'i', &data, &bytes);
  if (r >= 0) r = ReadStrings(call, names);
  if (r < 0) return r;
  std::vector<int32_t> ids(static_cast<const int32_t*>(data),
                           static_cast<const int32_t*>(data) + bytes / sizeof(int32_t));
  if (ids.empty()) {  // no ids: every node
    ids.push_back(kRootId);
    for (const SniMenu::Item& item : menu.Items()) ids.push_back(item.id);
  }
  return SendNewReply(call, [&](sd_bus_message* reply) {
    int w = sd_bus_message_open_container(reply, 'a', "(ia{sv})");
    for (int32_t id : ids) {
      if (w < 0 || !Known(menu, id)) continue;
      w = sd_bus_message_open_container(reply, 'r', "ia{sv}");
      if (w >= 0) w = sd_bus_message_append(reply, "i", id);
      if (w >= 0) w = AppendProperties(reply, menu, id, names);
      if (w >= 0) w = sd_bus_message_close_container(reply);
    }
    if (w >= 0) w = sd_bus_message_close_container(reply);
    return w;
  });
}

int OnGetProperty(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  const auto& menu = *static_cast<const SniMenu*>(userdata);
  int32_t id = 0;
  const char* name = nullptr;
  const int r = sd_bus_message_read(call, "is", &id, &name);
  if (r < 0) return r;
  if (!Known(menu, id)) return UnknownItem(error, id);
  for (const auto& [key, value] : PropertiesOf(menu, id)) {
    if (std::strcmp(key, name) == 0) return sd_bus_reply_method_return(call, "v", "s", value.c_str());
  }
  return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS,
                           "el elemento de menu %d no tiene la propiedad %s", id, name);
}

// Reads one (isvu) event body; the data variant is of no use to a flat menu.
int ReadEvent(sd_bus_message* m, int32_t& id, std::string& eventId) {
  const char* event = nullptr;
  uint32_t timestamp = 0;
  int r = sd_bus_message_read(m, "is", &id, &event);
  if (r >= 0) r = sd_bus_message_skip(m, "v");
  if (r >= 0) r = sd_bus_message_read(m, "u", &timestamp);
  if (r >= 0) eventId = event;
  return r;
}

void Dispatch(const SniMenu& menu, int32_t id, const std::string& eventId) {
  if (eventId == "clicked") menu.Clicked(id);
}

int OnEvent(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  const auto& menu = *static_cast<const SniMenu*>(userdata);
  int32_t id = 0;
  std::string eventId;
  const int r = ReadEvent(call, id, eventId);
  if (r < 0) return r;
  if (!Known(menu, id)) return UnknownItem(error, id);
  Dispatch(menu, id, eventId);
  return sd_bus_reply_method_return(call, "");
}

int OnEventGroup(sd_bus_message* call, void* userdata, sd_bus_error*) {
  const auto& menu = *static_cast<const SniMenu*>(userdata);
  std::vector<int32_t> idErrors;
  int r = sd_bus_message_enter_container(call, 'a', "(isvu)");
  while (r > 0) {
    r = sd_bus_message_enter_container(call, 'r', "isvu");
    if (r <= 0) break;
    int32_t id = 0;
    std::string eventId;
    r = ReadEvent(call, id, eventId);
    if (r >= 0) r = sd_bus_message_exit_container(call);
    if (r < 0) break;
    if (Known(menu, id)) {
      Dispatch(menu, id, eventId);
    } else {
      idErrors.push_back(id);
    }
  }
  if (r >= 0) r = sd_bus_message_exit_container(call);
  if (r < 0) return r;
  return SendNewReply(call, [&](sd_bus_message* reply) {
    return sd_bus_message_append_array(reply, 'i', idErrors.data(), idErrors.size() * sizeof(int32_t));
  });
}

// Nothing is built lazily, so no node ever needs an update before it is shown.
int OnAboutToShow(sd_bus_message* call, void*, sd_bus_error*) {
  return sd_bus_reply_method_return(call, "b", 0);
}

int OnAboutToShowGroup(sd_bus_message* call, void*, sd_bus_error*) {
  return sd_bus_reply_method_return(call, "aiai", 0, 0);
}

int GetMenuProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                    void*, sd_bus_error*) {
  const std::string_view name = property;
  if (name == "Version") return sd_bus_message_append(reply, "u", 3u);
  if (name == "TextDirection") return sd_bus_message_append(reply, "s", "ltr");
  if (name == "Status") return sd_bus_message_append(reply, "s", "normal");
  if (name == "IconThemePath") return sd_bus_message_append(reply, "as", 0);
  return -ENOENT;
}

constexpr uint64_t kConst = SD_BUS_VTABLE_PROPERTY_CONST;
constexpr uint64_t kOpen = SD_BUS_VTABLE_UNPRIVILEGED;

const sd_bus_vtable kMenuVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", GetMenuProperty, 0, kConst),
    SD_BUS_PROPERTY("TextDirection", "s", GetMenuProperty, 0, kConst),
    SD_BUS_PROPERTY("Status", "s", GetMenuProperty, 0, kConst),
    SD_BUS_PROPERTY("IconThemePath", "as", GetMenuProperty, 0, kConst),
    SD_BUS_METHOD("GetLayout", "iias", "u(ia{sv}av)", OnGetLayout, kOpen),
    SD_BUS_METHOD("GetGroupProperties", "aias", "a(ia{sv})", OnGetGroupProperties, kOpen),
    SD_BUS_METHOD("GetProperty", "is", "v", OnGetProperty, kOpen),
    SD_BUS_METHOD("Event", "isvu", "", OnEvent, kOpen),
    SD_BUS_METHOD("EventGroup", "a(isvu)", "ai", OnEventGroup, kOpen),
    SD_BUS_METHOD("AboutToShow", "i", "b", OnAboutToShow, kOpen),
    SD_BUS_METHOD("AboutToShowGroup", "ai", "aiai", OnAboutToShowGroup, kOpen),
    SD_BUS_SIGNAL("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", 0),
    SD_BUS_SIGNAL("LayoutUpdated", "ui", 0),
    SD_BUS_SIGNAL("ItemActivationRequested", "iu", 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

SniMenu::SniMenu(std::function<void(uint32_t)> onClicked) : onClicked_(std::move(onClicked)) {
  const TrayMenuEntry& first = kTrayMenu[0];
  const TrayMenuEntry& second = kTrayMenu[1];
  items_ = {
      {int32_t(first.command), std::string(first.label), false},
      {kSeparatorId, "", true},
      {int32_t(second.command), std::string(second.label), false},
  };
}

bool SniMenu::Export(sd_bus* bus, std::string* error) {
  return ExportObject(bus, kMenuPath, kMenuInterface, kMenuVtable, this, "el menu de bandeja", slot_,
                      error);
}

const SniMenu::Item* SniMenu::Find(int32_t id) const {
  for (const Item& item : items_) {
    if (item.id == id) return &item;
  }
  return nullptr;
}

void SniMenu::Clicked(int32_t id) const {
  const Item* item = Find(id);
  if (item != nullptr && !item->separator && onClicked_) onClicked_(uint32_t(id));
}

}  // namespace halvex::sni

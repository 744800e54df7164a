#include "ui/linux/sni_item.h"

#include <string_view>

#include "ui/tray_icon_image.h"
#include "ui/tray_texts.h"

namespace halvex::sni {
namespace {

// Sizes panels commonly draw; hosts scale the nearest.
constexpr int kPixmapSizes[] = {16, 22, 32, 48};

int AppendEmptyPixmaps(sd_bus_message* reply) { return sd_bus_message_append(reply, "a(iiay)", 0); }

int GetProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                void* userdata, sd_bus_error*) {
  const auto* item = static_cast<const SniItem*>(userdata);
  const std::string_view name = property;
  const std::string tip(kTrayTip);
  if (name == "Category") return sd_bus_message_append(reply, "s", "ApplicationStatus");
  if (name == "Id") return sd_bus_message_append(reply, "s", "halvex");
  if (name == "Title") return sd_bus_message_append(reply, "s", tip.c_str());
  if (name == "Status") return sd_bus_message_append(reply, "s", "Active");
  if (name == "WindowId") return sd_bus_message_append(reply, "i", 0);
  if (name == "IconName") return sd_bus_message_append(reply, "s", kIconName);
  if (name == "IconPixmap") return item->AppendIconPixmaps(reply);
  if (name == "IconThemePath" || name == "OverlayIconName" || name == "AttentionIconName" ||
      name == "AttentionMovieName") {
    return sd_bus_message_append(reply, "s", "");
  }
  if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap") return AppendEmptyPixmaps(reply);
  if (name == "ItemIsMenu") return sd_bus_message_append(reply, "b", 0);
  if (name == "Menu") return sd_bus_message_append(reply, "o", kMenuPath);
  if (name == "ToolTip") {
    // (icon name, icon pixmaps, title, description)
    int r = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss");
    if (r >= 0) r = sd_bus_message_append(reply, "s", "");
    if (r >= 0) r = AppendEmptyPixmaps(reply);
    if (r >= 0) r = sd_bus_message_append(reply, "ss", tip.c_str(), "");
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
  }
  return -ENOENT;
}

int OnActivate(sd_bus_message* call, void* userdata, sd_bus_error*) {
  static_cast<const SniItem*>(userdata)->Activate();
  return sd_bus_reply_method_return(call, "");
}

// Hosts draw the menu from the Menu property; a middle click, a scroll or a request to show the
// menu ourselves has nothing to do.
int OnIgnored(sd_bus_message* call, void*, sd_bus_error*) {
  return sd_bus_reply_method_return(call, "");
}

constexpr uint64_t kConst = SD_BUS_VTABLE_PROPERTY_CONST;

const sd_bus_vtable kItemVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("Id", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("Title", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("Status", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("WindowId", "i", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("IconThemePath", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("IconName", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("OverlayIconName", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("OverlayIconPixmap", "a(iiay)", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("AttentionIconName", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("AttentionIconPixmap", "a(iiay)", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("AttentionMovieName", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("ItemIsMenu", "b", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("Menu", "o", GetProperty, 0, kConst),
    SD_BUS_METHOD("ContextMenu", "ii", "", OnIgnored, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Activate", "ii", "", OnActivate, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", OnIgnored, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Scroll", "is", "", OnIgnored, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

SniItem::SniItem(std::function<void()> onActivate) : onActivate_(std::move(onActivate)) {
  for (int size : kPixmapSizes) {
    const ArgbImage image = MakeTrayIconImage(size);
    Pixmap pixmap{size, {}};
    pixmap.argb.reserve(image.pixels.size() * 4);
    for (uint32_t p : image.pixels) {
      for (int shift : {24, 16, 8, 0}) pixmap.argb.push_back(uint8_t(p >> shift));
    }
    pixmaps_.push_back(std::move(pixmap));
  }
}

bool SniItem::Export(sd_bus* bus, std::string* error) {
  return ExportObject(bus, kItemPath, kItemInterface, kItemVtable, this, "el icono", slot_, error);
}

void SniItem::Activate() const {
  if (onActivate_) onActivate_();
}

int SniItem::AppendIconPixmaps(sd_bus_message* reply) const {
  int r = sd_bus_message_open_container(reply, 'a', "(iiay)");
  for (const Pixmap& p : pixmaps_) {
    if (r >= 0) r = sd_bus_message_open_container(reply, 'r', "iiay");
    if (r >= 0) r = sd_bus_message_append(reply, "ii", p.size, p.size);
    if (r >= 0) r = sd_bus_message_append_array(reply, 'y', p.argb.data(), p.argb.size());
    if (r >= 0) r = sd_bus_message_close_container(reply);
  }
  if (r >= 0) r = sd_bus_message_close_container(reply);
  return r;
}

}  // namespace halvex::sni

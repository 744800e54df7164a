// The Linux tray on a private session bus: a test watcher, notification service and host talk to
// it over real D-Bus round trips.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "core/log.h"
#include "ui/linux/bus_services.h"
#include "ui/linux/session_bus.h"
#include "ui/linux/sni_tray.h"

namespace halvex {
namespace {

using testing::PrivateSessionBus;
using testing::TestHost;
using testing::TestNotificationServer;
using testing::TestWatcher;

struct MenuNode {
  int32_t id = -1;
  std::map<std::string, std::string> props;  // string-valued properties; others as "?"
  std::vector<MenuNode> children;
};

int ReadNode(sd_bus_message* m, MenuNode& node) {
  int r = sd_bus_message_enter_container(m, 'r', "ia{sv}av");
  if (r >= 0) r = sd_bus_message_read(m, "i", &node.id);
  if (r >= 0) r = sd_bus_message_enter_container(m, 'a', "{sv}");
  while (r >= 0 && sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* key = nullptr;
    const char* contents = nullptr;
    r = sd_bus_message_read(m, "s", &key);
    if (r >= 0) r = sd_bus_message_peek_type(m, nullptr, &contents);
    if (r >= 0 && std::string(contents) == "s") {
      const char* value = nullptr;
      r = sd_bus_message_read(m, "v", "s", &value);
      if (r >= 0) node.props[key] = value;
    } else if (r >= 0) {
      r = sd_bus_message_skip(m, "v");
      node.props[key] = "?";
    }
    if (r >= 0) r = sd_bus_message_exit_container(m);
  }
  if (r >= 0) r = sd_bus_message_exit_container(m);
  if (r >= 0) r = sd_bus_message_enter_container(m, 'a', "v");
  while (r >= 0 && sd_bus_message_enter_container(m, 'v', "(ia{sv}av)") > 0) {
    node.children.emplace_back();
    r = ReadNode(m, node.children.back());
    if (r >= 0) r = sd_bus_message_exit_container(m);
  }
  if (r >= 0) r = sd_bus_message_exit_container(m);
  if (r >= 0) r = sd_bus_message_exit_container(m);
  return r;
}

class SniTrayTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(bus_.address().empty()) << bus_.error(); }

  // A tray created against a running test watcher.
  void CreateTray() {
    watcher_ = std::make_unique<TestWatcher>(bus_.address());
    ASSERT_TRUE(watcher_->ok());
    tray_ = std::make_unique<SniTray>(bus_.address());
    ASSERT_TRUE(tray_->Create()) << tray_->FailureReason();
    ASSERT_TRUE(host_.ok());
  }

  sni::MessagePtr CallItem(const char* path, const char* interface, const char* member,
                           const std::function<void(sd_bus_message*)>& fill = {},
                           std::string* errorName = nullptr) {
    sni::MessagePtr call = host_.NewCall(tray_->ServiceName(), path, interface, member);
    if (fill) fill(call.get());
    return host_.Call(*tray_, call.get(), errorName);
  }

  sni::MessagePtr GetItemProperty(const char* name) {
    return CallItem(sni::kItemPath, "org.freedesktop.DBus.Properties", "Get", [&](sd_bus_message* m) {
      sd_bus_message_append(m, "ss", sni::kItemInterface, name);
    });
  }

  std::string ItemStringProperty(const char* name, const char* type = "s") {
    sni::MessagePtr reply = GetItemProperty(name);
    const char* value = nullptr;
    if (!reply || sd_bus_message_read(reply.get(), "v", type, &value) < 0) return "(no leida)";
    return value;
  }

  MenuNode Layout(int32_t parent, int32_t depth) {
    MenuNode root;
    sni::MessagePtr reply = CallItem(sni::kMenuPath, sni::kMenuInterface, "GetLayout",
                                     [&](sd_bus_message* m) {
                                       sd_bus_message_append(m, "iias", parent, depth, 0);
                                     });
    uint32_t revision = 0;
    EXPECT_TRUE(reply != nullptr);
    if (reply && sd_bus_message_read(reply.get(), "u", &revision) >= 0) {
      EXPECT_GE(ReadNode(reply.get(), root), 0);
    }
    return root;
  }

  PrivateSessionBus bus_;
  TestHost host_{bus_.address()};
  std::unique_ptr<TestWatcher> watcher_;
  std::unique_ptr<SniTray> tray_;
};

TEST_F(SniTrayTest, RegistersWithTheWatcherUnderItsOwnNameOnce) {
  CreateTray();
  const std::string prefix = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-";
  EXPECT_EQ(tray_->ServiceName().rfind(prefix, 0), 0u) << tray_->ServiceName();
  EXPECT_TRUE(host_.HasOwner(tray_->ServiceName()));

  EXPECT_TRUE(tray_->Create());  // a second create changes nothing
  const auto registrations = watcher_->Registrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].service, tray_->ServiceName());
  // The registration came from the connection that owns the item's name.
  sni::BusError error;
  sd_bus_message* reply = nullptr;
  ASSERT_GE(sd_bus_call_method(host_.bus(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetNameOwner", error.get(), &reply, "s",
                               tray_->ServiceName().c_str()),
            0);
  sni::MessagePtr hold(reply);
  const char* owner = nullptr;
  ASSERT_GE(sd_bus_message_read(reply, "s", &owner), 0);
  EXPECT_EQ(registrations[0].sender, owner);

  tray_->Remove();
  EXPECT_FALSE(tray_->Created());
  EXPECT_TRUE(host_.NamesStartingWith(prefix).empty());
}

TEST_F(SniTrayTest, ItemTellsHostsItsTitleIconAndMenu) {
  CreateTray();
  struct Case {
    const char* property;
    const char* type;
    const char* value;
  };
  const Case cases[] = {
      {"Title", "s", "Halvex"},          {"Status", "s", "Active"},
      {"Category", "s", "ApplicationStatus"}, {"IconName", "s", "media-record"},
      {"Menu", "o", "/MenuBar"},
  };
  for (const Case& c : cases) EXPECT_EQ(ItemStringProperty(c.property, c.type), c.value) << c.property;

  sni::MessagePtr isMenu = GetItemProperty("ItemIsMenu");
  int flag = 1;
  ASSERT_TRUE(isMenu);
  ASSERT_GE(sd_bus_message_read(isMenu.get(), "v", "b", &flag), 0);
  EXPECT_EQ(flag, 0) << "a click must activate, not open the menu";

  sni::MessagePtr tip = GetItemProperty("ToolTip");
  ASSERT_TRUE(tip);
  const char* tipTitle = nullptr;
  ASSERT_GE(sd_bus_message_enter_container(tip.get(), 'v', "(sa(iiay)ss)"), 0);
  ASSERT_GE(sd_bus_message_enter_container(tip.get(), 'r', "sa(iiay)ss"), 0);
  ASSERT_GE(sd_bus_message_skip(tip.get(), "sa(iiay)"), 0);
  ASSERT_GE(sd_bus_message_read(tip.get(), "s", &tipTitle), 0);
  EXPECT_STREQ(tipTitle, "Halvex");

  // Pixmaps are ARGB32 in network byte order: a red dot in the middle, clear corners.
  sni::MessagePtr pixmaps = GetItemProperty("IconPixmap");
  ASSERT_TRUE(pixmaps);
  ASSERT_GE(sd_bus_message_enter_container(pixmaps.get(), 'v', "a(iiay)"), 0);
  ASSERT_GE(sd_bus_message_enter_container(pixmaps.get(), 'a', "(iiay)"), 0);
  std::vector<int> sizes;
  while (sd_bus_message_enter_container(pixmaps.get(), 'r', "iiay") > 0) {
    int32_t w = 0, h = 0;
    const void* data = nullptr;
    size_t bytes = 0;
    ASSERT_GE(sd_bus_message_read(pixmaps.get(), "ii", &w, &h), 0);
    ASSERT_GE(sd_bus_message_read_array(pixmaps.get(), 'y', &data, &bytes), 0);
    ASSERT_GE(sd_bus_message_exit_container(pixmaps.get()), 0);
    sizes.push_back(w);
    ASSERT_EQ(w, h);
    ASSERT_EQ(bytes, size_t(4 * w * h));
    const auto* px = static_cast<const uint8_t*>(data);
    const size_t centre = 4 * size_t((h / 2) * w + w / 2);
    EXPECT_EQ(std::vector<uint8_t>(px + centre, px + centre + 4), (std::vector<uint8_t>{0xFF, 0xE0, 0x30, 0x30}))
        << w;
    EXPECT_EQ(px[0], 0) << w << ": the corner is transparent";
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 22, 32, 48}));
}

TEST_F(SniTrayTest, MenuLayoutHoldsTheTwoEntriesAroundASeparator) {
  CreateTray();
  const MenuNode root = Layout(0, -1);
  EXPECT_EQ(root.id, 0);
  EXPECT_EQ(root.props.at("children-display"), "submenu");
  ASSERT_EQ(root.children.size(), 3u);
  EXPECT_EQ(root.children[0].id, 20482);
  EXPECT_EQ(root.children[0].props, (std::map<std::string, std::string>{{"label", "Abrir configuracion"}}));
  EXPECT_EQ(root.children[1].props, (std::map<std::string, std::string>{{"type", "separator"}}));
  EXPECT_EQ(root.children[2].id, 20481);
  EXPECT_EQ(root.children[2].props, (std::map<std::string, std::string>{{"label", "Salir de Halvex"}}));

  // Depth 0 is the node alone; an entry asked for directly has no children.
  EXPECT_TRUE(Layout(0, 0).children.empty());
  const MenuNode quit = Layout(20481, -1);
  EXPECT_EQ(quit.props.at("label"), "Salir de Halvex");
  EXPECT_TRUE(quit.children.empty());
}

TEST_F(SniTrayTest, ClicksAndActivationBecomeRequestsOnThePump) {
  CreateTray();
  auto event = [](int32_t id, const char* what) {
    return [=](sd_bus_message* m) { sd_bus_message_append(m, "isvu", id, what, "i", 0, 0u); };
  };
  struct Case {
    const char* what;
    const char* path;
    const char* interface;
    const char* member;
    std::function<void(sd_bus_message*)> fill;
    TrayRequests expected;
  };
  const Case cases[] = {
      {"clic en Salir de Halvex", sni::kMenuPath, sni::kMenuInterface, "Event", event(20481, "clicked"),
       {false, true}},
      {"clic en Abrir configuracion", sni::kMenuPath, sni::kMenuInterface, "Event",
       event(20482, "clicked"), {true, false}},
      {"Activate", sni::kItemPath, sni::kItemInterface, "Activate",
       [](sd_bus_message* m) { sd_bus_message_append(m, "ii", 10, 20); }, {true, false}},
      {"Salir de Halvex solo se resalta", sni::kMenuPath, sni::kMenuInterface, "Event",
       event(20481, "hovered"), {false, false}},
      {"clic en el separador", sni::kMenuPath, sni::kMenuInterface, "Event",
       event(sni::SniMenu::kSeparatorId, "clicked"), {false, false}},
      {"grupo con clic en Salir", sni::kMenuPath, sni::kMenuInterface, "EventGroup",
       [](sd_bus_message* m) { sd_bus_message_append(m, "a(isvu)", 1, 20481, "clicked", "i", 0, 0u); },
       {false, true}},
      {"clic secundario", sni::kItemPath, sni::kItemInterface, "SecondaryActivate",
       [](sd_bus_message* m) { sd_bus_message_append(m, "ii", 0, 0); }, {false, false}},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(tray_->TakeRequests().Any()) << c.what;
    std::string error;
    EXPECT_TRUE(CallItem(c.path, c.interface, c.member, c.fill, &error)) << c.what << ": " << error;
    const TrayRequests got = tray_->TakeRequests();
    EXPECT_EQ(got.openSettings, c.expected.openSettings) << c.what;
    EXPECT_EQ(got.quit, c.expected.quit) << c.what;
  }
}

TEST_F(SniTrayTest, EventsForUnknownEntriesAreRefused) {
  CreateTray();
  std::string error;
  EXPECT_FALSE(CallItem(sni::kMenuPath, sni::kMenuInterface, "Event",
                        [](sd_bus_message* m) { sd_bus_message_append(m, "isvu", 999, "clicked", "i", 0, 0u); },
                        &error));
  EXPECT_EQ(error, "org.freedesktop.DBus.Error.InvalidArgs");

  sni::MessagePtr reply = CallItem(sni::kMenuPath, sni::kMenuInterface, "EventGroup", [](sd_bus_message* m) {
    sd_bus_message_append(m, "a(isvu)", 2, 999, "clicked", "i", 0, 0u, 20482, "clicked", "i", 0, 0u);
  });
  ASSERT_TRUE(reply);
  const void* ids = nullptr;
  size_t bytes = 0;
  ASSERT_GE(sd_bus_message_read_array(reply.get(), 'i', &ids, &bytes), 0);
  ASSERT_EQ(bytes, sizeof(int32_t));
  EXPECT_EQ(*static_cast<const int32_t*>(ids), 999);
  const TrayRequests got = tray_->TakeRequests();
  EXPECT_TRUE(got.openSettings) << "the known event in the group still counts";
  EXPECT_FALSE(got.quit);
}

TEST_F(SniTrayTest, StartupAndUpdateNotificationsReachTheNotificationService) {
  TestNotificationServer server(bus_.address());
  ASSERT_TRUE(server.ok());
  watcher_ = std::make_unique<TestWatcher>(bus_.address());
  tray_ = std::make_unique<SniTray>(bus_.address());
  log::Capture capture;
  ASSERT_TRUE(StartTray(*tray_)) << tray_->FailureReason();
  EXPECT_TRUE(capture.Lines().empty());
  tray_->ShowUpdateNotification("2.1.14");
  ASSERT_TRUE(server.PumpUntil(*tray_, [&] { return server.Notifications().size() == 2; }));

  struct Expected {
    std::string summary;
    std::string body;
    int32_t timeoutMs;
  };
  const Expected expected[] = {
      {"Halvex", "Halvex está activo.", 4000},
      {"Halvex — nueva actualización",
       "Nueva versión disponible (2.1.14). Abre el menú de Halvex y pulsa Update para instalarla.", 7000},
  };
  const auto got = server.Notifications();
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(got[i].app, "Halvex");
    EXPECT_EQ(got[i].summary, expected[i].summary);
    EXPECT_EQ(got[i].body, expected[i].body);
    EXPECT_EQ(got[i].timeoutMs, expected[i].timeoutMs);
  }
}

TEST_F(SniTrayTest, WithoutAWatcherOrABusCreateFailsAndLeavesNothing) {
  struct Case {
    const char* what;
    std::string address;
    const char* reason;
  };
  const Case cases[] = {
      {"bus sin watcher", bus_.address(), "StatusNotifierWatcher"},
      {"sin bus", "unix:path=/nonexistent/halvex-bus", "bus de sesion"},
  };
  for (const Case& c : cases) {
    SniTray tray(c.address);
    log::Capture capture;
    EXPECT_FALSE(StartTray(tray)) << c.what;
    EXPECT_FALSE(tray.Created()) << c.what;
    EXPECT_NE(tray.FailureReason().find(c.reason), std::string::npos) << c.what << ": " << tray.FailureReason();
    EXPECT_EQ(capture.Lines(),
              std::vector<std::string>{"AVISO: no se pudo inicializar el icono de bandeja de Halvex."});
    EXPECT_TRUE(host_.NamesStartingWith("org.kde.StatusNotifierItem-").empty()) << c.what;
    tray.Pump();  // harmless without an icon
  }
}

TEST_F(SniTrayTest, ANewWatcherLearnsOfTheItemAgain) {
  CreateTray();
  watcher_.reset();  // the panel goes away...
  TestWatcher next(bus_.address());  // ...and comes back
  ASSERT_TRUE(next.ok());
  ASSERT_TRUE(next.PumpUntil(*tray_, [&] { return !next.Registrations().empty(); }));
  EXPECT_EQ(next.Registrations()[0].service, tray_->ServiceName());
}

TEST_F(SniTrayTest, LosingTheBusTakesTheIconAwayWithAWarning) {
  CreateTray();
  log::Capture capture;
  watcher_.reset();
  bus_.Stop();
  for (int i = 0; i < 1000 && tray_->Created(); ++i) {
    tray_->Pump();
    usleep(5000);
  }
  EXPECT_FALSE(tray_->Created());
  EXPECT_EQ(capture.Count("AVISO: se perdio la conexion con el bus de sesion"), 1u);
  tray_->Pump();
  EXPECT_FALSE(tray_->TakeRequests().Any());
}

}  // namespace
}  // namespace halvex

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "ui/tray.h"
#include "ui/tray_icon_image.h"
#include "ui/tray_texts.h"

namespace halvex {
namespace {

// A backend whose system calls only record what they were asked.
class RecordingTray final : public TrayBase {
 public:
  bool addResult = true;
  int adds = 0;
  int deletes = 0;
  std::vector<TrayNotification> shown;

  void Pump() override {}
  bool Command(uint32_t id) { return OnCommand(id); }
  void Activate() { OnActivate(); }
  void Lose() { OnLost(); }

 private:
  bool Add() override {
    ++adds;
    return addResult;
  }
  void Delete() override { ++deletes; }
  void Notify(const TrayNotification& n) override { shown.push_back(n); }
};

TEST(TrayTextsTest, NotificationsCarryTheirTitleTextAndTimeout) {
  struct Case {
    TrayNotification got;
    std::string title;
    std::string text;
    int timeoutMs;
  };
  const std::string updateTitle = "Halvex — nueva actualización";
  const Case cases[] = {
      {StartupNotification(), "Halvex", "Halvex está activo.", 4000},
      {UpdateNotification("2.1.14"), updateTitle,
       "Nueva versión disponible (2.1.14). Abre el menú de Halvex y pulsa Update para instalarla.", 7000},
      // The version goes in as given, even empty or with brackets of its own.
      {UpdateNotification(""), updateTitle,
       "Nueva versión disponible (). Abre el menú de Halvex y pulsa Update para instalarla.", 7000},
      {UpdateNotification(" v3 (beta) ñ "), updateTitle,
       "Nueva versión disponible ( v3 (beta) ñ ). Abre el menú de Halvex y pulsa Update para instalarla.",
       7000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.got.title, c.title);
    EXPECT_EQ(c.got.text, c.text);
    EXPECT_EQ(c.got.timeoutMs, c.timeoutMs);
  }
}

TEST(TrayTextsTest, MenuOffersSettingsThenQuitWithTheirCommandIds) {
  ASSERT_EQ(std::size(kTrayMenu), 2u);
  EXPECT_EQ(kTrayMenu[0].label, "Abrir configuracion");
  EXPECT_EQ(uint32_t(kTrayMenu[0].command), 20482u);
  EXPECT_EQ(kTrayMenu[1].label, "Salir de Halvex");
  EXPECT_EQ(uint32_t(kTrayMenu[1].command), 20481u);
}

TEST(TrayTextsTest, TipFitsTheWindowsFieldWithoutSplittingAPair) {
  const std::u16string pair = u"\U0001F534";  // two units
  struct Case {
    std::u16string tip;
    std::u16string fitted;
  };
  const Case cases[] = {
      {u"Halvex", u"Halvex"},
      {u"", u""},
      {std::u16string(127, u'a'), std::u16string(127, u'a')},
      {std::u16string(128, u'a'), std::u16string(127, u'a')},
      {std::u16string(300, u'a'), std::u16string(127, u'a')},
      {std::u16string(125, u'a') + pair, std::u16string(125, u'a') + pair},
      {std::u16string(126, u'a') + pair, std::u16string(126, u'a')},
  };
  for (const Case& c : cases) EXPECT_EQ(FitTrayTip(c.tip), c.fitted) << c.tip.size();
}

TEST(TrayBaseTest, EachActionRaisesItsRequest) {
  struct Case {
    const char* what;
    bool activate;
    uint32_t command;
    bool known;
    TrayRequests expected;
  };
  const Case cases[] = {
      {"Abrir configuracion", false, 20482, true, {true, false}},
      {"Salir de Halvex", false, 20481, true, {false, true}},
      {"activar el icono", true, 0, true, {true, false}},
      {"id ajeno", false, 20483, false, {false, false}},
      {"id cero", false, 0, false, {false, false}},
  };
  for (const Case& c : cases) {
    RecordingTray tray;
    ASSERT_TRUE(tray.Create());
    if (c.activate) {
      tray.Activate();
    } else {
      EXPECT_EQ(tray.Command(c.command), c.known) << c.what;
    }
    const TrayRequests got = tray.TakeRequests();
    EXPECT_EQ(got.openSettings, c.expected.openSettings) << c.what;
    EXPECT_EQ(got.quit, c.expected.quit) << c.what;
    EXPECT_FALSE(tray.TakeRequests().Any()) << c.what << ": taking clears";
  }
}

TEST(TrayBaseTest, RequestsGatherUntilTaken) {
  RecordingTray tray;
  ASSERT_TRUE(tray.Create());
  tray.Command(20482);
  tray.Activate();
  tray.Command(20481);
  const TrayRequests got = tray.TakeRequests();
  EXPECT_TRUE(got.openSettings);
  EXPECT_TRUE(got.quit);
}

TEST(TrayBaseTest, CreatingTwiceAddsOnceAndAFailureMayBeRetried) {
  RecordingTray tray;
  tray.addResult = false;
  EXPECT_FALSE(tray.Create());
  EXPECT_FALSE(tray.Created());
  tray.addResult = true;
  EXPECT_TRUE(tray.Create());
  EXPECT_TRUE(tray.Create());
  EXPECT_EQ(tray.adds, 2);

  tray.Remove();
  tray.Remove();
  EXPECT_EQ(tray.deletes, 1);
  EXPECT_FALSE(tray.Created());

  // Lost by the system: nothing to delete, and the next Create adds again.
  ASSERT_TRUE(tray.Create());
  tray.Lose();
  EXPECT_FALSE(tray.Created());
  tray.Remove();
  EXPECT_EQ(tray.deletes, 1);
  EXPECT_TRUE(tray.Create());
  EXPECT_EQ(tray.adds, 4);
}

TEST(TrayBaseTest, NotificationsNeedTheIcon) {
  RecordingTray tray;
  tray.ShowStartupNotification();
  tray.ShowUpdateNotification("9.9.9");
  EXPECT_TRUE(tray.shown.empty());
  ASSERT_TRUE(tray.Create());
  tray.ShowUpdateNotification("9.9.9");
  ASSERT_EQ(tray.shown.size(), 1u);
  EXPECT_EQ(tray.shown[0].text, UpdateNotification("9.9.9").text);
}

TEST(StartTrayTest, ShowsTheStartupNotificationOrLogsTheWarning) {
  for (const bool works : {true, false}) {
    RecordingTray tray;
    tray.addResult = works;
    log::Capture capture;
    EXPECT_EQ(StartTray(tray), works);
    if (works) {
      ASSERT_EQ(tray.shown.size(), 1u);
      EXPECT_EQ(tray.shown[0].text, "Halvex está activo.");
      EXPECT_TRUE(capture.Lines().empty());
    } else {
      EXPECT_TRUE(tray.shown.empty());
      EXPECT_EQ(capture.Lines(),
                std::vector<std::string>{"AVISO: no se pudo inicializar el icono de bandeja de Halvex."});
    }
  }
}

TEST(TrayIconImageTest, RedDotOnADarkRoundedSquareAtEverySize) {
  for (const int size : {16, 22, 32, 48}) {
    const ArgbImage image = MakeTrayIconImage(size);
    ASSERT_EQ(image.width, size);
    ASSERT_EQ(image.height, size);
    ASSERT_EQ(image.pixels.size(), size_t(size * size));
    const int mid = size / 2;
    EXPECT_EQ(image.At(mid, mid), kTrayIconDot) << size;
    EXPECT_EQ(image.At(mid, 1), kTrayIconBackground) << size;
    EXPECT_EQ(image.At(size - 2, mid), kTrayIconBackground) << size;
    for (const auto& [x, y] : {std::pair{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}}) {
      EXPECT_EQ(image.At(x, y), 0u) << size << " corner " << x << "," << y;
    }
  }
}

TEST(TrayIconImageTest, ThirtyTwoPixelsMatchTheProgramIcon) {
  // Pixels of the Windows .ico picture at the rounded corner and the dot's edge.
  const ArgbImage image = MakeTrayIconImage(32);
  struct Case {
    int x, y;
    uint32_t argb;
  };
  const Case cases[] = {
      {1, 1, 0}, {2, 2, kTrayIconBackground}, {15, 6, kTrayIconBackground},
      {15, 7, kTrayIconDot}, {24, 15, kTrayIconDot}, {25, 15, kTrayIconBackground},
  };
  for (const Case& c : cases) EXPECT_EQ(image.At(c.x, c.y), c.argb) << c.x << "," << c.y;
}

}  // namespace
}  // namespace halvex

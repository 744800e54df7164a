#include "core/platform_capabilities.h"

#include <gtest/gtest.h>

namespace halvex {
namespace {

TEST(PlatformCapabilitiesTest, WindowsBuildsDecideEveryCapability) {
  EXPECT_FALSE(IsWindows10Build(0));
  EXPECT_FALSE(IsWindows10Build(9600));
  EXPECT_TRUE(IsWindows10Build(10240));
  EXPECT_TRUE(IsWindows10Build(21999));
  EXPECT_FALSE(IsWindows10Build(22000));

  struct Case {
    uint32_t build;
    bool perProcess, bridge, duplicate, guard, gameTrack;
  };
  const Case cases[] = {
      {9600, false, false, false, false, true},
      {19045, false, true, true, true, false},
      {22000, true, false, false, false, true},
      {26100, true, false, false, false, true},
  };
  for (const Case& c : cases) {
    const PlatformCapabilities caps = WindowsCapabilities(c.build);
    EXPECT_EQ(caps.perProcessAudio, c.perProcess) << c.build;
    EXPECT_EQ(caps.shortcutsThroughBridge, c.bridge) << c.build;
    EXPECT_EQ(caps.duplicateWhileFocused, c.duplicate) << c.build;
    EXPECT_EQ(caps.privateWindowGuard, c.guard) << c.build;
    EXPECT_EQ(caps.gameOnlyTrack, c.gameTrack) << c.build;
  }
}

}  // namespace
}  // namespace halvex

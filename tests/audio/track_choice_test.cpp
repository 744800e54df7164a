// Which tracks a clip gets from the audio state at the save press.
#include "audio/track_choice.h"

#include <gtest/gtest.h>

namespace halvex {
namespace {

TEST(ChooseTracksTest, MainSourceAndEditorChannels) {
  AudioState s;
  EXPECT_FALSE(ChooseTracks(s).hasMain);
  EXPECT_FALSE(ChooseTracks(s).mainExpected);
  s.desktopRunning = true;
  s.appMixOpen = true;
  s.mixOpen = true;
  s.gameOpen = true;
  s.micStarted = true;
  s.micOpen = true;
  TrackChoice c = ChooseTracks(s);
  EXPECT_EQ(c.mainSource, AudioSource::AppMix);
  EXPECT_FALSE(c.hasMic);
  EXPECT_FALSE(c.hasGame);
  s.gameOnlyTrack = false;
  s.editorChannels = true;
  c = ChooseTracks(s);
  EXPECT_EQ(c.mainSource, AudioSource::Mix);
  EXPECT_TRUE(c.hasMic);
  EXPECT_FALSE(c.hasGame);  // no per-process tracks on this platform
  s.mixOpen = false;
  EXPECT_EQ(ChooseTracks(s).mainSource, AudioSource::Desktop);
  s.gameOnlyTrack = true;
  s.appMixOpen = false;
  EXPECT_FALSE(ChooseTracks(s).hasMain);
  EXPECT_TRUE(ChooseTracks(s).mainExpected);
}

}  // namespace
}  // namespace halvex

#include "audio/track_choice.h"

namespace halvex {

TrackChoice ChooseTracks(const AudioState& s) {
  TrackChoice c;
  if (s.desktopRunning) {
    if (s.gameOnlyTrack && s.appMixOpen) {
      c.hasMain = true;
      c.mainSource = AudioSource::AppMix;
    } else if (s.mixOpen) {
      c.hasMain = true;
      c.mainSource = AudioSource::Mix;
    } else if (!s.gameOnlyTrack) {
      // Where the loopback is the main track anyway, it stands in for a mix that failed.
      c.hasMain = true;
      c.mainSource = AudioSource::Desktop;
    }
  }
  c.hasMic = s.micStarted && s.micOpen && s.editorChannels;
  c.hasGame = s.desktopRunning && s.gameOnlyTrack && s.gameOpen && s.editorChannels;
  c.mainExpected = s.desktopRunning;
  return c;
}

}  // namespace halvex

#pragma once
// Which sound tracks a clip gets, from the state of the audio at the save press.
#include "audio/audio_histories.h"

namespace halvex {

// The session's audio as it stands at the press.
struct AudioState {
  bool desktopRunning = false;  // loopback opened and started this session, and not lost since
  bool desktopLost = false;     // started, but its device or sound server is gone
  bool micLost = false;
  // The platform makes the per-process tracks (the game's own sound and the application mix);
  // without them the output's loopback carries the main track.
  bool gameOnlyTrack = true;
  bool appMixOpen = false;
  bool mixOpen = false;
  bool micStarted = false;
  bool micOpen = false;
  bool gameOpen = false;
  bool editorChannels = false;
};

struct TrackChoice {
  bool hasMain = false;
  AudioSource mainSource = AudioSource::Mix;
  bool hasMic = false;
  bool hasGame = false;
  bool mainExpected = false;
};
TrackChoice ChooseTracks(const AudioState& state);

}  // namespace halvex

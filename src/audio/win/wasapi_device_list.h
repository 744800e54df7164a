#pragma once
// Active render and capture endpoints with their friendly names, for the audio menus.
#include "audio/audio_sources.h"

namespace halvex::wasapi {

class WasapiDeviceList final : public IAudioDeviceList {
 public:
  std::vector<AudioDevice> Outputs() override;
  std::vector<AudioDevice> Inputs() override;
};

}  // namespace halvex::wasapi

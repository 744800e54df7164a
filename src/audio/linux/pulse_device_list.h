#pragma once
// Outputs (sinks) and inputs (sources that are not monitors) with their descriptions.
#include "audio/audio_sources.h"

namespace halvex::pulse {

class PulseDeviceList final : public IAudioDeviceList {
 public:
  std::vector<AudioDevice> Outputs() override;
  std::vector<AudioDevice> Inputs() override;
};

}  // namespace halvex::pulse

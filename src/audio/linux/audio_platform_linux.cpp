#include "audio/audio_platform.h"

#include "audio/linux/pulse_device_capture.h"
#include "audio/linux/pulse_device_list.h"
#include "audio/linux/pulse_sessions.h"

namespace halvex {

std::unique_ptr<ILoopbackCapture> MakeLoopbackCapture() {
  return std::make_unique<pulse::PulseLoopbackCapture>();
}
std::unique_ptr<IMicrophoneCapture> MakeMicrophoneCapture() {
  return std::make_unique<pulse::PulseMicrophoneCapture>();
}
std::unique_ptr<IAudioDeviceList> MakeAudioDeviceList() {
  return std::make_unique<pulse::PulseDeviceList>();
}
std::unique_ptr<IAudioSessions> MakeAudioSessions() {
  return std::make_unique<pulse::PulseAudioSessions>();
}

}  // namespace halvex

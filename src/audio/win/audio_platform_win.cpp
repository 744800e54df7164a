#include "audio/audio_platform.h"

#include "audio/win/wasapi_capture.h"
#include "audio/win/wasapi_device_list.h"
#include "audio/win/wasapi_sessions.h"

namespace halvex {

std::unique_ptr<ILoopbackCapture> MakeLoopbackCapture() {
  return std::make_unique<wasapi::WasapiLoopbackCapture>();
}
std::unique_ptr<IMicrophoneCapture> MakeMicrophoneCapture() {
  return std::make_unique<wasapi::WasapiMicrophoneCapture>();
}
std::unique_ptr<IAudioDeviceList> MakeAudioDeviceList() {
  return std::make_unique<wasapi::WasapiDeviceList>();
}
std::unique_ptr<IAudioSessions> MakeAudioSessions() {
  return std::make_unique<wasapi::WasapiAudioSessions>(wasapi::SystemHasProcessLoopback());
}

}  // namespace halvex

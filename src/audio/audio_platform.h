#pragma once
// The platform's implementations of the audio seams (PulseAudio on Linux, WASAPI on Windows).
#include <memory>

#include "audio/audio_sources.h"

namespace halvex {

std::unique_ptr<ILoopbackCapture> MakeLoopbackCapture();
std::unique_ptr<IMicrophoneCapture> MakeMicrophoneCapture();
std::unique_ptr<IAudioDeviceList> MakeAudioDeviceList();
std::unique_ptr<IAudioSessions> MakeAudioSessions();

}  // namespace halvex

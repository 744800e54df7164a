#pragma once
// What the audio side needs from the operating system: the loopback of an output device, a
// microphone, the device lists, the audio sessions of an output device and per-process capture.
// Samples are interleaved 32-bit floats at the device's own rate and channel count (per-process
// capture: 48000 Hz stereo). Time stamps are on the program's monotonic clock (core/clock.h).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/sample_queue.h"

namespace halvex {

using AudioProcessId = uint32_t;

// Default names for devices whose name cannot be read.
inline constexpr const char* kDefaultOutputName = "Dispositivo de audio";
inline constexpr const char* kDefaultInputName = "Micrófono";

struct AudioDevice {
  std::string id;
  std::string name;  // friendly name
};

// What every capture device does, whatever it hands over: open on a device id (empty = the
// default device), start, stop and close, and tell its format.
class ICaptureDevice {
 public:
  virtual ~ICaptureDevice() = default;
  // Prepares capture on `deviceId`. Capture begins with Start. Calling it on an open source
  // first releases the previous device.
  virtual bool Open(const std::string& deviceId) = 0;
  virtual bool Start() = 0;
  virtual void Stop() = 0;
  virtual void Close() = 0;
  virtual int SampleRate() const = 0;
  virtual int Channels() const = 0;
  // The device or the sound server went away after Open: nothing more will arrive.
  virtual bool Ended() const = 0;
};

// Desktop loopback: what the user hears on an output device (empty id = the default output).
// Polled by the capture loop.
class ILoopbackCapture : public ICaptureDevice {
 public:
  // Appends every chunk captured since the last call; true when at least one was read.
  virtual bool Read(std::vector<AudioChunk>& chunks) = 0;
};

// Microphone (empty id = the default input): captured on its own thread into a queue bounded at
// 192000 samples. Start succeeds when already running; Stop also empties the queue.
class IMicrophoneCapture : public ICaptureDevice {
 public:
  // Takes everything queued as one chunk; false when the queue was empty.
  virtual bool Read(AudioChunk& chunk) = 0;
};

class IAudioDeviceList {
 public:
  virtual ~IAudioDeviceList() = default;
  virtual std::vector<AudioDevice> Outputs() = 0;
  virtual std::vector<AudioDevice> Inputs() = 0;
};

// One program playing sound on an output device.
struct AudioSessionInfo {
  AudioProcessId pid = 0;
  std::string imageName;    // executable file name as the system reports it
  std::string productName;  // may be empty
};

// Which sound a per-process capture takes: the process alone, or the process and everything it
// started (a game's helper processes). `inTree` tells whether a process belongs to the tree on
// platforms that cannot ask the system for it; it may be empty.
struct ProcessCaptureTarget {
  AudioProcessId pid = 0;
  bool includeTree = false;
  std::function<bool(AudioProcessId)> inTree;
};

// Sound of one process (or process tree) at 48000 Hz stereo, captured on its own thread.
class IProcessCapture {
 public:
  virtual ~IProcessCapture() = default;
  virtual bool Running() const = 0;
  // Moves every queued sample to the end of `out`.
  virtual QueuedAudio TakeQueued(std::vector<float>& out) = 0;
};

inline constexpr int kProcessCaptureRate = 48000;
inline constexpr int kProcessCaptureChannels = 2;

class IAudioSessions {
 public:
  virtual ~IAudioSessions() = default;
  // The programs with sound on `deviceId` (empty = default output), one entry per session in the
  // system's order. False when the list could not be read.
  virtual bool List(const std::string& deviceId, std::vector<AudioSessionInfo>& sessions) = 0;
  // Starts capture; never null. A capture that could not start reports Running() false.
  virtual std::unique_ptr<IProcessCapture> StartCapture(const std::string& deviceId,
                                                        const ProcessCaptureTarget& target) = 0;
  // The program's own volume in the system mixer (used where per-process capture is missing and
  // the loopback carries every program).
  virtual void SetSessionVolume(const std::string& deviceId, AudioProcessId pid, float volume) = 0;
  // Whether this platform can capture single processes at all.
  virtual bool PerProcessSupported() const = 0;
};

}  // namespace halvex

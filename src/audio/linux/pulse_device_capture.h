#pragma once
// Capture of one PulseAudio device: the monitor of an output (desktop loopback) or an input (the
// microphone). Samples arrive on the connection's event thread; the capture loop takes them.
// When the device or the sound server goes away, a capture that was started connects again on a
// thread of its own, at growing intervals, and goes on in the same format.
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "audio/audio_sources.h"
#include "audio/capture_recovery.h"
#include "audio/linux/pulse_connection.h"
#include "audio/linux/pulse_record_stream.h"
#include "audio/sample_queue.h"

namespace halvex::pulse {

class PulseDeviceCapture {
 public:
  enum class Kind { Loopback, Microphone };

  explicit PulseDeviceCapture(Kind kind) : kind_(kind) {}
  ~PulseDeviceCapture() { Close(); }

  bool Open(const std::string& deviceId);
  bool Start();
  void Stop();
  void Close();

  // Loopback: the chunks as they came. Microphone: everything queued, as one chunk.
  bool ReadChunks(std::vector<AudioChunk>& chunks);
  bool ReadQueue(AudioChunk& chunk);

  int SampleRate() const { return rate_; }
  int Channels() const { return channels_; }
  // Gone and quiet for a while (see CaptureHealth); false again once reconnected.
  bool Ended() const;

 private:
  struct Device {
    bool found = false;
    std::string source;  // what to record: the sink's monitor, or the source itself
    pa_sample_spec sampleFormat{};
    pa_channel_map map{};
    bool monitor = false;  // a source that only repeats an output
  };
  // Connects and finds what to record for `deviceId`; logs nothing. `error` says why it failed.
  Device Find(const std::string& deviceId, std::string& error);
  // Lock of the connection held.
  bool ConnectStream(std::string& error);
  void DropStream();
  bool Reopen(int attempt);
  void OnData(const float* samples, size_t frames, int64_t captureNs);
  void OnEnded();
  const char* What() const;

  Kind kind_;
  // Guards the connection and the stream against the reconnector's thread. Never taken on the
  // connection's event thread (the reconnector stops that thread while holding it).
  std::mutex lifeMutex_;
  PulseConnection connection_;
  std::unique_ptr<PulseRecordStream> stream_;
  std::string deviceId_;
  std::string source_;
  pa_channel_map map_{};
  int rate_ = 0;
  int channels_ = 0;
  std::atomic<bool> started_{false};
  std::atomic<bool> opened_{false};
  std::atomic<bool> warned_{false};
  CaptureHealth health_;
  CaptureReconnector reconnector_{[this](int attempt) { return Reopen(attempt); }};

  // Loopback chunks, bounded to two seconds so an unread capture keeps memory fixed.
  std::mutex chunksMutex_;
  std::deque<AudioChunk> chunks_;
  size_t queuedSamples_ = 0;
  // Microphone queue.
  SampleQueue queue_;
};

// The device calls both captures share; each adds the Read its interface asks for.
template <class Interface, PulseDeviceCapture::Kind kKind>
class PulseCaptureOf : public Interface {
 public:
  bool Open(const std::string& deviceId) override { return impl_.Open(deviceId); }
  bool Start() override { return impl_.Start(); }
  void Stop() override { impl_.Stop(); }
  void Close() override { impl_.Close(); }
  int SampleRate() const override { return impl_.SampleRate(); }
  int Channels() const override { return impl_.Channels(); }
  bool Ended() const override { return impl_.Ended(); }

 protected:
  PulseDeviceCapture impl_{kKind};
};

class PulseLoopbackCapture final
    : public PulseCaptureOf<ILoopbackCapture, PulseDeviceCapture::Kind::Loopback> {
 public:
  bool Read(std::vector<AudioChunk>& chunks) override { return impl_.ReadChunks(chunks); }
};

class PulseMicrophoneCapture final
    : public PulseCaptureOf<IMicrophoneCapture, PulseDeviceCapture::Kind::Microphone> {
 public:
  bool Read(AudioChunk& chunk) override { return impl_.ReadQueue(chunk); }
};

}  // namespace halvex::pulse

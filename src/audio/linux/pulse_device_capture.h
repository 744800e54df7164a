#pragma once
// Capture of one PulseAudio device: the monitor of an output (desktop loopback) or an input (the
// microphone). Samples arrive on the connection's event thread; the capture loop takes them.
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "audio/audio_sources.h"
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
  bool Ended() const { return ended_; }

 private:
  void OnData(const float* samples, size_t frames, int64_t captureNs);
  void OnEnded();
  const char* What() const;

  Kind kind_;
  PulseConnection connection_;
  std::unique_ptr<PulseRecordStream> stream_;
  std::string source_;
  pa_channel_map map_{};
  int rate_ = 0;
  int channels_ = 0;
  bool started_ = false;
  std::atomic<bool> ended_{false};
  std::atomic<bool> warned_{false};

  // Loopback chunks, bounded to two seconds so an unread capture keeps memory fixed.
  std::mutex chunksMutex_;
  std::deque<AudioChunk> chunks_;
  size_t queuedSamples_ = 0;
  // Microphone queue.
  SampleQueue queue_;
};

class PulseLoopbackCapture final : public ILoopbackCapture {
 public:
  bool Open(const std::string& deviceId) override { return impl_.Open(deviceId); }
  bool Start() override { return impl_.Start(); }
  void Stop() override { impl_.Stop(); }
  void Close() override { impl_.Close(); }
  bool Read(std::vector<AudioChunk>& chunks) override { return impl_.ReadChunks(chunks); }
  int SampleRate() const override { return impl_.SampleRate(); }
  int Channels() const override { return impl_.Channels(); }
  bool Ended() const override { return impl_.Ended(); }

 private:
  PulseDeviceCapture impl_{PulseDeviceCapture::Kind::Loopback};
};

class PulseMicrophoneCapture final : public IMicrophoneCapture {
 public:
  bool Open(const std::string& deviceId) override { return impl_.Open(deviceId); }
  bool Start() override { return impl_.Start(); }
  void Stop() override { impl_.Stop(); }
  void Close() override { impl_.Close(); }
  bool Read(AudioChunk& chunk) override { return impl_.ReadQueue(chunk); }
  int SampleRate() const override { return impl_.SampleRate(); }
  int Channels() const override { return impl_.Channels(); }
  bool Ended() const override { return impl_.Ended(); }

 private:
  PulseDeviceCapture impl_{PulseDeviceCapture::Kind::Microphone};
};

}  // namespace halvex::pulse

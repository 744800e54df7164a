#pragma once
// A float32 record stream on one source (or on one sink input through the sink's monitor). Every
// chunk is handed on with the capture time of its first sample, taken from the stream's latency.
#include <pulse/pulseaudio.h>

#include <cstdint>
#include <functional>
#include <string>

#include "audio/linux/pulse_connection.h"

namespace halvex::pulse {

class PulseRecordStream {
 public:
  // Called on the event thread.
  using OnData = std::function<void(const float* samples, size_t frames, int64_t captureNs)>;
  using OnEnded = std::function<void()>;

  explicit PulseRecordStream(PulseConnection& connection) : connection_(connection) {}
  // Any thread, with or without the lock (on the event thread the lock is held already).
  ~PulseRecordStream();
  PulseRecordStream(const PulseRecordStream&) = delete;
  PulseRecordStream& operator=(const PulseRecordStream&) = delete;

  // Lock held. `monitorSinkInput` = PA_INVALID_INDEX records the source itself. Does not wait.
  bool Connect(const std::string& source, int rate, int channels,
               const pa_channel_map* map, uint32_t monitorSinkInput, OnData onData,
               OnEnded onEnded, std::string& error);
  // Lock held, not on the event thread: waits until the stream records or failed.
  bool WaitReady(std::string& error);
  // Lock held.
  void Disconnect();

  bool Ended() const { return ended_; }

 private:
  static void OnRead(pa_stream* stream, size_t bytes, void* self);
  static void OnState(pa_stream* stream, void* self);

  PulseConnection& connection_;
  pa_stream* stream_ = nullptr;
  int rate_ = 0;
  int channels_ = 0;
  bool ended_ = false;
  OnData onData_;
  OnEnded onEnded_;
};

}  // namespace halvex::pulse

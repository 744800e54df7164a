#include "audio/linux/pulse_record_stream.h"

#include <vector>

#include "core/clock.h"

namespace halvex::pulse {

PulseRecordStream::~PulseRecordStream() {
  if (!stream_) return;
  // A stream whose program ended is retired from the server's own callbacks, on the event thread,
  // which already holds the lock: taking it again there aborts the program.
  if (pa_threaded_mainloop_in_thread(connection_.Loop())) {
    Disconnect();
    return;
  }
  PulseLock lock(connection_.Loop());
  Disconnect();
}

bool PulseRecordStream::Connect(const std::string& source, int rate, int channels,
                                const pa_channel_map* map, uint32_t monitorSinkInput,
                                OnData onData, OnEnded onEnded, std::string& error) {
  Disconnect();
  ended_ = false;
  rate_ = rate;
  channels_ = channels;
  onData_ = std::move(onData);
  onEnded_ = std::move(onEnded);

  const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(rate),
                            static_cast<uint8_t>(channels)};
  pa_channel_map fallback;
  if (!map || map->channels != channels) {
    map = pa_channel_map_init_auto(&fallback, channels, PA_CHANNEL_MAP_DEFAULT);
  }
  stream_ = pa_stream_new(connection_.Context(), "Halvex", &sampleFormat, map);
  if (!stream_) {
    error = connection_.LastError();
    return false;
  }
  pa_stream_set_read_callback(stream_, &PulseRecordStream::OnRead, this);
  pa_stream_set_state_callback(stream_, &PulseRecordStream::OnState, this);
  if (monitorSinkInput != PA_INVALID_INDEX &&
      pa_stream_set_monitor_stream(stream_, monitorSinkInput) < 0) {
    error = connection_.LastError();
    Disconnect();
    return false;
  }
  // Small fragments (10 ms): the capture loop reads often and the time stamps stay fine-grained.
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(10'000, &sampleFormat));
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
      PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream_, source.c_str(), &attr, flags) < 0) {
    error = connection_.LastError();
    Disconnect();
    return false;
  }
  return true;
}

bool PulseRecordStream::WaitReady(std::string& error) {
  if (!stream_) return false;
  for (;;) {
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_READY) return true;
    if (!PA_STREAM_IS_GOOD(state)) {
      error = connection_.LastError();
      return false;
    }
    connection_.WaitForSignal();
  }
}

void PulseRecordStream::Disconnect() {
  if (!stream_) return;
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

void PulseRecordStream::OnState(pa_stream* stream, void* userdata) {
  auto* self = static_cast<PulseRecordStream*>(userdata);
  const pa_stream_state_t state = pa_stream_get_state(stream);
  if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && !self->ended_) {
    self->ended_ = true;
    if (self->onEnded_) self->onEnded_();
  }
  self->connection_.Signal();
}

void PulseRecordStream::OnRead(pa_stream* stream, size_t, void* userdata) {
  auto* self = static_cast<PulseRecordStream*>(userdata);
  const size_t frameBytes = sizeof(float) * static_cast<size_t>(self->channels_);
  std::vector<float> silence;
  for (;;) {
    const void* data = nullptr;
    size_t bytes = 0;
    if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
    const size_t frames = bytes / frameBytes;
    const float* samples = static_cast<const float*>(data);
    if (!data) {
      // A hole in the stream: keep its length as silence.
      silence.assign(frames * self->channels_, 0.0f);
      samples = silence.data();
    }
    // Before the drop the read index is at this chunk, so the latency is the age of its first
    // sample (after it, the age of the sample just past the chunk).
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) < 0 || negative) latency = 0;
    const int64_t captureNs = NowNs() - static_cast<int64_t>(latency) * 1000;
    if (frames > 0 && self->onData_) self->onData_(samples, frames, captureNs);
    pa_stream_drop(stream);
  }
}

}  // namespace halvex::pulse

#pragma once
// Programs playing on a PulseAudio sink (its sink inputs, grouped by the process that owns them)
// and the capture of one program: a monitor stream per sink input of that program.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "audio/audio_sources.h"
#include "audio/capture_recovery.h"
#include "audio/linux/pulse_connection.h"
#include "audio/linux/pulse_record_stream.h"
#include "audio/sample_queue.h"
#include "audio/stream_summer.h"

namespace halvex::pulse {

// Connects again on its own when the sound server comes back after going away.
class PulseProcessCapture final : public IProcessCapture {
 public:
  PulseProcessCapture(const std::string& deviceId, ProcessCaptureTarget target);
  ~PulseProcessCapture() override;

  bool Running() const override { return running_; }
  QueuedAudio TakeQueued(std::vector<float>& out) override { return queue_.TakeAll(out); }
  // How many sink inputs are being recorded now (lock taken inside).
  size_t StreamCount();

 private:
  // Connects, finds the sink and follows its streams. `report`: log why it failed.
  bool Attach(bool report);
  void Detach();
  bool Reopen(int attempt);
  bool Matches(AudioProcessId pid) const;
  // Event thread, lock held.
  void Consider(const pa_sink_input_info& info);
  void Drop(uint32_t sinkInput);
  void OnFailure();
  static void OnEvent(pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* self);
  static void OnSinkInputInfo(pa_context* c, const pa_sink_input_info* info, int eol, void* self);

  ProcessCaptureTarget target_;
  std::string deviceId_;
  // Guards the connection against the reconnector's thread; never taken on the event thread.
  std::mutex lifeMutex_;
  PulseConnection connection_;
  uint32_t sinkIndex_ = PA_INVALID_INDEX;
  std::string monitor_;
  std::map<uint32_t, std::unique_ptr<PulseRecordStream>> streams_;
  SampleQueue queue_;
  StreamSummer summer_;
  std::atomic<bool> running_{false};
  std::atomic<bool> warned_{false};
  CaptureReconnector reconnector_{[this](int attempt) { return Reopen(attempt); }};
};

class PulseAudioSessions final : public IAudioSessions {
 public:
  bool List(const std::string& deviceId, std::vector<AudioSessionInfo>& sessions) override;
  std::unique_ptr<IProcessCapture> StartCapture(const std::string& deviceId,
                                                const ProcessCaptureTarget& target) override;
  void SetSessionVolume(const std::string& deviceId, AudioProcessId pid, float volume) override;
  bool PerProcessSupported() const override { return true; }

 private:
  bool EnsureConnected();
  PulseConnection connection_;
  bool warnedOffline_ = false;
};

// The process id a sink input says it belongs to (0 when it does not say).
AudioProcessId SinkInputProcess(const pa_sink_input_info& info);
// Whether `pid` descends from `root`, following parent ids in /proc.
bool DescendsFrom(AudioProcessId pid, AudioProcessId root);

}  // namespace halvex::pulse

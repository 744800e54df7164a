#pragma once
// Sound of one process tree through the process-loopback virtual device, captured on its own
// thread at 48000 Hz stereo into a bounded queue.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "audio/audio_sources.h"
#include "audio/sample_queue.h"

namespace halvex::wasapi {

class ProcessLoopbackCapture final : public IProcessCapture {
 public:
  // Returns once the client is capturing or set-up has failed, so Running() is meaningful at once.
  explicit ProcessLoopbackCapture(AudioProcessId pid);
  ~ProcessLoopbackCapture() override;
  ProcessLoopbackCapture(const ProcessLoopbackCapture&) = delete;
  ProcessLoopbackCapture& operator=(const ProcessLoopbackCapture&) = delete;

  bool Running() const override { return running_; }
  QueuedAudio TakeQueued(std::vector<float>& out) override { return queue_.TakeAll(out); }

 private:
  void Run();
  void SetupDone();

  AudioProcessId pid_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  SampleQueue queue_;
  std::mutex setupMutex_;
  std::condition_variable setupCv_;
  bool setupDone_ = false;
  std::thread thread_;
};

}  // namespace halvex::wasapi

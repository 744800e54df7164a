#pragma once
// Test doubles of the audio seams: captures fed by the test, sessions listed by the test.
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/audio_sources.h"
#include "audio/sample_queue.h"

namespace halvex::testing {

class FakeProcessCapture final : public IProcessCapture {
 public:
  struct State {
    bool running = true;
    bool alive = true;  // false once the mixer destroyed the capture
    ProcessCaptureTarget target;
    SampleQueue queue;
  };
  explicit FakeProcessCapture(std::shared_ptr<State> state) : state_(std::move(state)) {}
  ~FakeProcessCapture() override { state_->alive = false; }
  bool Running() const override { return state_->running; }
  QueuedAudio TakeQueued(std::vector<float>& out) override { return state_->queue.TakeAll(out); }

 private:
  std::shared_ptr<State> state_;
};

class FakeAudioSessions final : public IAudioSessions {
 public:
  std::vector<AudioSessionInfo> sessions;
  bool listFails = false;
  bool perProcess = true;
  bool capturesStart = true;
  std::vector<std::pair<AudioProcessId, float>> volumesSet;
  // Every capture started, in order; the newest for a pid via Capture(pid).
  std::vector<std::shared_ptr<FakeProcessCapture::State>> started;

  void Add(AudioProcessId pid, std::string image, std::string product = {}) {
    sessions.push_back({pid, std::move(image), std::move(product)});
  }
  std::shared_ptr<FakeProcessCapture::State> Capture(AudioProcessId pid) const {
    for (auto it = started.rbegin(); it != started.rend(); ++it) {
      if ((*it)->target.pid == pid) return *it;
    }
    return nullptr;
  }
  // Queues `frames` stereo frames of `value` into the newest capture of `pid`, the newest
  // captured just before `endNs` (0: untimed).
  void Feed(AudioProcessId pid, size_t frames, float value, int64_t endNs = 0) {
    std::vector<float> samples(frames * 2, value);
    Capture(pid)->queue.Append(samples.data(), samples.size(), endNs);
  }

  bool List(const std::string&, std::vector<AudioSessionInfo>& out) override {
    out = sessions;
    return !listFails;
  }
  std::unique_ptr<IProcessCapture> StartCapture(const std::string&,
                                                const ProcessCaptureTarget& target) override {
    auto state = std::make_shared<FakeProcessCapture::State>();
    state->target = target;
    state->running = capturesStart;
    started.push_back(state);
    return std::make_unique<FakeProcessCapture>(state);
  }
  void SetSessionVolume(const std::string&, AudioProcessId pid, float volume) override {
    volumesSet.emplace_back(pid, volume);
  }
  bool PerProcessSupported() const override { return perProcess; }
};

}  // namespace halvex::testing

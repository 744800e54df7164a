// What one pass of the application mix costs the capture loop: MixFrames of 480 frames (10 ms at
// 48 kHz stereo) with the full 24 application sources plus the game, each delivering its 10 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "audio/audio_mixer.h"
#include "audio/sample_queue.h"

namespace halvex {
namespace {

class BenchCapture final : public IProcessCapture {
 public:
  explicit BenchCapture(std::shared_ptr<SampleQueue> queue) : queue_(std::move(queue)) {}
  bool Running() const override { return true; }
  QueuedAudio TakeQueued(std::vector<float>& out) override { return queue_->TakeAll(out); }

 private:
  std::shared_ptr<SampleQueue> queue_;
};

class BenchSessions final : public IAudioSessions {
 public:
  std::vector<std::shared_ptr<SampleQueue>> queues;
  bool List(const std::string&, std::vector<AudioSessionInfo>& out) override {
    out.clear();
    for (AudioProcessId pid = 1000; pid < 1024; ++pid) {
      out.push_back({pid, "app" + std::to_string(pid) + ".exe", ""});
    }
    return true;
  }
  std::unique_ptr<IProcessCapture> StartCapture(const std::string&,
                                                const ProcessCaptureTarget&) override {
    queues.push_back(std::make_shared<SampleQueue>());
    return std::make_unique<BenchCapture>(queues.back());
  }
  void SetSessionVolume(const std::string&, AudioProcessId, float) override {}
  bool PerProcessSupported() const override { return true; }
};

// Blocks carry capture times as on the capture loop: every source is lined up by time, and every
// 16th block one source arrives 20 ms late so the realignment path is paid for too.
double MeasureNsPerBlock(AudioMixer& mixer, BenchSessions& sessions, int frames, int blocks,
                         int64_t& clockNs) {
  std::vector<float> feed(static_cast<size_t>(frames) * 2);
  for (size_t i = 0; i < feed.size(); ++i) feed[i] = 0.1f * static_cast<float>(i % 97) / 97.0f;
  std::vector<float> mix, game;
  int rate = 0, channels = 0;
  std::chrono::nanoseconds spent{0};
  for (int b = 0; b < blocks; ++b) {
    const int64_t blockNs = static_cast<int64_t>(frames) * 1'000'000'000 / 48000;
    for (size_t q = 0; q < sessions.queues.size(); ++q) {
      const int64_t late = (b % 16 == 0 && q == 0) ? 20'000'000 : 0;
      sessions.queues[q]->Append(feed.data(), feed.size(), clockNs + blockNs + late);
    }
    const auto start = std::chrono::steady_clock::now();
    mixer.MixFrames(frames, clockNs, mix, game, rate, channels);
    spent += std::chrono::steady_clock::now() - start;
    clockNs += blockNs;
  }
  return static_cast<double>(spent.count()) / blocks;
}

}  // namespace
}  // namespace halvex

int main() {
  using namespace halvex;
  BenchSessions sessions;
  AudioMixer mixer(sessions, 1);
  mixer.SetTargetProcess(999, "game.exe");
  mixer.RefreshSources();
  std::printf("fuentes: %zu aplicaciones + juego\n", mixer.Sources().size());
  int64_t clockNs = 1'000'000'000;
  MeasureNsPerBlock(mixer, sessions, 480, 200, clockNs);  // warm-up
  for (int frames : {480, 1024, 4800}) {
    const double ns = MeasureNsPerBlock(mixer, sessions, frames, 2000, clockNs);
    const double blockMs = frames / 48.0;
    std::printf("MixFrames(%d): %.1f us por bloque (%.3f%% de los %.1f ms que representa)\n",
                frames, ns / 1000.0, ns / (blockMs * 1e6) * 100.0, blockMs);
  }
  return 0;
}

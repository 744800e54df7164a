#pragma once
// The demo game's sound: a steady tone, and once a second a louder burst of the same tone that
// starts when the white frame is shown. Both follow the monotonic clock of the frame counter.
#include <atomic>
#include <cstdint>
#include <thread>

namespace halvex::demo {

inline constexpr int kToneRate = 48000;
inline constexpr int64_t kBeepNs = 100'000'000;
inline constexpr float kToneLevel = 0.2f;
inline constexpr float kBeepLevel = 0.8f;

// Amplitude of the envelope at a time measured from the frame clock's origin.
float EnvelopeAt(int64_t sinceOriginNs);

class TonePlayer {
 public:
  TonePlayer() = default;
  ~TonePlayer();
  TonePlayer(const TonePlayer&) = delete;
  TonePlayer& operator=(const TonePlayer&) = delete;

  // originNs: CLOCK_MONOTONIC time of frame 0. Returns false (and logs) when no sound server is
  // reachable; the game then runs silently.
  bool Start(int64_t originNs, double toneHz, const char* name);
  void Stop();

 private:
  void Run();

  std::atomic<bool> stop_{false};
  std::thread thread_;
  void* stream_ = nullptr;  // pa_simple
  int64_t originNs_ = 0;
  double toneHz_ = 440.0;
};

}  // namespace halvex::demo

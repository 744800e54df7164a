#include "tone.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace halvex::demo {

namespace {

constexpr int kChannels = 2;
constexpr int kChunkFrames = kToneRate / 200;  // 5 ms per write keeps the queue short

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

}  // namespace

float EnvelopeAt(int64_t sinceOriginNs) {
  if (sinceOriginNs < 0) return kToneLevel;
  return sinceOriginNs % 1'000'000'000 < kBeepNs ? kBeepLevel : kToneLevel;
}

TonePlayer::~TonePlayer() { Stop(); }

bool TonePlayer::Start(int64_t originNs, double toneHz, const char* name) {
  pa_sample_spec sampleFormat{};
  sampleFormat.format = PA_SAMPLE_FLOAT32LE;
  sampleFormat.rate = kToneRate;
  sampleFormat.channels = kChannels;
  const uint32_t bytesPerMs = kToneRate / 1000 * kChannels * sizeof(float);
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = 20 * bytesPerMs;
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = 5 * bytesPerMs;
  attr.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  pa_simple* s = pa_simple_new(nullptr, name, PA_STREAM_PLAYBACK, nullptr, "tono de prueba",
                               &sampleFormat, nullptr, &attr, &error);
  if (!s) {
    std::printf("demo: sin servidor de sonido (%s); se juega en silencio\n", pa_strerror(error));
    std::fflush(stdout);
    return false;
  }
  stream_ = s;
  originNs_ = originNs;
  toneHz_ = toneHz;
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void TonePlayer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (stream_) {
    pa_simple_free(static_cast<pa_simple*>(stream_));
    stream_ = nullptr;
  }
}

void TonePlayer::Run() {
  auto* s = static_cast<pa_simple*>(stream_);
  std::vector<float> chunk(static_cast<size_t>(kChunkFrames) * kChannels);
  const double step = 2.0 * M_PI * toneHz_ / kToneRate;
  double phase = 0.0;
  while (!stop_) {
    // The envelope is placed by when these samples will be heard, not by how many were written,
    // so the beep stays on the frame clock whatever the sound card's own clock does.
    int error = 0;
    pa_usec_t latency = pa_simple_get_latency(s, &error);
    if (latency == static_cast<pa_usec_t>(-1)) latency = 0;
    const int64_t firstHeardNs = MonotonicNs() + static_cast<int64_t>(latency) * 1000;
    for (int i = 0; i < kChunkFrames; ++i) {
      const int64_t at = firstHeardNs + static_cast<int64_t>(i) * 1'000'000'000 / kToneRate;
      const float v = EnvelopeAt(at - originNs_) * static_cast<float>(std::sin(phase));
      chunk[static_cast<size_t>(i) * 2] = v;
      chunk[static_cast<size_t>(i) * 2 + 1] = v;
      phase += step;
      if (phase > 2.0 * M_PI) phase -= 2.0 * M_PI;
    }
    if (pa_simple_write(s, chunk.data(), chunk.size() * sizeof(float), &error) < 0) {
      std::printf("demo: el servidor de sonido dejo de responder (%s); sigue en silencio\n",
                  pa_strerror(error));
      std::fflush(stdout);
      return;
    }
  }
}

}  // namespace halvex::demo

// What a save costs the main thread: SnapshotVideo(30) of a full video history, against copying
// every payload of the same stretch, and what Append costs the encoder worker.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/packet_history.h"

namespace halvex {
namespace {

constexpr int64_t kSecond = 1000000000;
constexpr int kFps = 60;
constexpr int kGop = 2 * kFps;              // keyframe every 2 s
constexpr double kHistorySeconds = 35.0;    // D + 5 with D = 30
constexpr int64_t kBytesPerSecond = 20000000 / 8;  // 20 Mbps
constexpr size_t kKeyframeWeight = 4;       // a keyframe is about four pictures' worth

// Picture sizes averaging 20 Mbps: one keyframe of four units and 119 pictures of one per group.
size_t PictureBytes(bool keyframe) {
  const size_t perGroup = kBytesPerSecond * kGop / kFps;
  const size_t unit = perGroup / (kGop - 1 + kKeyframeWeight);
  return keyframe ? unit * kKeyframeWeight : unit;
}

PacketBytes MakePicture(uint64_t index, bool keyframe) {
  PacketBytes bytes(PictureBytes(keyframe), static_cast<uint8_t>(index | 1));  // pages touched
  return bytes;
}

// A full history, as the recorder holds it after 35 s of 60 fps video.
struct FullHistory {
  ManualClock clock{0};
  ScopedClockSource scoped{&clock};
  PacketHistory history{kHistorySeconds};
  int64_t packets = 0;
  int64_t bytes = 0;

  FullHistory() {
    const int total = static_cast<int>(kHistorySeconds) * kFps;
    for (int i = 0; i < total; ++i) {
      const int64_t t = static_cast<int64_t>(i) * kSecond / kFps;
      clock.Set(t);
      PacketBytes b = MakePicture(i, i % kGop == 0);
      bytes += static_cast<int64_t>(b.size());
      history.Append(std::move(b), i % kGop == 0, t);
    }
    packets = static_cast<int64_t>(history.Size());
  }
};

FullHistory& Full() {
  static FullHistory full;
  return full;
}

// The baseline: what a snapshot costs when every payload is copied into a vector of its own.
struct CopiedPacket {
  std::vector<uint8_t> bytes;
  int64_t timestampNs;
  bool keyframe;
  int64_t sampleCount;
};

std::vector<CopiedPacket> DeepCopy(const std::vector<EncodedPacket>& source) {
  std::vector<CopiedPacket> out;
  out.reserve(source.size());
  for (const EncodedPacket& p : source)
    out.push_back({std::vector<uint8_t>(p.data(), p.data() + p.size()), p.timestampNs, p.keyframe,
                   p.sampleCount});
  return out;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void SetSnapshotCounters(benchmark::State& state, const std::vector<EncodedPacket>& snap) {
  int64_t bytes = 0;
  for (const auto& p : snap) bytes += static_cast<int64_t>(p.size());
  state.counters["packets"] = static_cast<double>(snap.size());
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

// Only the making of the copy is timed: that is what holds the lock; freeing it is the save
// thread's business.
void BM_SnapshotVideo30(benchmark::State& state) {
  FullHistory& full = Full();
  std::vector<EncodedPacket> snap;
  for (auto _ : state) {
    std::vector<EncodedPacket>().swap(snap);
    const auto start = std::chrono::steady_clock::now();
    snap = full.history.SnapshotVideo(30);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(snap.data());
    state.SetIterationTime(Seconds(start, end));
  }
  SetSnapshotCounters(state, snap);
}

// Restores the allocator's own (dynamic) thresholds when a benchmark has set fixed ones.
void RestoreMallocDefaults() {
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
}

// Warm: the allocator keeps the freed pages and hands back the ones the previous copy used.
void BM_DeepCopy30Warm(benchmark::State& state) {
  FullHistory& full = Full();
  const auto source = full.history.SnapshotVideo(30);
  mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
  std::vector<CopiedPacket> copy = DeepCopy(source);
  for (auto _ : state) {
    std::vector<CopiedPacket>().swap(copy);
    const auto start = std::chrono::steady_clock::now();
    copy = DeepCopy(source);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(copy.data());
    state.SetIterationTime(Seconds(start, end));
  }
  std::vector<CopiedPacket>().swap(copy);
  RestoreMallocDefaults();
  SetSnapshotCounters(state, source);
}

// Fresh: every payload is mapped anew, so the copy also pays the page faults, as a first save
// after the history grew does.
void BM_DeepCopy30Fresh(benchmark::State& state) {
  FullHistory& full = Full();
  const auto source = full.history.SnapshotVideo(30);
  mallopt(M_MMAP_THRESHOLD, 4096);
  std::vector<CopiedPacket> copy;
  for (auto _ : state) {
    std::vector<CopiedPacket>().swap(copy);
    malloc_trim(0);  // freed pages go back to the system, so reusing them faults them in again
    const auto start = std::chrono::steady_clock::now();
    copy = DeepCopy(source);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(copy.data());
    state.SetIterationTime(Seconds(start, end));
  }
  std::vector<CopiedPacket>().swap(copy);
  RestoreMallocDefaults();
  SetSnapshotCounters(state, source);
}

// Append into a full history, so every group of pictures also evicts the oldest one. The payloads
// are made outside the timed part: the encoder produces them, Append only takes them.
void BM_AppendVideo(benchmark::State& state) {
  ManualClock clock(0);
  ScopedClockSource scoped(&clock);
  PacketHistory history(kHistorySeconds);
  constexpr int kBatch = kGop * 4;
  int64_t index = 0;
  auto batch = [&]() {
    std::vector<PacketBytes> payloads;
    payloads.reserve(kBatch);
    for (int i = 0; i < kBatch; ++i)
      payloads.push_back(MakePicture(index + i, (index + i) % kGop == 0));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i, ++index) {
      const int64_t t = index * kSecond / kFps;
      clock.Set(t);
      history.Append(std::move(payloads[i]), index % kGop == 0, t);
    }
    return Seconds(start, std::chrono::steady_clock::now());
  };
  while (index < static_cast<int64_t>(kHistorySeconds + 4) * kFps) batch();
  for (auto _ : state) state.SetIterationTime(batch());
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["held"] = static_cast<double>(history.Size());
}

// Audio: small packets, one evicted per append once full.
void BM_AppendAudio(benchmark::State& state) {
  ManualClock clock(0);
  ScopedClockSource scoped(&clock);
  PacketHistory history(40.0);
  constexpr int kBatch = 1024;
  constexpr int64_t kInterval = 1024 * kSecond / 48000;  // one AAC frame
  int64_t index = 0;
  auto batch = [&]() {
    std::vector<PacketBytes> payloads(kBatch, PacketBytes(400, 0x5A));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i, ++index) {
      const int64_t t = index * kInterval;
      clock.Set(t);
      history.Append(std::move(payloads[i]), true, t, 1024);
    }
    return Seconds(start, std::chrono::steady_clock::now());
  };
  while (index * kInterval < 45 * kSecond) batch();
  for (auto _ : state) state.SetIterationTime(batch());
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["held"] = static_cast<double>(history.Size());
}

// Appends run before the copies, while the allocator still has its own thresholds.
BENCHMARK(BM_SnapshotVideo30)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_AppendVideo)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppendAudio)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeepCopy30Warm)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DeepCopy30Fresh)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

double ToMs(double value, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond: return value / 1e6;
    case benchmark::kMicrosecond: return value / 1e3;
    case benchmark::kMillisecond: return value;
    case benchmark::kSecond: return value * 1e3;
  }
  return value;
}

// Prints the usual table and keeps each benchmark's time per iteration for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(isatty(1) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const std::string name = run.run_name.function_name;
      const double ms = ToMs(run.GetAdjustedRealTime(), run.time_unit);
      auto it = ms_.find(name);
      if (it == ms_.end() || ms < it->second) ms_[name] = ms;
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) rate_[name] = items->second;
    }
  }

  void PrintSummary() const {
    const double snap = Get("BM_SnapshotVideo30");
    const double warm = Get("BM_DeepCopy30Warm");
    const double fresh = Get("BM_DeepCopy30Fresh");
    if (snap <= 0) return;
    std::printf("\nSnapshotVideo(30) of %lld packets (%.1f MB): %.4f ms  (target < 0.2 ms: %s)\n",
                static_cast<long long>(Full().packets), static_cast<double>(Full().bytes) / 1e6,
                snap, snap < 0.2 ? "met" : "NOT met");
    if (warm > 0)
      std::printf("deep copy, warm memory:  %8.3f ms  = %6.0fx the snapshot (target >= 30x: %s)\n",
                  warm, warm / snap, warm / snap >= 30 ? "met" : "NOT met");
    if (fresh > 0)
      std::printf("deep copy, fresh memory: %8.3f ms  = %6.0fx the snapshot (target >= 30x: %s)\n",
                  fresh, fresh / snap, fresh / snap >= 30 ? "met" : "NOT met");
    for (const char* name : {"BM_AppendVideo", "BM_AppendAudio"}) {
      auto it = rate_.find(name);
      if (it != rate_.end())
        std::printf("%s: %.2f M packets/s (%.0f ns per Append)\n", name, it->second / 1e6,
                    1e9 / it->second);
    }
  }

 private:
  double Get(const std::string& name) const {
    auto it = ms_.find(name);
    return it == ms_.end() ? -1 : it->second;
  }

  std::map<std::string, double> ms_;
  std::map<std::string, double> rate_;
};

}  // namespace
}  // namespace halvex

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  halvex::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}

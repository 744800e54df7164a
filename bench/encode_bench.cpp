// Video encoding throughput of the software encoders and the capture loop's cost of handing a
// picture to the encoder worker. Prints pictures per second and CPU time per picture.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/linux/native_picture.h"
#include "core/log.h"
#include "core/packet_history.h"
#include "encode/keyframe_schedule.h"
#include "encode/linux/cpu_slot_backend.h"
#include "encode/linux/ffmpeg_encoder.h"
#include "encode/video_encoder_worker.h"

namespace {

using namespace halvex;

// Moving gradients, a moving box and light noise: some motion and detail, like a game picture.
CpuPicture BenchPicture(int width, int height, int index) {
  CpuPicture p = CpuPicture::Allocate(width, height);
  uint32_t seed = 0x9E3779B9u * static_cast<uint32_t>(index + 1);
  const int boxX = (index * 7) % (width / 2), boxY = (index * 3) % (height / 2);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = p.Row(y);
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int n = static_cast<int>(seed >> 28) - 8;
      const bool box = x >= boxX && x < boxX + width / 4 && y >= boxY && y < boxY + height / 4;
      row[4 * x + 0] = static_cast<uint8_t>(box ? 40 : ((x + index * 2) * 255 / width + n) & 0xFF);
      row[4 * x + 1] = static_cast<uint8_t>(box ? 200 : (y * 255 / height + n) & 0xFF);
      row[4 * x + 2] = static_cast<uint8_t>(box ? 230 : ((x + y + index) & 0xFF));
      row[4 * x + 3] = 255;
    }
  }
  return p;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_Encode(benchmark::State& state, const char* name, VideoCodec codec) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  if (!avcodec_find_encoder_by_name(name)) {
    state.SkipWithError("encoder not offered by this FFmpeg");
    return;
  }
  log::Capture quiet;
  FfmpegEncoder encoder(name);
  if (!encoder.Initialize(width, height, 60, width >= 1920 ? 12000 : 8000, codec)) {
    state.SkipWithError("encoder did not open");
    return;
  }
  std::vector<Picture> pictures;
  for (int i = 0; i < 8; ++i) pictures.push_back(WrapImage(BenchPicture(width, height, i)));
  PacketBytes bytes;
  bool keyframe = false;
  KeyframeSchedule keyframes;  // the keyframes the worker forces
  keyframes.Start(60);
  auto encodeNext = [&](size_t i) {
    encoder.EncodeFrame(pictures[i % pictures.size()], bytes, keyframe, keyframes.Due());
    keyframes.Encoded(keyframe);
  };
  // A second of pictures first, so the figures are those of a running stream.
  for (size_t i = 0; i < 60; ++i) encodeNext(i);

  size_t index = 0;
  const double cpuStart = ProcessCpuSeconds();
  for (auto _ : state) {
    encodeNext(index++);
    benchmark::DoNotOptimize(bytes.data());
  }
  const double cpu = ProcessCpuSeconds() - cpuStart;
  const double n = static_cast<double>(state.iterations());
  state.counters["pictures_per_s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
  state.counters["cpu_ms_per_picture"] = 1000.0 * cpu / n;
}

// An encoder that does no work, so that every submission finds a free slot and the figure is the
// capture loop's own cost (slot choice, copy into the slot, queueing).
class NullEncoder final : public IEncoder {
 public:
  using IEncoder::EncodeFrame;
  using IEncoder::Initialize;
  bool Initialize(int, int, int, int, VideoCodec) override { return true; }
  bool EncodeFrame(const Picture&, PacketBytes& bytes, bool& keyframe, bool force) override {
    bytes.assign(1, 0);
    keyframe = force;
    return true;
  }
  void Shutdown() override {}
};

void BM_SubmitFrame(benchmark::State& state) {
  constexpr int kWidth = 1920, kHeight = 1080;
  log::Capture quiet;
  PacketHistory history(1.0);
  VideoEncoderWorker worker(std::make_unique<NullEncoder>(), std::make_unique<CpuSlotBackend>());
  if (!worker.Start(kWidth, kHeight, 60, 12000, &history, 8, VideoCodec::H264)) {
    state.SkipWithError("worker did not start");
    return;
  }
  const Picture source = WrapImage(BenchPicture(kWidth, kHeight, 0));
  int64_t ts = 0;
  for (auto _ : state) {
    worker.SubmitFrame(source, ++ts);
    state.PauseTiming();
    worker.WaitForBacklog(1000);  // keep the pool free: measure submission, not dropping
    state.ResumeTiming();
  }
  state.counters["dropped"] = static_cast<double>(worker.FramesDropped());
  worker.Stop();
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
  b->MinTime(2.0);
}

BENCHMARK_CAPTURE(BM_Encode, libx264, "libx264", VideoCodec::H264)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Encode, libx265, "libx265", VideoCodec::Hevc)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Encode, libaom_av1, "libaom-av1", VideoCodec::Av1)->Apply(Sizes);
BENCHMARK(BM_SubmitFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

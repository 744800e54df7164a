// Recording under load: a 60 fps capture loop feeding the encoder worker with libx264 in real
// time, with and without the worker's adaptation (faster preset, then half the rate). Prints, for
// the whole run and for its last five seconds (once the adaptation has settled), the pictures per
// second that reached the history and the frames dropped for backlog; also the frames left out by
// the lowered rate, the longest keyframe gap in seconds, and the rate the run ended at.
//
//   encode_load_bench [seconds=20] [sizes=1920x1080,1280x720]
// Run it once as is and once beside a CPU load (for example two `yes >/dev/null`).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "core/clock.h"
#include "core/linux/native_picture.h"
#include "core/log.h"
#include "core/packet_history.h"
#include "encode/linux/cpu_slot_backend.h"
#include "encode/linux/ffmpeg_encoder.h"
#include "encode/video_encoder_worker.h"

namespace {

using namespace halvex;

// Moving gradients, a moving box and light noise, as in encode_bench.
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

// The encoder as it was before adaptation: same libx264, never told to go faster.
class FixedEncoder final : public IEncoder {
 public:
  using IEncoder::EncodeFrame;
  using IEncoder::Initialize;
  bool Initialize(int w, int h, int fps, int kbps, VideoCodec codec) override {
    return inner_.Initialize(w, h, fps, kbps, codec);
  }
  bool EncodeFrame(const Picture& s, PacketBytes& b, bool& k, bool f) override {
    return inner_.EncodeFrame(s, b, k, f);
  }
  void Shutdown() override { inner_.Shutdown(); }
  std::string MechanismName() const override { return inner_.MechanismName(); }

 private:
  FfmpegEncoder inner_{"libx264"};
};

constexpr double kTailSeconds = 5;

struct Result {
  double fps = 0;
  double tailFps = 0;
  uint64_t dropped = 0;
  uint64_t tailDropped = 0;
  uint64_t leftOut = 0;
  double longestKeyGapS = 0;
  int finalRate = 0;
  std::vector<std::string> adaptation;
};

Result Run(int width, int height, double seconds, bool adapt) {
  constexpr int kFps = 60;
  Result r;
  log::Capture lines;
  PacketHistory history(seconds + 5);
  std::unique_ptr<IEncoder> encoder;
  if (adapt) {
    encoder = std::make_unique<FfmpegEncoder>("libx264");
  } else {
    encoder = std::make_unique<FixedEncoder>();
  }
  VideoEncoderWorker worker(std::move(encoder), std::make_unique<CpuSlotBackend>());
  if (!worker.Start(width, height, kFps, width >= 1920 ? 12000 : 8000, &history, 8,
                    VideoCodec::H264)) {
    std::fprintf(stderr, "worker did not start\n");
    std::exit(1);
  }
  std::vector<Picture> pictures;
  for (int i = 0; i < 8; ++i) pictures.push_back(WrapImage(BenchPicture(width, height, i)));

  const int64_t start = NowNs();
  const int64_t end = start + static_cast<int64_t>(seconds * 1e9);
  int64_t due = start;
  const int64_t tail = end - static_cast<int64_t>(kTailSeconds * 1e9);
  uint64_t droppedAtTail = 0;
  bool tailStarted = false;
  for (int i = 0; NowNs() < end; ++i) {
    if (!tailStarted && NowNs() >= tail) {
      tailStarted = true;
      droppedAtTail = worker.FramesDropped();
    }
    worker.SubmitFrame(pictures[static_cast<size_t>(i) % pictures.size()], NowNs());
    due += 1'000'000'000 / kFps;
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<int64_t>(0, due - NowNs())));
  }
  worker.Stop();
  r.finalRate = worker.EncoderFrameRate();
  r.dropped = worker.FramesDropped();
  r.tailDropped = r.dropped - droppedAtTail;
  r.leftOut = worker.FramesLeftOut();

  const auto packets = history.SnapshotFrom(start);
  int late = 0;
  int64_t lastKey = -1;
  for (const EncodedPacket& p : packets) {
    if (p.timestampNs >= tail) ++late;
    if (p.keyframe) {
      if (lastKey >= 0) r.longestKeyGapS = std::max(r.longestKeyGapS, (p.timestampNs - lastKey) / 1e9);
      lastKey = p.timestampNs;
    }
  }
  r.fps = static_cast<double>(packets.size()) / seconds;
  r.tailFps = late / kTailSeconds;
  for (const std::string& line : lines.Lines()) {
    if (line.find("no da abasto") != std::string::npos || line.find("pasa al ajuste") != std::string::npos ||
        line.find("baja a") != std::string::npos) {
      r.adaptation.push_back(line);
    }
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  const double seconds = std::max(argc > 1 ? std::atof(argv[1]) : 20.0, 2 * kTailSeconds);
  std::vector<std::pair<int, int>> sizes = {{1920, 1080}, {1280, 720}};
  if (argc > 2) {
    sizes.clear();
    std::string list = argv[2];
    size_t at = 0;
    while (at < list.size()) {
      size_t comma = list.find(',', at);
      if (comma == std::string::npos) comma = list.size();
      int w = 0, h = 0;
      if (std::sscanf(list.substr(at, comma - at).c_str(), "%dx%d", &w, &h) == 2) sizes.push_back({w, h});
      at = comma + 1;
    }
  }
  std::printf("%-10s %-6s %6s %8s %9s %9s %9s %12s %5s\n", "size", "adapt", "fps", "dropped",
              "fps_last5", "drop_last5", "left_out", "max_key_gap", "rate");
  for (auto [w, h] : sizes) {
    for (bool adapt : {false, true}) {
      const Result r = Run(w, h, seconds, adapt);
      std::printf("%4dx%-5d %-6s %6.1f %8llu %9.1f %9llu %9llu %11.2fs %5d\n", w, h,
                  adapt ? "yes" : "no", r.fps, static_cast<unsigned long long>(r.dropped), r.tailFps,
                  static_cast<unsigned long long>(r.tailDropped),
                  static_cast<unsigned long long>(r.leftOut), r.longestKeyGapS, r.finalRate);
      for (const std::string& line : r.adaptation) std::printf("    %s\n", line.c_str());
      std::fflush(stdout);
    }
  }
  return 0;
}

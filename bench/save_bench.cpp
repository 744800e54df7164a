// Prints how long the save shortcut holds the main thread, how long the clip takes to reach disk,
// and how the size-limited copy compares in speed and quality with a two-pass libx264 encode.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/save_job.h"
#include "app/save_request.h"
#include "audio/audio_encoder.h"
#include "clipfile/discord_export.h"
#include "clipfile/test_media.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/packet_history.h"

namespace fs = std::filesystem;
namespace media = halvex::testmedia;
using namespace halvex;
using Clock = std::chrono::steady_clock;

namespace {

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class BenchContext final : public ISaveContext {
 public:
  PacketHistory video{60};
  std::map<AudioSource, PacketHistory> audio;
  std::map<AudioSource, AudioStreamParams> params;

  bool SessionActive() const override { return true; }
  std::string GameDisplayName() const override { return "Bench"; }
  bool WaitForBacklog(uint32_t) override { return true; }
  const PacketHistory& VideoHistory() const override { return video; }
  const PacketHistory& AudioHistory(AudioSource s) const override { return audio.at(s); }
  AudioStreamParams StreamParams(AudioSource s) const override {
    auto it = params.find(s);
    return it == params.end() ? AudioStreamParams{} : it->second;
  }
  void ShowOverlayMessage(const std::string&) override {}
};

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

double AveragePsnr(const fs::path& test, const fs::path& reference) {
  // The copy may be smaller than the original; compare at the original's size.
  const std::string out = Run("ffmpeg -hide_banner -nostats -i " + Quote(test) + " -i " +
                              Quote(reference) +
                              " -lavfi \"[0:v]scale=1920:1080:flags=bicubic[a];[a][1:v]psnr\""
                              " -f null -");
  const size_t at = out.rfind("average:");
  return at == std::string::npos ? -1 : std::atof(out.c_str() + at + 8);
}

void SaveFigures() {
  constexpr int kFps = 60;
  constexpr double kSeconds = 30;
  constexpr size_t kPacketBytes = 20'000'000 / 8 / kFps;  // 20 Mbps
  const fs::path dir = media::FreshDir("save-bench");

  BenchContext context;
  for (AudioSource s : {AudioSource::AppMix, AudioSource::Mix, AudioSource::Desktop,
                        AudioSource::Microphone, AudioSource::Game}) {
    context.audio.try_emplace(s, 60);
  }
  const auto pictures = media::LoadPictures(media::FixedH264Path());
  if (pictures.empty() || !pictures[0].keyframe) {
    std::printf("save: no fixed H.264 pictures\n");
    return;
  }
  // Stamped so the newest packet is "now": the histories age against the real clock.
  const int frames = static_cast<int>(kSeconds * kFps) + kFps / 2;
  const int64_t start = NowNs() - static_cast<int64_t>(frames) * 1'000'000'000 / kFps;
  std::mt19937 rng(7);
  for (int i = 0; i < frames; ++i) {
    const int64_t ts = start + static_cast<int64_t>(i) * 1'000'000'000 / kFps;
    if (i % kFps == 0) {
      PacketBytes bytes(pictures[0].bytes.begin(), pictures[0].bytes.end());
      context.video.Append(std::move(bytes), true, ts);
      continue;
    }
    // A non-IDR slice header then bytes that never form a start code.
    PacketBytes bytes(kPacketBytes);
    bytes[0] = 0; bytes[1] = 0; bytes[2] = 0; bytes[3] = 1; bytes[4] = 0x41;
    for (size_t k = 5; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(1 + rng() % 255);
    context.video.Append(std::move(bytes), false, ts);
  }

  AacEncoder encoder;
  if (!encoder.Initialize(48000, 2, 48000, 128, AudioFormat::AacLc)) {
    std::printf("save: AAC encoder failed\n");
    return;
  }
  const auto tone = media::EncodeTone(encoder, 48000, 2, kSeconds + 1, start);
  for (AudioSource s : {AudioSource::Mix, AudioSource::Microphone, AudioSource::Game}) {
    context.params[s] = encoder.GetStreamParams();
    for (auto& p : tone) {
      PacketBytes bytes(*p.payload);
      context.audio.at(s).Append(std::move(bytes), true, p.timestampNs, p.sampleCount);
    }
  }

  AudioState audio;
  audio.desktopRunning = true;
  audio.mixOpen = true;
  audio.micStarted = true;
  audio.micOpen = true;
  audio.gameOpen = true;
  audio.editorChannels = true;
  SaveSettings settings;
  settings.saveRoot = dir;
  settings.durationSeconds = kSeconds;
  settings.captureWidth = 160;
  settings.captureHeight = 90;
  settings.fixedFrameRate = true;
  settings.currentFrameRate = kFps;
  SaveFlags flags;
  std::vector<std::thread> threads;

  SaveOutcome outcome;
  double pressMs = 0, doneMs = 0;
  {
    log::Capture quiet;
    const auto t0 = Clock::now();
    outcome = RequestSave(context, audio, settings, flags, threads);
    pressMs = MsSince(t0);
    while (outcome == SaveOutcome::Started && flags.saving.load()) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    doneMs = MsSince(t0);
    for (auto& t : threads) t.join();
  }
  if (outcome != SaveOutcome::Started || flags.clipsSaved.load() != 1) {
    std::printf("save: not saved (outcome %d)\n", static_cast<int>(outcome));
  } else {
    uint64_t bytes = 0;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
      if (e.is_regular_file()) bytes += e.file_size();
    }
    std::printf("save (30 s, 20 Mbps, 3 audio tracks, %.1f MB file):\n", bytes / 1e6);
    std::printf("  main-thread time of RequestSave: %8.3f ms   (target < 1 ms)   %s\n", pressMs,
                pressMs < 1 ? "ok" : "MISSED");
    std::printf("  until the clip file is complete: %8.1f ms   (target < 300 ms) %s\n", doneMs,
                doneMs < 300 ? "ok" : "MISSED");
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}

void CopyFigures(int seconds) {
  const fs::path dir = media::FreshDir("copy-bench");
  const fs::path clip = dir / "clip.mp4";
  Run("ffmpeg -y -hide_banner -nostats -f lavfi -i testsrc2=size=1920x1080:rate=60 -f lavfi -i "
      "sine=f=440 -t " + std::to_string(seconds) +
      " -c:v libx264 -preset veryfast -b:v 40M -c:a aac " + Quote(clip));
  if (!fs::exists(clip)) {
    std::printf("copy: could not make the source clip\n");
    return;
  }

  const fs::path copy = dir / "copy.mp4";
  std::string error;
  bool made;
  double wallMs;
  {
    log::Capture quiet;
    const auto t0 = Clock::now();
    made = ExportDiscordClip(clip, copy, DiscordExportOptions{}, error);
    wallMs = MsSince(t0);
  }
  if (!made) {
    std::printf("copy: failed: %s\n", error.c_str());
    return;
  }

  // The reference gets the copy's picture size, frame rate and video bit rate.
  const std::string probe = Run(
      "ffprobe -v error -select_streams v:0 -show_entries stream=width,height,avg_frame_rate,bit_rate"
      " -of csv=p=0 " + Quote(copy));
  int w = 0, h = 0, rn = 0, rd = 1;
  long long bitRate = 0;
  std::sscanf(probe.c_str(), "%d,%d,%d/%d,%lld", &w, &h, &rn, &rd, &bitRate);
  const long long kbps = bitRate / 1000;
  const std::string common = " -c:v libx264 -b:v " + std::to_string(kbps) + "k -vf scale=" +
                             std::to_string(w) + ":" + std::to_string(h) + " -r " +
                             std::to_string(rn) + "/" + std::to_string(rd) + " -passlogfile " +
                             Quote(dir / "x264pass");
  const fs::path x264 = dir / "x264.mp4";
  const auto t1 = Clock::now();
  Run("ffmpeg -y -hide_banner -nostats -i " + Quote(clip) + common + " -pass 1 -an -f null /dev/null");
  Run("ffmpeg -y -hide_banner -nostats -i " + Quote(clip) + common +
      " -pass 2 -c:a aac -b:a 128k " + Quote(x264));
  const double x264Ms = MsSince(t1);

  const double copyPsnr = AveragePsnr(copy, clip);
  const double x264Psnr = AveragePsnr(x264, clip);
  std::printf("size-limited copy (%d s 1080p60 source -> %dx%d @ %d/%d fps, %lld kbps video):\n",
              seconds, w, h, rn, rd, kbps);
  std::printf("  wall time: %.1f ms = %.2fx real time (two-pass libx264: %.2fx)\n", wallMs,
              wallMs / 1000.0 / seconds, x264Ms / 1000.0 / seconds);
  std::printf("  size: copy %llu bytes, two-pass libx264 %llu bytes\n",
              static_cast<unsigned long long>(fs::file_size(copy)),
              static_cast<unsigned long long>(fs::exists(x264) ? fs::file_size(x264) : 0));
  std::printf("  PSNR vs original: copy %.2f dB, two-pass libx264 %.2f dB\n", copyPsnr, x264Psnr);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 30;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--seconds N]\n", argv[0]);
      return 2;
    }
  }
  if (seconds < 1) seconds = 1;
  SaveFigures();
  CopyFigures(seconds);
  return 0;
}

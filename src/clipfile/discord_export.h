#pragma once
// The size-limited copy of a clip for sharing: decoded, re-encoded at a bit rate computed from its
// duration, then padded with an MP4 "free" box to exactly the target size.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace halvex {

constexpr uint64_t kDiscordTargetBytes = 20971520;  // 20 MiB

enum class DiscordVideoEncoder : int32_t { HevcNvenc = 0, H264Nvenc = 1, OpenH264 = 2, X264 = 3 };

// FFmpeg encoder name and the name the log shows.
const char* DiscordEncoderName(DiscordVideoEncoder encoder);
const char* DiscordEncoderLogName(DiscordVideoEncoder encoder);

using DiscordProgress = std::function<void(double fraction, const std::string& text)>;

struct DiscordExportOptions {
  uint64_t targetSize = kDiscordTargetBytes;
  int32_t frameRate = 0;  // 0 = automatic
  int32_t audioKbps = 128;
  int32_t maxWidth = 1280;
  int32_t maxHeight = 720;
  bool preferHevc = false;
  DiscordProgress progress;  // may be empty
};

// What one encode attempt will produce, from the clip's duration and picture size.
struct DiscordPlan {
  double seconds = 1;
  int videoKbps = 250;
  int fps = 60;
  int width = 2;
  int height = 2;
  int64_t expectedFrames = 1;
};
DiscordPlan PlanDiscordEncode(int64_t durationMicroseconds, int sourceWidth, int sourceHeight,
                              const DiscordExportOptions& options, int capKbps);

// The whole export: attempts with a falling bit-rate cap, padding, publication under outputPath.
bool ExportDiscordClip(const std::filesystem::path& sourcePath,
                       const std::filesystem::path& outputPath, const DiscordExportOptions& options,
                       std::string& errorText);

// One encode attempt into tempPath. `used` receives the encoder that produced the file.
bool TranscodeForDiscord(const std::filesystem::path& sourcePath,
                         const std::filesystem::path& tempPath, const DiscordExportOptions& options,
                         int capKbps, std::string& errorText, DiscordVideoEncoder* used = nullptr);

// Appends one "free" box so the file is exactly targetBytes long.
bool PadToExactSize(const std::filesystem::path& path, uint64_t targetBytes,
                    std::string& errorText);

// "<clip stem>_Discord20MB_H265.mp4" / "_H264.mp4" beside the clip.
std::filesystem::path DiscordCopyPath(const std::filesystem::path& clipPath, bool hevc);

// The step after a clip is saved: a copy only when the clip is larger than 20 MiB.
struct DiscordCopyResult {
  enum class Outcome { SizeUnknown, NotNeeded, Made, Failed };
  Outcome outcome = Outcome::SizeUnknown;
  std::filesystem::path copyPath;
  std::string error;
};
DiscordCopyResult MakeDiscordCopy(const std::filesystem::path& clipPath, bool hevc,
                                  const std::function<void(int percent)>& progressPercent);

}  // namespace halvex

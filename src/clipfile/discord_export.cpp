#include "clipfile/discord_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include "clipfile/local_file.h"
#include "core/log.h"
#include "core/log_path.h"
#include "core/text.h"

namespace halvex {

namespace fs = std::filesystem;

namespace {

void Report(const DiscordProgress& progress, double fraction, const char* text) {
  if (progress) progress(fraction, text);
}

bool SizeOf(const fs::path& p, uint64_t& size) {
  std::error_code ec;
  const auto s = fs::file_size(p, ec);
  if (ec) return false;
  size = s;
  return true;
}

void RemoveQuietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

struct EncoderNames {
  DiscordVideoEncoder encoder;
  const char* name;     // what FFmpeg knows it by
  const char* logName;  // what the log shows
};

constexpr EncoderNames kEncoderNames[] = {
    {DiscordVideoEncoder::HevcNvenc, "hevc_nvenc", "hevc_nvenc (NVIDIA NVENC / H.265)"},
    {DiscordVideoEncoder::H264Nvenc, "h264_nvenc", "h264_nvenc (NVIDIA NVENC / H.264 fallback)"},
    {DiscordVideoEncoder::OpenH264, "libopenh264", "libopenh264 (CPU fallback / H.264)"},
    {DiscordVideoEncoder::X264, "libx264", "libx264 (CPU fallback / H.264)"},
};

const EncoderNames* FindEncoderNames(DiscordVideoEncoder encoder) {
  for (const EncoderNames& names : kEncoderNames) {
    if (names.encoder == encoder) return &names;
  }
  return nullptr;
}

}  // namespace

const char* DiscordEncoderName(DiscordVideoEncoder encoder) {
  const EncoderNames* names = FindEncoderNames(encoder);
  return names != nullptr ? names->name : "";
}

const char* DiscordEncoderLogName(DiscordVideoEncoder encoder) {
  const EncoderNames* names = FindEncoderNames(encoder);
  return names != nullptr ? names->logName : "";
}

DiscordPlan PlanDiscordEncode(int64_t durationMicroseconds, int sourceWidth, int sourceHeight,
                              const DiscordExportOptions& options, int capKbps) {
  DiscordPlan plan;
  if (durationMicroseconds <= 0) durationMicroseconds = 30 * 1000000LL;
  plan.seconds = std::max(1.0, static_cast<double>(durationMicroseconds) / 1e6);
  const double d = plan.seconds;

  const double budget = std::max(
      0.0, static_cast<double>(options.targetSize) * 8 * 0.92 - options.audioKbps * 1000.0 * d);
  int v = static_cast<int>(std::floor(budget / d / 1000));
  v = std::max(v, 250);
  if (capKbps > 0 && capKbps < v) v = capKbps;
  plan.videoKbps = v;

  int boxW = options.maxWidth < 3 ? 2 : options.maxWidth;
  int boxH = options.maxHeight < 3 ? 2 : options.maxHeight;
  if (options.frameRate <= 0) {
    boxW = std::min(boxW, 1280);
    boxH = std::min(boxH, 720);
    plan.fps = d <= 60 ? 60 : 30;
    if (d > 360) {
      boxW = std::min(boxW, 960);
      boxH = std::min(boxH, 540);
    }
  } else {
    plan.fps = options.frameRate;
  }

  int w = std::max(sourceWidth, 2);
  int h = std::max(sourceHeight, 2);
  if (w > boxW || h > boxH) {
    const double scale = std::min(static_cast<double>(boxH) / h, static_cast<double>(boxW) / w);
    w = static_cast<int>(std::lround(w * scale));
    h = static_cast<int>(std::lround(h * scale));
  }
  plan.width = std::max(2, w & ~1);
  plan.height = std::max(2, h & ~1);
  plan.expectedFrames = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(plan.fps * d)));
  return plan;
}

bool PadToExactSize(const fs::path& path, uint64_t targetBytes, std::string& errorText) {
  uint64_t size = 0;
  if (!SizeOf(path, size)) {
    errorText = "No se pudo consultar el tamaño del Discord Clip.";
    return false;
  }
  if (size > targetBytes) {
    errorText = "El encode del Discord Clip superó el límite de 20 MB.";
    return false;
  }
  if (size == targetBytes) return true;
  const uint64_t gap = targetBytes - size;
  if (gap < 8 || gap > 4294967295ULL) {
    errorText = "No hay espacio suficiente para un bloque MP4 de padding válido.";
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (!out) {
    errorText = "No se pudo abrir el Discord Clip para aplicar el tamaño final.";
    return false;
  }
  const char header[8] = {static_cast<char>(gap >> 24), static_cast<char>(gap >> 16),
                          static_cast<char>(gap >> 8),  static_cast<char>(gap),
                          'f', 'r', 'e', 'e'};
  if (!out.write(header, sizeof(header)) || !out.flush()) {
    errorText = "No se pudo escribir el bloque MP4 de padding.";
    return false;
  }
  std::vector<char> zeros(65536, 0);
  uint64_t left = gap - 8;
  while (left > 0) {
    const auto n = static_cast<std::streamsize>(std::min<uint64_t>(left, zeros.size()));
    if (!out.write(zeros.data(), n)) {
      errorText = "No se pudo completar el padding del Discord Clip.";
      return false;
    }
    left -= static_cast<uint64_t>(n);
  }
  out.close();
  if (!out) {
    errorText = "No se pudo completar el padding del Discord Clip.";
    return false;
  }
  return true;
}

bool ExportDiscordClip(const fs::path& sourcePath, const fs::path& outputPath,
                       const DiscordExportOptions& options, std::string& errorText) {
  uint64_t sourceSize = 0;
  if (!SizeOf(sourcePath, sourceSize)) {
    errorText = "No se pudo consultar el tamaño del clip original.";
    log::Line("[DISCORD] Exportacion cancelada: " + errorText);
    return false;
  }
  fs::path temp = outputPath;
  temp += ".part";
  RemoveQuietly(temp);
  RemoveQuietly(outputPath);

  DiscordVideoEncoder used = options.preferHevc ? DiscordVideoEncoder::HevcNvenc
                                                : DiscordVideoEncoder::H264Nvenc;
  bool fits = false;
  int cap = 5200;
  for (int attempt = 1; attempt <= 2; ++attempt) {
    RemoveQuietly(temp);
    log::Line("[DISCORD] Intento " + std::to_string(attempt) + "/2, cap=" + std::to_string(cap) +
              " kbps; bitrate final se calcula por duracion...");
    errorText.clear();
    if (!TranscodeForDiscord(sourcePath, temp, options, cap, errorText, &used)) break;
    uint64_t encoded = 0;
    if (!SizeOf(temp, encoded)) {
      errorText = "No se pudo consultar el tamaño del encode del Discord Clip.";
      break;
    }
    log::Line("[DISCORD] Encode terminado: " + std::to_string(encoded) +
              " bytes antes del padding.");
    if (encoded <= options.targetSize) {
      fits = true;
      break;
    }
    errorText =
        "El encode del Discord Clip superó 20 MiB; reduciendo bitrate para un segundo intento.";
    log::Line("[DISCORD] El encode supero 20 MiB; reduciendo bitrate 30% y reintentando.");
    cap = std::max(250, cap * 7 / 10);  // integer: 5200 -> 3640 exactly
  }

  if (fits) {
    Report(options.progress, 0.997, "Ajustando a 20 MB exactos");
    std::string why;
    if (PadToExactSize(temp, options.targetSize, errorText)) {
      if (!FlushFileToDisk(temp, why)) {
        errorText = "No se pudo asegurar el Discord Clip en disco (" + why + ").";
      } else {
        RemoveQuietly(outputPath);
        std::error_code ec;
        fs::rename(temp, outputPath, ec);
        if (!ec) {
          FlushFolderToDisk(outputPath.parent_path());
          log::Line("[DISCORD] Archivo final publicado: " + text::PathForLog(outputPath) + " (" +
                    std::to_string(options.targetSize) + " bytes exactos).");
          Report(options.progress, 1.0, "Discord Clip terminado");
          return true;
        }
        errorText = "No se pudo publicar el Discord Clip final (rename del archivo temporal).";
      }
    }
  }

  std::string message = errorText.empty() ? "No se pudo crear el Discord Clip." : errorText;
  log::Line("[DISCORD] Exportacion cancelada: " + message);
  uint64_t tempSize = 0;
  if (SizeOf(temp, tempSize) && tempSize > options.targetSize) {
    // Named after the codec that actually produced it.
    fs::path keep = outputPath;
    keep.replace_extension();
    keep += used == DiscordVideoEncoder::HevcNvenc ? "_OVERSIZE_H265.mp4" : "_OVERSIZE_H264.mp4";
    RemoveQuietly(keep);
    std::error_code ec;
    fs::rename(temp, keep, ec);
    if (!ec) {
      log::Line("[DISCORD] Se conserva el encode sobredimensionado para diagnostico: " +
                text::PathForLog(keep) + " (" + std::to_string(tempSize) + " bytes).");
      message += " Se conservo una copia OVERSIZE para diagnostico.";
    }
  }
  RemoveQuietly(temp);
  errorText = message;
  return false;
}

fs::path DiscordCopyPath(const fs::path& clipPath, bool hevc) {
  fs::path name = clipPath.stem();
  name += hevc ? "_Discord20MB_H265.mp4" : "_Discord20MB_H264.mp4";
  return clipPath.parent_path() / name;
}

DiscordCopyResult MakeDiscordCopy(const fs::path& clipPath, bool hevc,
                                  const std::function<void(int)>& progressPercent) {
  DiscordCopyResult result;
  uint64_t size = 0;
  if (!SizeOf(clipPath, size)) return result;
  if (size < kDiscordTargetBytes + 1) {
    log::Line("[DISCORD] Original <= 20 MB; no se genera una segunda copia.");
    result.outcome = DiscordCopyResult::Outcome::NotNeeded;
    return result;
  }
  result.copyPath = DiscordCopyPath(clipPath, hevc);
  if (progressPercent) progressPercent(0);
  log::Line("[DISCORD] Original supera 20 MB (" + std::to_string(size) +
            " bytes); creando copia con perfil adaptativo...");
  DiscordExportOptions options;
  options.preferHevc = hevc;
  if (progressPercent) {
    options.progress = [&progressPercent](double fraction, const std::string&) {
      progressPercent(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100)));
    };
  }
  std::string error;
  if (ExportDiscordClip(clipPath, result.copyPath, options, error)) {
    if (progressPercent) progressPercent(100);
    log::Line("[DISCORD] Clip listo: " + text::PathForLog(result.copyPath) + " (" +
              std::to_string(kDiscordTargetBytes) + " bytes exactos).");
    result.outcome = DiscordCopyResult::Outcome::Made;
    return result;
  }
  if (progressPercent) progressPercent(0);
  log::Line("[DISCORD] No se pudo crear la copia de 20 MB: " + error);
  result.outcome = DiscordCopyResult::Outcome::Failed;
  result.error = error;
  return result;
}

}  // namespace halvex

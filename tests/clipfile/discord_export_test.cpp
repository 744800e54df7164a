// The size-limited copy, made from real clips and decoded again.
#include "clipfile/discord_export.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

#include "core/ffmpeg_handles.h"
#include "clipfile/clip_interleave.h"
#include "clipfile/mp4_muxer.h"
#include "core/log.h"
#include "test_media.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

bool HasCpuH264() {
  return testmedia::HasEncoder("libopenh264") || testmedia::HasEncoder("libx264");
}

// A clip above 20 MiB: 2 s of incompressible 640x360 pictures at 30 fps plus a tone, made once.
const fs::path& LargeClip() {
  static fs::path path;
  static std::once_flag once;
  std::call_once(once, [] {
    testmedia::PictureRequest r;
    r.width = 640;
    r.height = 360;
    r.frames = 60;
    r.gop = 30;
    r.noise = true;
    r.qp = 0;
    const auto pictures = testmedia::EncodePictures(r);
    if (pictures.size() != 60) return;
    AacEncoder enc;
    if (!enc.Initialize(48000, 2, 192)) return;
    const int64_t start = 3'000'000'000;
    const auto audio = testmedia::EncodeTone(enc, 48000, 2, 2.0, start);
    const fs::path p = testmedia::FreshDir("large-source") / "clip_grande.mp4";
    Mp4Muxer muxer;
    if (!muxer.Open(p, 640, 360, 30, VideoCodec::H264)) return;
    const int idx = muxer.AddAudioTrack(enc.GetStreamParams(), "Mezcla principal");
    if (!WriteClipPackets(muxer, testmedia::ToVideoPackets(pictures, start, 30),
                          {{&audio, idx, 48000}}, 30)
             .ok ||
        !muxer.Close())
      return;
    path = p;
  });
  return path;
}

TEST(DiscordPlan, BudgetFrameRateAndBox) {
  DiscordExportOptions o;
  // 30 s with 128 kbps of sound.
  auto p = PlanDiscordEncode(30'000'000, 1920, 1080, o, 5200);
  EXPECT_EQ(p.videoKbps, 5017);
  EXPECT_EQ(p.fps, 60);
  EXPECT_EQ(p.width, 1280);
  EXPECT_EQ(p.height, 720);
  EXPECT_EQ(p.expectedFrames, 1800);
  // Long clips: 30 fps inside 960x540; a budget below the floor stays at 250 kbps.
  p = PlanDiscordEncode(400'000'000, 1920, 1080, o, 5200);
  EXPECT_EQ(p.fps, 30);
  EXPECT_EQ(p.width, 960);
  EXPECT_EQ(p.height, 540);
  EXPECT_EQ(PlanDiscordEncode(3000'000'000, 1920, 1080, o, 0).videoKbps, 250);
  // Unknown duration counts as 30 s; a second attempt's cap wins over the budget.
  EXPECT_EQ(PlanDiscordEncode(0, 640, 360, o, 3640).videoKbps, 3640);
  EXPECT_EQ(PlanDiscordEncode(0, 640, 360, o, 3640).seconds, 30);
  // Smaller than the box: untouched; odd sizes end even.
  p = PlanDiscordEncode(10'000'000, 641, 359, o, 5200);
  EXPECT_EQ(p.width, 640);
  EXPECT_EQ(p.height, 358);
}

TEST(DiscordPadding, ExactSizeOrAClearRefusal) {
  const fs::path dir = testmedia::FreshDir("padding");
  const fs::path f = dir / "a.mp4";
  std::string error;
  {
    std::ofstream(f, std::ios::binary) << std::string(1000, 'x');
  }
  ASSERT_TRUE(PadToExactSize(f, 100000, error)) << error;
  ASSERT_EQ(fs::file_size(f), 100000u);
  std::ifstream in(f, std::ios::binary);
  in.seekg(1000);
  unsigned char box[8];
  in.read(reinterpret_cast<char*>(box), 8);
  EXPECT_EQ((box[0] << 24) | (box[1] << 16) | (box[2] << 8) | box[3], 99000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(box + 4), 4), "free");

  EXPECT_TRUE(PadToExactSize(f, 100000, error));  // already exact: nothing written
  EXPECT_EQ(fs::file_size(f), 100000u);
  EXPECT_FALSE(PadToExactSize(f, 100005, error));
  EXPECT_EQ(error, "No hay espacio suficiente para un bloque MP4 de padding válido.");
  EXPECT_EQ(fs::file_size(f), 100000u);
  EXPECT_FALSE(PadToExactSize(f, 99999, error));
  EXPECT_EQ(error, "El encode del Discord Clip superó el límite de 20 MB.");
  EXPECT_FALSE(PadToExactSize(dir / "missing.mp4", 10, error));
  EXPECT_EQ(error, "No se pudo consultar el tamaño del Discord Clip.");
}

TEST(DiscordCopy, LargeClipBecomesExactlyTwentyMebibytes) {
  if (!HasCpuH264()) GTEST_SKIP() << "FFmpeg sin encoder H.264 por CPU";
  const fs::path& clip = LargeClip();
  ASSERT_FALSE(clip.empty());
  ASSERT_GT(fs::file_size(clip), kDiscordTargetBytes);

  log::Capture capture;
  std::vector<int> percents;
  const auto result = MakeDiscordCopy(clip, false, [&](int p) { percents.push_back(p); });
  ASSERT_EQ(result.outcome, DiscordCopyResult::Outcome::Made) << result.error;
  EXPECT_EQ(result.copyPath, clip.parent_path() / "clip_grande_Discord20MB_H264.mp4");
  EXPECT_EQ(fs::file_size(result.copyPath), kDiscordTargetBytes);
  EXPECT_FALSE(fs::exists(result.copyPath.string() + ".part"));
  EXPECT_TRUE(capture.Contains("[DISCORD] Original supera 20 MB ("));
  EXPECT_TRUE(capture.Contains("[DISCORD] Encoder en uso: "));
  EXPECT_TRUE(capture.Contains("[DISCORD] Clip listo: "));
  EXPECT_TRUE(capture.Contains("(20971520 bytes exactos)."));
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));

  const auto source = testmedia::Probe(clip);
  const auto copy = testmedia::Probe(result.copyPath);
  ASSERT_TRUE(copy.opened);
  ASSERT_EQ(copy.streams.size(), 2u);
  EXPECT_EQ(copy.streams[0].codecId, AV_CODEC_ID_H264);
  EXPECT_EQ(copy.streams[1].codecId, AV_CODEC_ID_AAC);
  EXPECT_NEAR(static_cast<double>(copy.durationUs), static_cast<double>(source.durationUs),
              1e6 / 30);
  // Constant 60 fps output for a 2 s clip, every picture decodable.
  const int64_t decoded = testmedia::DecodeAllVideo(result.copyPath);
  EXPECT_GE(decoded, 118);
  EXPECT_LE(decoded, 121);
  // The original is untouched.
  EXPECT_EQ(testmedia::Probe(clip).streams.size(), source.streams.size());
}

TEST(DiscordCopy, ClipOfExactlyTheLimitGetsNoCopy) {
  const fs::path dir = testmedia::FreshDir("exact-limit");
  const fs::path clip = dir / "clip.mp4";
  {
    Mp4Muxer muxer;
    const auto pictures = testmedia::LoadPictures(testmedia::FixedH264Path());
    ASSERT_TRUE(muxer.Open(clip, 160, 90, 30, VideoCodec::H264));
    ASSERT_TRUE(WriteClipPackets(muxer, testmedia::ToVideoPackets(pictures, 0, 30), {}, 30).ok);
    ASSERT_TRUE(muxer.Close());
  }
  std::string error;
  ASSERT_TRUE(PadToExactSize(clip, kDiscordTargetBytes, error)) << error;
  EXPECT_EQ(testmedia::DecodeAllVideo(clip), 30) << "a padded clip still plays";

  log::Capture capture;
  const auto result = MakeDiscordCopy(clip, true, nullptr);
  EXPECT_EQ(result.outcome, DiscordCopyResult::Outcome::NotNeeded);
  EXPECT_TRUE(capture.Contains("[DISCORD] Original <= 20 MB; no se genera una segunda copia."));
  EXPECT_FALSE(fs::exists(DiscordCopyPath(clip, true)));
  EXPECT_EQ(MakeDiscordCopy(dir / "missing.mp4", false, nullptr).outcome,
            DiscordCopyResult::Outcome::SizeUnknown);
}

TEST(DiscordCopy, TwoOversizeAttemptsKeepTheDiagnosticCopyOnly) {
  if (!HasCpuH264()) GTEST_SKIP() << "FFmpeg sin encoder H.264 por CPU";
  const fs::path dir = testmedia::FreshDir("oversize");
  const fs::path clip = dir / "clip.mp4";
  {
    Mp4Muxer muxer;
    const auto pictures = testmedia::LoadPictures(testmedia::FixedH264Path());
    ASSERT_TRUE(muxer.Open(clip, 160, 90, 30, VideoCodec::H264));
    ASSERT_TRUE(WriteClipPackets(muxer, testmedia::ToVideoPackets(pictures, 0, 30), {}, 30).ok);
    ASSERT_TRUE(muxer.Close());
  }
  const fs::path out = dir / "clip_Discord20MB_H264.mp4";
  DiscordExportOptions o;
  o.targetSize = 2000;  // no encode of a second of video fits in this
  log::Capture capture;
  std::string error;
  EXPECT_FALSE(ExportDiscordClip(clip, out, o, error));
  EXPECT_EQ(capture.Count("[DISCORD] El encode supero 20 MiB; reduciendo bitrate 30% y reintentando."), 2u);
  EXPECT_TRUE(capture.Contains("[DISCORD] Intento 2/2, cap=3640 kbps"));
  EXPECT_EQ(error,
            "El encode del Discord Clip superó 20 MiB; reduciendo bitrate para un segundo intento. "
            "Se conservo una copia OVERSIZE para diagnostico.");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(dir / "clip_Discord20MB_H264.mp4.part"));
  EXPECT_TRUE(fs::exists(dir / "clip_Discord20MB_H264_OVERSIZE_H264.mp4"));
}

TEST(DiscordCopy, NoUsableEncoderFailsCleanly) {
  if (HasCpuH264()) GTEST_SKIP() << "este FFmpeg tiene un encoder H.264 por CPU";
  // Builds with NVENC only (no GPU here): every encoder in the chain is present or absent, none opens.
  const fs::path dir = testmedia::FreshDir("no-encoder");
  const fs::path clip = dir / "clip.mp4";
  {
    Mp4Muxer muxer;
    const auto pictures = testmedia::LoadPictures(testmedia::FixedH264Path());
    ASSERT_TRUE(muxer.Open(clip, 160, 90, 30, VideoCodec::H264));
    ASSERT_TRUE(WriteClipPackets(muxer, testmedia::ToVideoPackets(pictures, 0, 30), {}, 30).ok);
    ASSERT_TRUE(muxer.Close());
  }
  const fs::path out = dir / "clip_Discord20MB_H265.mp4";
  DiscordExportOptions o;
  o.preferHevc = true;
  log::Capture capture;
  std::string error;
  EXPECT_FALSE(ExportDiscordClip(clip, out, o, error));
  const bool anyNvenc = testmedia::HasEncoder("h264_nvenc") || testmedia::HasEncoder("hevc_nvenc");
  EXPECT_EQ(error, anyNvenc
                       ? "NVENC (HEVC/H.264) no pudo abrirse y FFmpeg no incluye libopenh264 para el fallback."
                       : "No hay encoder de video disponible en FFmpeg (hevc_nvenc/h264_nvenc/libopenh264).");
  EXPECT_TRUE(capture.Contains("[DISCORD] Exportacion cancelada: "));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(dir / "clip_Discord20MB_H265.mp4.part"));
}

}  // namespace
}  // namespace halvex

// Clips written from real encoded pictures and tones, read back with libavformat.
#include "clipfile/mp4_muxer.h"

#include <gtest/gtest.h>

#include <fstream>

#include "clipfile/annexb.h"
#include "clipfile/clip_interleave.h"
#include "core/log.h"
#include "test_media.h"

#include "core/ffmpeg_handles.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;
using testmedia::Probe;

constexpr int64_t kStart = 5'000'000'000;  // first picture, monotonic ns
constexpr int64_t kMs = 1'000'000;

std::vector<testmedia::Picture> FixedPictures() {
  auto p = testmedia::LoadPictures(testmedia::FixedH264Path());
  EXPECT_EQ(p.size(), 30u) << "falta " << testmedia::FixedH264Path().string();
  return p;
}

struct Track {
  AacEncoder encoder;
  AudioStreamParams params;
  std::vector<EncodedPacket> packets;
  bool Make(AudioFormat format, int rate, double seconds, int64_t startNs) {
    if (!encoder.Initialize(rate, 2, rate, 192, format)) return false;
    params = encoder.GetStreamParams();
    packets = testmedia::EncodeTone(encoder, rate, 2, seconds, startNs);
    return !packets.empty();
  }
};

int64_t ToSamples(const testmedia::StreamInfo& s, int64_t pts) {
  return av_rescale(pts * s.timeBaseNum, s.sampleRate, s.timeBaseDen);
}

int64_t ToMicroseconds(const testmedia::StreamInfo& s, int64_t v) {
  return av_rescale(v * s.timeBaseNum, 1000000, s.timeBaseDen);
}

class ClipByName : public ::testing::TestWithParam<const char*> {};

// A 1 s clip at 30 fps with three tracks: the main mix starts 40 ms after the first picture, the
// microphone 100 ms before it, the game runs 300 ms past the last picture.
TEST_P(ClipByName, ThreeTrackClipReadsBackAsWritten) {
  const fs::path dir = testmedia::FreshDir("three-tracks");
  const fs::path path = dir / GetParam();
  const std::string lower = [&] {
    std::string s = GetParam();
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }();
  const bool mkv = lower.size() >= 4 && lower.substr(lower.size() - 4) == ".mkv";

  const auto video = testmedia::ToVideoPackets(FixedPictures(), kStart, 30);
  Track main, mic, game;
  ASSERT_TRUE(main.Make(AudioFormat::AacLc, 48000, 1.0, kStart + 40 * kMs));
  ASSERT_TRUE(mic.Make(AudioFormat::AacLc, 48000, 1.0, kStart - 100 * kMs));
  ASSERT_TRUE(game.Make(AudioFormat::AacLc, 44100, 1.3, kStart));

  log::Capture capture;
  Mp4Muxer muxer;
  ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
  EXPECT_EQ(muxer.IsMatroska(), mkv);
  const int mainIdx = muxer.AddAudioTrack(main.params, "Mezcla principal");
  const int micIdx = muxer.AddAudioTrack(mic.params, "Solo microfono");
  const int gameIdx = muxer.AddAudioTrack(game.params, "Solo juego");
  EXPECT_EQ(mainIdx, 0);
  EXPECT_EQ(micIdx, 1);
  EXPECT_EQ(gameIdx, 2);
  const auto result = WriteClipPackets(
      muxer, video,
      {{&main.packets, mainIdx, 48000}, {&mic.packets, micIdx, 48000}, {&game.packets, gameIdx, 44100}},
      30);
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(fs::exists(muxer.TemporaryPath()));
  EXPECT_FALSE(fs::exists(path)) << "the final name appears only when the clip is complete";
  ASSERT_TRUE(muxer.Close());
  EXPECT_TRUE(capture.Lines().empty()) << capture.Lines().front();
  EXPECT_TRUE(fs::exists(path));
  EXPECT_FALSE(fs::exists(Mp4Muxer::TemporaryPathFor(path)));

  const auto info = Probe(path);
  ASSERT_TRUE(info.opened);
  EXPECT_NE(info.formatName.find(mkv ? "matroska" : "mp4"), std::string::npos) << info.formatName;
  ASSERT_EQ(info.streams.size(), 4u);
  EXPECT_EQ(info.streams[0].codecId, AV_CODEC_ID_H264);
  EXPECT_EQ(info.streams[0].packets, 30);
  const char* titles[] = {"Mezcla principal", "Solo microfono", "Solo juego"};
  for (int i = 1; i <= 3; ++i) {
    const auto& s = info.streams[i];
    EXPECT_EQ(s.codecId, AV_CODEC_ID_AAC);
    EXPECT_EQ(s.title, titles[i - 1]);
    EXPECT_EQ(s.isDefault, i == 1) << "track " << i;
    EXPECT_TRUE(s.dtsIncreasing) << "track " << i;
    EXPECT_EQ(static_cast<size_t>(s.packets), result.audioInSpan[i - 1]) << "track " << i;
  }
  EXPECT_EQ(ToSamples(info.streams[1], info.streams[1].firstPts), 1920);  // 48000 × 0.040
  // Audio before the first picture and after the last is not in the file.
  EXPECT_LT(result.audioInSpan[1], mic.packets.size());
  EXPECT_LT(result.audioInSpan[2], game.packets.size());
  const int64_t lastGameUs = ToMicroseconds(info.streams[3], info.streams[3].lastPts);
  EXPECT_LE(lastGameUs, 29 * 1000000 / 30 + 1000);

  if (!mkv) {
    // Matroska keeps no duration for the last block; MP4 does.
    EXPECT_NEAR(ToMicroseconds(info.streams[0], info.streams[0].lastDuration), 33333, 70);
  }
  EXPECT_EQ(testmedia::DecodeAllVideo(path), 30);
}

INSTANTIATE_TEST_SUITE_P(Extensions, ClipByName,
                         ::testing::Values("clip.mp4", "clip.mkv", "clip.MKV", "clip.MkV",
                                           "clip.MP4", "clip.mkv.mp4"));

// Game folders carry names like these; FFmpeg gets UTF-8, the rename gets the native path.
TEST(Mp4Muxer, WritesUnderNonAsciiFolderNames) {
  const fs::path dir = testmedia::FreshDir("unicode") / fs::path(u8"Año Ñandú ゲーム");
  fs::create_directories(dir);
  const fs::path path = dir / fs::path(u8"clip_ñ.mkv");
  Mp4Muxer muxer;
  ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
  ASSERT_TRUE(WriteClipPackets(muxer, testmedia::ToVideoPackets(FixedPictures(), kStart, 30), {}, 30).ok);
  ASSERT_TRUE(muxer.Close());
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(Probe(path).streams.size(), 1u);
}

// A power cut after the rename must not find the clip's name on a file the disk never got.
TEST(Mp4Muxer, FinishedClipReachesTheDiskBeforeItTakesItsName) {
  for (const char* name : {"flush.mp4", "flush.mkv"}) {
    const fs::path path = testmedia::FreshDir("flush-order") / name;
    struct Seen {
      int calls = 0;
      fs::path flushed;
      bool finalNameTaken = true;
      uintmax_t size = 0;
    } seen;
    Mp4Muxer muxer([&](const fs::path& p, std::string&) {
      ++seen.calls;
      seen.flushed = p;
      seen.finalNameTaken = fs::exists(path);
      seen.size = fs::file_size(p);
      return true;
    });
    ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
    ASSERT_TRUE(WriteClipPackets(muxer, testmedia::ToVideoPackets(FixedPictures(), kStart, 30), {}, 30).ok);
    ASSERT_TRUE(muxer.Close()) << name;
    EXPECT_EQ(seen.calls, 1) << name;
    EXPECT_EQ(seen.flushed, Mp4Muxer::TemporaryPathFor(path)) << name;
    EXPECT_FALSE(seen.finalNameTaken) << name;
    EXPECT_EQ(seen.size, fs::file_size(path)) << name << ": flushed before it was complete";
  }
  // A flush the disk refuses publishes nothing.
  const fs::path path = testmedia::FreshDir("flush-fails") / "clip.mp4";
  log::Capture capture;
  Mp4Muxer muxer([](const fs::path&, std::string& error) {
    error = "Input/output error";
    return false;
  });
  ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
  ASSERT_TRUE(WriteClipPackets(muxer, testmedia::ToVideoPackets(FixedPictures(), kStart, 30), {}, 30).ok);
  EXPECT_FALSE(muxer.Close());
  EXPECT_TRUE(capture.Contains("MUX: no se pudo asegurar el clip en disco (Input/output error)"));
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(Mp4Muxer::TemporaryPathFor(path)));
  EXPECT_TRUE(muxer.PartialFileRemoved());
}

TEST(Mp4Muxer, VariableRateClipEndsWithOneSixtiethPicture) {
  const fs::path path = testmedia::FreshDir("vfr") / "vfr.mp4";
  // Irregular spacing, as pictures arrive from a game without a fixed rate.
  auto pictures = FixedPictures();
  std::vector<EncodedPacket> video;
  int64_t t = kStart;
  for (size_t i = 0; i < pictures.size(); ++i) {
    PacketBytes b = pictures[i].bytes;
    video.push_back(MakePacket(std::move(b), pictures[i].keyframe, t));
    t += (i % 3 == 0 ? 11 : 23) * kMs;
  }
  Mp4Muxer muxer;
  ASSERT_TRUE(muxer.Open(path, 160, 90, 0, VideoCodec::H264));
  EXPECT_EQ(muxer.Fps(), 60);
  ASSERT_TRUE(WriteClipPackets(muxer, video, {}, 0).ok);
  ASSERT_TRUE(muxer.Close());
  const auto info = Probe(path);
  ASSERT_EQ(info.streams.size(), 1u);
  EXPECT_NEAR(ToMicroseconds(info.streams[0], info.streams[0].lastDuration), 16666, 70);
  // The irregular spacing survives: the second picture sits 11 ms after the first.
  ASSERT_GE(info.streams[0].pts.size(), 2u);
  EXPECT_NEAR(ToMicroseconds(info.streams[0], info.streams[0].pts[1]), 11000, 100);
  EXPECT_EQ(testmedia::DecodeAllVideo(path), 30);
}

struct LiveCodec {
  const char* encoder;
  VideoCodec codec;
  AVCodecID id;
  const char* file;
};

class LiveEncoderClip : public ::testing::TestWithParam<LiveCodec> {};

TEST_P(LiveEncoderClip, DecodesEveryPictureInBothContainers) {
  const LiveCodec& p = GetParam();
  if (!testmedia::HasEncoder(p.encoder)) GTEST_SKIP() << "FFmpeg sin " << p.encoder;
  testmedia::PictureRequest r;
  r.encoder = p.encoder;
  r.width = 128;
  r.height = 72;
  r.frames = 20;
  r.gop = 10;
  const auto pictures = testmedia::EncodePictures(r);
  ASSERT_EQ(pictures.size(), 20u);
  ASSERT_TRUE(pictures[0].keyframe);
  const auto video = testmedia::ToVideoPackets(pictures, kStart, 30);
  Track main;
  ASSERT_TRUE(main.Make(AudioFormat::AacLc, 48000, 0.7, kStart));

  const fs::path path = testmedia::FreshDir(std::string("live-") + p.encoder) / p.file;
  Mp4Muxer muxer;
  ASSERT_TRUE(muxer.Open(path, 128, 72, 30, p.codec));
  const int idx = muxer.AddAudioTrack(main.params, "Mezcla principal");
  ASSERT_TRUE(WriteClipPackets(muxer, video, {{&main.packets, idx, 48000}}, 30).ok);
  ASSERT_TRUE(muxer.Close());

  const auto info = Probe(path);
  ASSERT_EQ(info.streams.size(), 2u);
  EXPECT_EQ(info.streams[0].codecId, p.id);
  EXPECT_GT(info.streams[0].extradataSize, 0u);
  EXPECT_EQ(info.streams[0].width, 128);
  if (avcodec_find_decoder(p.id)) {
    EXPECT_EQ(testmedia::DecodeAllVideo(path), 20);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, LiveEncoderClip,
    ::testing::Values(LiveCodec{"libx265", VideoCodec::Hevc, AV_CODEC_ID_HEVC, "hevc.mp4"},
                      LiveCodec{"libx265", VideoCodec::Hevc, AV_CODEC_ID_HEVC, "hevc.mkv"},
                      LiveCodec{"libsvtav1", VideoCodec::Av1, AV_CODEC_ID_AV1, "av1.mp4"},
                      LiveCodec{"libsvtav1", VideoCodec::Av1, AV_CODEC_ID_AV1, "av1.mkv"},
                      LiveCodec{"libx264", VideoCodec::H264, AV_CODEC_ID_H264, "h264.mkv"}));

TEST(Mp4Muxer, EveryAudioFormatMuxesInBothContainers) {
  const auto video = testmedia::ToVideoPackets(FixedPictures(), kStart, 30);
  for (const char* name : {"formats.mp4", "formats.mkv"}) {
    Track aac, alac, opus;
    ASSERT_TRUE(aac.Make(AudioFormat::AacLc, 48000, 0.5, kStart));
    ASSERT_TRUE(alac.Make(AudioFormat::Alac, 44100, 0.5, kStart));
    ASSERT_TRUE(opus.Make(AudioFormat::Opus, 48000, 0.5, kStart));
    const fs::path path = testmedia::FreshDir("formats") / name;
    Mp4Muxer muxer;
    ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
    const int a = muxer.AddAudioTrack(aac.params, "Mezcla principal");
    const int b = muxer.AddAudioTrack(alac.params, "Solo microfono");
    const int c = muxer.AddAudioTrack(opus.params, "Solo juego");
    ASSERT_TRUE(WriteClipPackets(muxer, video,
                                 {{&aac.packets, a, 48000}, {&alac.packets, b, 44100},
                                  {&opus.packets, c, 48000}},
                                 30)
                    .ok);
    ASSERT_TRUE(muxer.Close()) << name;
    const auto info = Probe(path);
    ASSERT_EQ(info.streams.size(), 4u) << name;
    EXPECT_EQ(info.streams[1].codecId, AV_CODEC_ID_AAC);
    EXPECT_EQ(info.streams[2].codecId, AV_CODEC_ID_ALAC);
    EXPECT_EQ(info.streams[2].sampleRate, 44100);
    EXPECT_EQ(info.streams[3].codecId, AV_CODEC_ID_OPUS);
    for (int i = 1; i <= 3; ++i) EXPECT_GT(info.streams[i].packets, 3) << name << " track " << i;
  }
}

TEST(Mp4Muxer, AudioTimeStampsNeverOverlapAndStayIncreasing) {
  const auto pictures = FixedPictures();
  Track t;
  ASSERT_TRUE(t.Make(AudioFormat::AacLc, 48000, 0.2, kStart));
  ASSERT_GE(t.packets.size(), 4u);
  for (const char* name : {"ts.mp4", "ts.mkv"}) {
    const fs::path path = testmedia::FreshDir("timestamps") / name;
    Mp4Muxer muxer;
    ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
    const int idx = muxer.AddAudioTrack(t.params, "Mezcla principal");
    ASSERT_TRUE(muxer.WriteVideoPacket(pictures[0].bytes.data(), pictures[0].bytes.size(), true));
    auto write = [&](size_t i, int64_t pts, int64_t dur) {
      return muxer.WriteAudioPacketAt(idx, t.packets[i].data(), t.packets[i].size(), pts, dur);
    };
    ASSERT_TRUE(write(0, 4800, 1024));
    ASSERT_TRUE(write(1, 4800, 1024));   // same time stamp: goes right after the first
    ASSERT_TRUE(write(2, 100, 0));       // earlier: pushed after the second; duration 1024
    ASSERT_TRUE(write(3, 9000, 1));      // one-sample packets still get their own tick
    ASSERT_TRUE(write(0, 9001, 1));
    ASSERT_TRUE(muxer.Close());
    const auto info = Probe(path);
    ASSERT_EQ(info.streams.size(), 2u);
    const auto& a = info.streams[1];
    ASSERT_EQ(a.pts.size(), 5u) << name;
    EXPECT_TRUE(a.dtsIncreasing) << name;
    const int64_t tol = a.timeBaseDen == 48000 ? 0 : 48;  // Matroska counts milliseconds
    EXPECT_NEAR(ToSamples(a, a.pts[0]), 4800, tol);
    EXPECT_NEAR(ToSamples(a, a.pts[1]), 5824, tol);
    EXPECT_NEAR(ToSamples(a, a.pts[2]), 6848, tol);
    EXPECT_NEAR(ToSamples(a, a.pts[3]), 9000, tol);
    EXPECT_GT(a.pts[4], a.pts[3]);
  }
}

TEST(Mp4Muxer, CounterStampedPacketsAndDefaultRate) {
  const auto pictures = FixedPictures();
  const fs::path path = testmedia::FreshDir("counter") / "counter.mkv";
  Track t;
  ASSERT_TRUE(t.Make(AudioFormat::AacLc, 48000, 0.5, kStart));
  Mp4Muxer muxer;
  ASSERT_TRUE(muxer.Open(path, 160, 90, 0, VideoCodec::H264));
  const int idx = muxer.AddAudioTrack(t.params, "");
  for (const auto& p : pictures) ASSERT_TRUE(muxer.WriteVideoPacket(p.bytes.data(), p.bytes.size(), p.keyframe));
  for (const auto& p : t.packets) ASSERT_TRUE(muxer.WriteAudioPacket(idx, p.data(), p.size()));
  ASSERT_TRUE(muxer.Close());
  const auto info = Probe(path);
  ASSERT_EQ(info.streams.size(), 2u);
  EXPECT_TRUE(info.streams[1].title.empty());
  // fps 0 stamps pictures at 60 per second: picture 29 at 483 ms.
  EXPECT_NEAR(ToMicroseconds(info.streams[0], info.streams[0].lastPts), 29 * 1000000 / 60, 1500);
  EXPECT_NEAR(ToSamples(info.streams[1], info.streams[1].pts[3]), 3 * 1024, 48);
}

TEST(Mp4MuxerFailures, RefusalsAreLoggedAndLeaveNoFile) {
  const auto pictures = FixedPictures();
  const fs::path dir = testmedia::FreshDir("refusals");
  Track t;
  ASSERT_TRUE(t.Make(AudioFormat::AacLc, 48000, 0.1, kStart));

  {  // Nothing open yet.
    log::Capture capture;
    Mp4Muxer muxer;
    EXPECT_EQ(muxer.AddAudioTrack(t.params, "Mezcla principal"), -1);
    EXPECT_TRUE(capture.Contains("MUX: AddAudioTrack llamado sin Open() previo"));
    EXPECT_FALSE(muxer.Close());
  }
  {  // A folder that cannot hold files: its "parent" is a regular file.
    const fs::path blocker = dir / "not-a-folder";
    std::ofstream(blocker) << "x";
    for (const char* name : {"clip.mp4", "clip.mkv"}) {
      log::Capture capture;
      Mp4Muxer muxer;
      EXPECT_FALSE(muxer.Open(blocker / name, 160, 90, 30, VideoCodec::H264));
      EXPECT_TRUE(capture.Contains(muxer.IsMatroska() ? "MKV: avio_open fallo" : "MUX: avio_open fallo"))
          << name;
      // With the system's reason and the file it could not create.
      EXPECT_TRUE(capture.Contains(" fallo (ret=-")) << name;
      EXPECT_TRUE(capture.Contains(std::string(name) + ".part")) << name;
      EXPECT_FALSE(muxer.Close());
      EXPECT_FALSE(muxer.PartialFileRemoved()) << name << ": no file was ever made";
    }
  }
  {  // Bad track, audio before video, a track after the header.
    const fs::path path = dir / "order.mp4";
    log::Capture capture;
    Mp4Muxer muxer;
    ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
    AudioStreamParams bad = t.params;
    bad.channels = 0;
    EXPECT_EQ(muxer.AddAudioTrack(bad, "x"), -1);
    EXPECT_TRUE(capture.Contains("MUX: parametros de pista de audio invalidos; se omite la pista."));
    const int idx = muxer.AddAudioTrack(t.params, "Mezcla principal");
    EXPECT_FALSE(muxer.WriteAudioPacketAt(idx, t.packets[0].data(), t.packets[0].size(), 0, 1024));
    EXPECT_TRUE(capture.Contains("MUX: WriteAudioPacketAt llamado antes de que el header exista"));
    EXPECT_FALSE(muxer.Close());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(Mp4Muxer::TemporaryPathFor(path)));

    ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
    ASSERT_TRUE(muxer.WriteVideoPacket(pictures[0].bytes.data(), pictures[0].bytes.size(), true));
    EXPECT_EQ(muxer.AddAudioTrack(t.params, "Solo juego"), -1);
    EXPECT_TRUE(capture.Contains("MUX: AddAudioTrack llamado despues de escribir el header"));
    EXPECT_FALSE(muxer.WriteAudioPacketAt(5, t.packets[0].data(), t.packets[0].size(), 0, 1024));
    EXPECT_TRUE(muxer.Close());  // the refusals did not spoil the clip
    EXPECT_EQ(Probe(path).streams.size(), 1u);
  }
  {  // First picture not a keyframe; a keyframe without parameter sets.
    const fs::path path = dir / "nokey.mkv";
    const fs::path previous = dir / "previous.mp4";
    log::Capture capture;
    Mp4Muxer muxer;
    ASSERT_TRUE(muxer.Open(path, 160, 90, 30, VideoCodec::H264));
    EXPECT_FALSE(muxer.WriteVideoPacket(pictures[1].bytes.data(), pictures[1].bytes.size(), false));
    EXPECT_TRUE(capture.Contains("MUX: el primer paquete del clip no es un keyframe (no deberia pasar)"));
    EXPECT_FALSE(muxer.Close());
    EXPECT_FALSE(fs::exists(path));

    // Only the slice of the keyframe, without SPS/PPS; an older clip of that name stays intact.
    std::ofstream(previous) << "older clip";
    std::vector<uint8_t> slice;
    for (const auto& u : annexb::Split(pictures[0].bytes.data(), pictures[0].bytes.size())) {
      if (annexb::H264NalType(u) != 5) continue;
      slice.insert(slice.end(), {0, 0, 0, 1});
      slice.insert(slice.end(), u.data, u.data + u.size);
    }
    ASSERT_FALSE(slice.empty());
    ASSERT_TRUE(muxer.Open(previous, 160, 90, 30, VideoCodec::H264));
    EXPECT_FALSE(muxer.WriteVideoPacket(slice.data(), slice.size(), true));
    EXPECT_TRUE(capture.Contains("MUX: el primer paquete H.264 no trae SPS/PPS."));
    EXPECT_FALSE(muxer.Close());
    EXPECT_EQ(fs::file_size(previous), 10u);
    EXPECT_FALSE(fs::exists(Mp4Muxer::TemporaryPathFor(previous)));

    ASSERT_TRUE(muxer.Open(dir / "nohevc.mp4", 160, 90, 30, VideoCodec::Hevc));
    EXPECT_FALSE(muxer.WriteVideoPacket(slice.data(), slice.size(), true));
    EXPECT_TRUE(capture.Contains("MUX: el primer paquete H.265/HEVC no trae VPS/SPS/PPS."));
    ASSERT_TRUE(muxer.Open(dir / "noav1.mkv", 160, 90, 30, VideoCodec::Av1));
    const uint8_t junk[] = {0x80, 0x01};
    EXPECT_FALSE(muxer.WriteVideoPacket(junk, sizeof(junk), true));
    EXPECT_TRUE(capture.Contains("MUX: el primer paquete AV1 esta vacio."));
    muxer.Close();
  }
  EXPECT_FALSE(fs::exists(dir / "nohevc.mp4"));
  EXPECT_FALSE(fs::exists(dir / "noav1.mkv"));
  EXPECT_FALSE(fs::exists(dir / "noav1.mkv.part"));
}

}  // namespace
}  // namespace halvex

#include "app/save_request.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/save_job.h"
#include "audio/audio_encoder.h"
#include "clipfile/mp4_muxer.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/packet_history.h"
#include "clipfile/test_media.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;
namespace tm = testmedia;

class FakeContext final : public ISaveContext {
 public:
  bool active = true;
  bool backlogClear = true;
  std::string game = "Test Game";
  PacketHistory video{60};
  std::map<AudioSource, PacketHistory> audio;
  std::map<AudioSource, AudioStreamParams> params;
  std::vector<std::string> overlay;

  bool SessionActive() const override { return active; }
  std::string GameDisplayName() const override { return game; }
  bool WaitForBacklog(uint32_t) override { return backlogClear; }
  const PacketHistory& VideoHistory() const override { return video; }
  const PacketHistory& AudioHistory(AudioSource s) const override { return audio.at(s); }
  AudioStreamParams StreamParams(AudioSource s) const override {
    auto it = params.find(s);
    return it == params.end() ? AudioStreamParams{} : it->second;
  }
  void ShowOverlayMessage(const std::string& text) override { overlay.push_back(text); }
};


class SaveRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The histories age packets against the real clock.
    start_ = NowNs() - 2'000'000'000;
    dir_ = tm::FreshDir("save-request");
    settings_.saveRoot = dir_;
    settings_.captureWidth = 160;
    settings_.captureHeight = 90;
    settings_.fixedFrameRate = true;
    settings_.currentFrameRate = 30;
    for (AudioSource s : {AudioSource::AppMix, AudioSource::Mix, AudioSource::Desktop,
                          AudioSource::Microphone, AudioSource::Game}) {
      context_.audio.try_emplace(s, 60);
    }
  }
  void TearDown() override {
    for (auto& t : threads_) t.join();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void AddPictures() {
    const auto pictures = tm::LoadPictures(tm::FixedH264Path());
    ASSERT_FALSE(pictures.empty());
    for (auto& p : tm::ToVideoPackets(pictures, start_, 30)) {
      PacketBytes bytes(*p.payload);
      context_.video.Append(std::move(bytes), p.keyframe, p.timestampNs);
    }
  }

  // A tone into `source`'s history, and that encoder's description.
  void AddTone(AudioSource source, int64_t startNs) {
    AacEncoder encoder;
    ASSERT_TRUE(encoder.Initialize(48000, 2, 48000, 128, AudioFormat::AacLc));
    context_.params[source] = encoder.GetStreamParams();
    for (auto& p : tm::EncodeTone(encoder, 48000, 2, 1.0, startNs)) {
      PacketBytes bytes(*p.payload);
      context_.audio.at(source).Append(std::move(bytes), true, p.timestampNs, p.sampleCount);
    }
  }

  SaveOutcome Press() { return RequestSave(context_, audio_, settings_, flags_, threads_); }

  void JoinAll() {
    for (auto& t : threads_) t.join();
    threads_.clear();
  }

  std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator(); ++it) {
      if (it->is_regular_file()) out.push_back(it->path());
    }
    return out;
  }

  int64_t start_ = 0;
  fs::path dir_;
  FakeContext context_;
  AudioState audio_;
  SaveSettings settings_;
  SaveFlags flags_;
  std::vector<std::thread> threads_;
};

TEST_F(SaveRequestTest, RefusalsWriteNothingAndChangeNoFlag) {
  log::Capture capture;
  context_.active = false;
  EXPECT_EQ(Press(), SaveOutcome::NoSession);
  EXPECT_TRUE(capture.Contains("[CLIP-HOTKEY] HOTKEY DETECTADA (F8)."));
  EXPECT_TRUE(capture.Contains("[F8] No hay un juego/aplicacion activa para guardar."));

  context_.active = true;
  EXPECT_EQ(Press(), SaveOutcome::NoVideo);
  EXPECT_TRUE(capture.Contains("[F8] Todavia no hay video disponible en el buffer."));

  // A new session whose first keyframe has not arrived yet.
  for (int i = 0; i < 3; ++i) context_.video.Append(PacketBytes{1, 2, 3}, false, start_ + i * 33'000'000);
  EXPECT_EQ(Press(), SaveOutcome::NoKeyframe);
  EXPECT_TRUE(capture.Contains("[F8] Aun no esta listo: esperando el primer keyframe"));
  ASSERT_EQ(context_.overlay.size(), 1u);
  EXPECT_EQ(context_.overlay[0], "Aun no listo... espera un instante");

  flags_.saving = true;
  EXPECT_EQ(Press(), SaveOutcome::Busy);
  EXPECT_TRUE(capture.Contains("[F8] Ignorada: ya hay un guardado en curso;"));
  EXPECT_TRUE(flags_.saving);

  EXPECT_TRUE(threads_.empty());
  EXPECT_TRUE(FilesIn(dir_).empty());
}

TEST_F(SaveRequestTest, MainTrackWithoutPacketsWaits) {
  AddPictures();
  audio_.desktopRunning = true;
  audio_.mixOpen = true;
  log::Capture capture;
  EXPECT_EQ(Press(), SaveOutcome::NoMainAudio);
  EXPECT_TRUE(capture.Contains("[F8] El audio principal aun no tiene paquetes disponibles;"));
  ASSERT_EQ(context_.overlay.size(), 1u);
  EXPECT_EQ(context_.overlay[0], "Esperando audio... espera F8");
  EXPECT_FALSE(flags_.saving);
  EXPECT_TRUE(threads_.empty());
}

// The loopback's server went away: the press makes a clip without the main track and says so,
// where it used to wait for main-track packets that could not come.
TEST_F(SaveRequestTest, LostCapturesAreLeftOutAndNamed) {
  AddPictures();
  AddTone(AudioSource::Microphone, start_);
  audio_ = {};
  audio_.desktopLost = true;  // running no more: the pipeline reports desktopRunning false
  audio_.mixOpen = true;
  audio_.appMixOpen = true;
  audio_.gameOpen = true;
  audio_.micStarted = true;
  audio_.micOpen = true;
  audio_.editorChannels = true;
  log::Capture capture;
  ASSERT_EQ(Press(), SaveOutcome::Started);
  JoinAll();
  EXPECT_TRUE(capture.Contains("[F8] AVISO: el audio de salida no llega (dispositivo o servidor "
                               "de sonido desaparecido); el clip se guarda sin pista principal "
                               "ni de juego."));
  EXPECT_FALSE(capture.Contains("[F8] AVISO: el microfono no llega"));
  const auto files = FilesIn(dir_);
  ASSERT_EQ(files.size(), 1u);
  const tm::FileInfo info = tm::Probe(files[0]);
  ASSERT_EQ(info.streams.size(), 2u);
  EXPECT_EQ(info.streams[1].title, "Solo microfono");

  audio_.micLost = true;
  audio_.micStarted = false;
  ASSERT_EQ(Press(), SaveOutcome::Started);
  JoinAll();
  EXPECT_TRUE(capture.Contains("[F8] AVISO: el microfono no llega (dispositivo o servidor de "
                               "sonido desaparecido); el clip se guarda sin pista de microfono."));
}

TEST_F(SaveRequestTest, SavesClipWithTitledTracks) {
  AddPictures();
  AddTone(AudioSource::Mix, start_ + 40'000'000);
  AddTone(AudioSource::Microphone, start_ - 200'000'000);
  audio_ = {};
  audio_.desktopRunning = true;
  audio_.mixOpen = true;
  audio_.micStarted = true;
  audio_.micOpen = true;
  audio_.editorChannels = true;
  log::Capture capture;
  ASSERT_EQ(Press(), SaveOutcome::Started);
  EXPECT_TRUE(flags_.saving);
  EXPECT_TRUE(capture.Contains("[SYNC] A/V: inicio audio=40 ms despues del video"));
  EXPECT_TRUE(capture.Contains("[F8] Snapshot listo; el hilo principal continua."));
  JoinAll();
  EXPECT_FALSE(flags_.saving);
  EXPECT_EQ(flags_.clipsSaved, 1u);
  EXPECT_EQ(flags_.clipSavedNotices, 1u);
  EXPECT_TRUE(capture.Contains(" (30 video, "));
  EXPECT_TRUE(capture.Contains(" juego | 1.0s)"));

  const auto files = FilesIn(dir_);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].extension(), ".mp4");
  EXPECT_EQ(files[0].filename().string().rfind("clip_", 0), 0u);
  const tm::FileInfo info = tm::Probe(files[0]);
  ASSERT_TRUE(info.opened);
  ASSERT_EQ(info.streams.size(), 3u);
  EXPECT_EQ(info.streams[0].packets, 30);
  EXPECT_EQ(info.streams[1].title, "Mezcla principal");
  EXPECT_EQ(info.streams[2].title, "Solo microfono");

  // A second clip in the same second keeps the first one.
  ASSERT_EQ(Press(), SaveOutcome::Started);
  JoinAll();
  EXPECT_EQ(FilesIn(dir_).size(), 2u);
}

TEST_F(SaveRequestTest, MatroskaWithoutAudio) {
  AddPictures();
  settings_.container = settings::VideoContainer::Mkv;
  ASSERT_EQ(Press(), SaveOutcome::Started);
  JoinAll();
  const auto files = FilesIn(dir_);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].extension(), ".mkv");
  const tm::FileInfo info = tm::Probe(files[0]);
  ASSERT_TRUE(info.opened);
  EXPECT_EQ(info.streams.size(), 1u);
}

TEST_F(SaveRequestTest, UnpreparableFolderIsReported) {
  AddPictures();
  const fs::path blocker = dir_ / "root-is-a-file";
  std::ofstream(blocker) << "x";
  settings_.saveRoot = blocker;
  log::Capture capture;
  EXPECT_EQ(Press(), SaveOutcome::PathFailed);
  EXPECT_TRUE(capture.Contains("[F8] ERROR: "));
  ASSERT_EQ(context_.overlay.size(), 1u);
  EXPECT_EQ(context_.overlay[0], "No se pudo preparar la carpeta de guardado");
  EXPECT_FALSE(flags_.saving);
  EXPECT_TRUE(threads_.empty());
}

TEST_F(SaveRequestTest, FailedWriteLeavesNoFileAndClearsFlags) {
  const fs::path blocker = dir_ / "not-a-folder";
  std::ofstream(blocker) << "x";
  auto job = std::make_unique<SaveJob>();
  job->path = blocker / "clip.mp4";
  for (auto& p : tm::ToVideoPackets(tm::LoadPictures(tm::FixedH264Path()), start_, 30)) {
    job->video.push_back(p);
  }
  job->start = job->video.front().timestampNs;
  job->end = job->video.back().timestampNs;
  job->width = 160;
  job->height = 90;
  job->frameRate = 30;
  job->flags = &flags_;
  flags_.saving = true;
  log::Capture capture;
  EXPECT_FALSE(RunSaveJob(std::move(job)));
  EXPECT_TRUE(capture.Contains("[F8] ERROR al escribir "));
  // No file could even be opened, so there was nothing partial to remove.
  EXPECT_FALSE(capture.Contains("archivo parcial eliminado"));
  EXPECT_TRUE(capture.Contains("; no se creo ningun archivo."));
  EXPECT_TRUE(capture.Contains("avio_open fallo (ret=-"));
  EXPECT_FALSE(flags_.saving);
  EXPECT_EQ(flags_.clipsSaved, 0u);
  ASSERT_EQ(FilesIn(dir_).size(), 1u);  // only the blocker
}

// A deep save folder must not bury what the line says: its start and its last two parts stay.
TEST_F(SaveRequestTest, LongPathsAreShortenedInTheLog) {
  AddPictures();
  settings_.saveRoot = dir_ / std::string(120, 'c') / "clips";
  log::Capture capture;
  ASSERT_EQ(Press(), SaveOutcome::Started);
  JoinAll();
  const auto files = FilesIn(dir_);
  ASSERT_EQ(files.size(), 1u);
  const std::string name = files[0].filename().string();
  size_t checked = 0;
  for (const std::string& line : capture.Lines()) {
    for (const char* prefix : {"[F8] Ruta de guardado: ", "[F8] Clip guardado: "}) {
      if (line.rfind(prefix, 0) != 0) continue;
      ++checked;
      EXPECT_EQ(line.find(std::string(120, 'c')), std::string::npos) << line;
      EXPECT_NE(line.find("..."), std::string::npos) << line;
      const std::string tail = "Test Game" + std::string(1, static_cast<char>(fs::path::preferred_separator)) + name;
      EXPECT_NE(line.find(tail), std::string::npos) << line;
    }
  }
  EXPECT_EQ(checked, 2u);
}

TEST_F(SaveRequestTest, RejectedAudioTrackRemovesPartialFile) {
  auto job = std::make_unique<SaveJob>();
  job->path = dir_ / "clip.mp4";
  for (auto& p : tm::ToVideoPackets(tm::LoadPictures(tm::FixedH264Path()), start_, 30)) {
    job->video.push_back(p);
  }
  job->start = job->video.front().timestampNs;
  job->end = job->video.back().timestampNs;
  job->width = 160;
  job->height = 90;
  job->hasMain = true;  // with an empty description: the muxer cannot add it
  job->flags = &flags_;
  log::Capture capture;
  EXPECT_FALSE(RunSaveJob(std::move(job)));
  EXPECT_TRUE(capture.Contains("[F8] ERROR al escribir "));
  EXPECT_TRUE(capture.Contains("; archivo parcial eliminado."));  // the opened file was removed
  EXPECT_TRUE(FilesIn(dir_).empty());
}

}  // namespace
}  // namespace halvex

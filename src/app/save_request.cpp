#include "app/save_request.h"

#include <exception>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>

#include "app/save_path.h"
#include "core/log.h"
#include "core/log_path.h"
#include "core/text.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

std::string Millis(int64_t ns) {
  std::ostringstream out;
  out << static_cast<double>(ns) / 1e6;
  return out.str();
}

// Two saves within one second get the same name; the second must not replace the first.
fs::path UniquePath(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return path;
  for (int n = 2;; ++n) {
    fs::path candidate = path.parent_path() /
                         (path.stem().native() + fs::path("_" + std::to_string(n)).native() +
                          path.extension().native());
    if (!fs::exists(candidate, ec)) return candidate;
  }
}

}  // namespace

SaveOutcome RequestSave(ISaveContext& context, const AudioState& audio,
                        const SaveSettings& settings, SaveFlags& flags,
                        std::vector<std::thread>& threads) {
  log::Line("[CLIP-HOTKEY] HOTKEY DETECTADA (" + settings.shortcutText + ").");
  if (flags.saving) {
    log::Line(
        "[F8] Ignorada: ya hay un guardado en curso; espera a que termine el clip y su version "
        "Discord si esta activada.");
    return SaveOutcome::Busy;
  }
  if (!context.SessionActive()) {
    log::Line("[F8] No hay un juego/aplicacion activa para guardar.");
    return SaveOutcome::NoSession;
  }
  if (!context.WaitForBacklog(0)) {
    log::Line("[F8] NVENC tiene backlog; el guardado seguira en segundo plano.");
  }
  std::vector<EncodedPacket> video = context.VideoHistory().SnapshotVideo(settings.durationSeconds);
  if (video.empty()) {
    log::Line("[F8] Todavia no hay video disponible en el buffer.");
    return SaveOutcome::NoVideo;
  }
  if (!video.front().keyframe) {
    log::Line("[F8] Aun no esta listo: esperando el primer keyframe de la nueva sesion.");
    context.ShowOverlayMessage("Aun no listo... espera un instante");
    return SaveOutcome::NoKeyframe;
  }
  const int64_t start = video.front().timestampNs;
  const int64_t end = video.back().timestampNs;

  const TrackChoice choice = ChooseTracks(audio);
  if (audio.desktopLost) {
    log::Line("[F8] AVISO: el audio de salida no llega (dispositivo o servidor de sonido "
              "desaparecido); el clip se guarda sin pista principal ni de juego.");
  }
  if (audio.micLost && audio.micOpen && audio.editorChannels) {
    log::Line("[F8] AVISO: el microfono no llega (dispositivo o servidor de sonido "
              "desaparecido); el clip se guarda sin pista de microfono.");
  }
  AudioStreamParams mainParams, micParams, gameParams;
  std::vector<EncodedPacket> mainAudio, micAudio, gameAudio;
  if (choice.hasMain) {
    mainParams = context.StreamParams(choice.mainSource);
    mainAudio = context.AudioHistory(choice.mainSource).SnapshotFrom(start);
  }
  if (choice.hasMic) {
    micParams = context.StreamParams(AudioSource::Microphone);
    micAudio = context.AudioHistory(AudioSource::Microphone).SnapshotFrom(start);
  }
  if (choice.hasGame) {
    gameParams = context.StreamParams(AudioSource::Game);
    gameAudio = context.AudioHistory(AudioSource::Game).SnapshotFrom(start);
  }
  if (choice.hasMain && !mainAudio.empty()) {
    log::Line("[SYNC] A/V: inicio audio=" + Millis(mainAudio.front().timestampNs - start) +
              " ms despues del video, final audio=" + Millis(end - mainAudio.back().timestampNs) +
              " ms antes del video.");
  }
  if (choice.mainExpected && choice.hasMain && mainAudio.empty()) {
    log::Line(
        "[F8] El audio principal aun no tiene paquetes disponibles; se espera un instante antes "
        "de crear el MP4.");
    context.ShowOverlayMessage("Esperando audio... espera " + settings.shortcutText);
    return SaveOutcome::NoMainAudio;
  }

  const char* extension = settings.container == settings::VideoContainer::Mkv ? ".mkv" : ".mp4";
  const int32_t width = settings.width < 1 ? settings.captureWidth : settings.width;
  const int32_t height = settings.height < 1 ? settings.captureHeight : settings.height;
  const int32_t frameRate =
      (settings.vsync || settings.fixedFrameRate) ? settings.currentFrameRate : 0;
  flags.exporting = false;
  flags.exportProgress = 0;

  const fs::path fileName = fs::path("clip_" + ClipTimestamp() + extension);
  fs::path path;
  std::string error;
  if (!PrepareSavePath(settings.saveRoot, context.GameDisplayName(), fileName, path, error)) {
    log::Line("[F8] ERROR: " + error);
    context.ShowOverlayMessage("No se pudo preparar la carpeta de guardado");
    return SaveOutcome::PathFailed;
  }
  path = UniquePath(path);

  flags.saving = true;
  log::Line("[F8] Ruta de guardado: " + text::PathForLog(path));
  log::Line("[F8] Snapshot listo; el hilo principal continua.");
  try {
    auto job = std::make_unique<SaveJob>();
    job->path = path;
    job->video = std::move(video);
    job->mainAudio = std::move(mainAudio);
    job->micAudio = std::move(micAudio);
    job->gameAudio = std::move(gameAudio);
    job->hasMain = choice.hasMain;
    job->hasMic = choice.hasMic;
    job->hasGame = choice.hasGame;
    job->mainParams = std::move(mainParams);
    job->micParams = std::move(micParams);
    job->gameParams = std::move(gameParams);
    job->width = static_cast<uint32_t>(width < 0 ? 0 : width);
    job->height = static_cast<uint32_t>(height < 0 ? 0 : height);
    job->frameRate = frameRate;
    job->codec = settings.codec;
    job->makeDiscordCopy = settings.makeDiscordCopy;
    job->discordHevc = settings.discordHevc;
    job->start = start;
    job->end = end;
    job->flags = &flags;
    threads.emplace_back([j = std::move(job)]() mutable { RunSaveJob(std::move(j)); });
  } catch (const std::exception& e) {
    flags.saving = false;
    flags.exporting = false;
    flags.exportProgress = 0;
    log::Line("[F8] ERROR: no se pudo iniciar el hilo de guardado.");
    std::cerr << "[F8] Thread error: " << e.what() << "\n";
    return SaveOutcome::ThreadFailed;
  }
  return SaveOutcome::Started;
}

}  // namespace halvex

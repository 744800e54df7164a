#include "audio/audio_pipeline.h"

#include <utility>
#include <vector>

#include "audio/audio_platform.h"
#include "audio/volume_curve.h"
#include "core/audio_timeline.h"
#include "core/clock.h"
#include "core/log.h"
#include "settings/exclusion_settings.h"

namespace halvex {
namespace {

constexpr const char* kDesktopGapLine = "[AUDIO-TIMING] hueco de captura detectado: ";
constexpr const char* kMicrophoneGapLine = "[AUDIO-TIMING] hueco de microfono detectado: ";

const DeviceOpener::Role kLoopbackRole{
    "AVISO: el dispositivo de audio guardado ya no esta disponible; se usara el predeterminado.",
    "[AUDIO] AVISO: no se pudo iniciar el loopback; reabriendo el endpoint para reintentar...",
    "[AUDIO] AVISO: no se pudo iniciar el loopback en esta sesion; el video seguira funcionando "
    "sin audio global.",
    &settings::WriteRenderDeviceId};

const DeviceOpener::Role kMicrophoneRole{
    "AVISO: el dispositivo de micrófono guardado ya no está disponible; se usará el "
    "predeterminado.",
    "[AUDIO] AVISO: no se pudo iniciar el microfono; reabriendo el dispositivo para "
    "reintentar...",
    "[AUDIO] AVISO: no se pudo iniciar el microfono en esta sesion; la pista de micro se omitira "
    "sin bloquear F8.",
    &settings::WriteMicrophoneDeviceId};

// Said when a capture device, or the encoder of its track, does not open.
struct CaptureTrackLines {
  const char* noDevice;
  const char* noEncoder;
};

const CaptureTrackLines kDesktopLines{
    "AVISO: no se pudo inicializar la captura de audio del juego (WASAPI) - esa pista no va a "
    "estar en el clip.",
    "AVISO: no se pudo inicializar el encoder AAC (juego) - esa pista no va a estar en el clip."};

const CaptureTrackLines kMicrophoneLines{
    "AVISO: no se pudo inicializar la captura del microfono (WASAPI) - esa pista no va a estar "
    "en el clip.",
    "AVISO: no se pudo inicializar el encoder AAC (microfono) - esa pista no va a estar en el "
    "clip."};

// Opens a capture device and the track that encodes it; a device whose encoder does not open is
// closed again, so nothing captures for a track that is not there.
bool OpenCaptureTrack(DeviceOpener& opener, ICaptureDevice& device, AudioTrack& track,
                      const std::string& id, const settings::ProfileStore& store,
                      const settings::AudioQualitySettings& quality,
                      const CaptureTrackLines& lines) {
  if (!opener.Open(id, store)) {
    log::Line(lines.noDevice);
    return false;
  }
  if (!track.Open(opener.Rate(), opener.Channels(), quality)) {
    log::Line(lines.noEncoder);
    device.Close();
    return false;
  }
  return true;
}

}  // namespace

AudioPipeline::AudioPipeline(AudioPipelineParts parts)
    : parts_(std::move(parts)),
      mixer_(*parts_.sessions, parts_.ownPid),
      loopbackDevice_(*parts_.loopback, kLoopbackRole),
      microphoneDevice_(*parts_.microphone, kMicrophoneRole) {}

AudioPipeline::~AudioPipeline() {
  mixer_.Stop();
  parts_.loopback->Close();
  parts_.microphone->Close();
}

int64_t AudioPipeline::Now() const { return parts_.now ? parts_.now() : NowNs(); }

void AudioPipeline::SetMicrophoneLevel(float level) { micGain_ = VolumeToGain(level); }

void AudioPipeline::Open(const settings::ProfileStore& store,
                         const settings::AudioQualitySettings& quality,
                         const PlatformCapabilities& capabilities) {
  store_ = &store;
  quality_ = quality;
  gameOnlyTrack_ = capabilities.gameOnlyTrack;
  for (AudioTrack* t : {&desktop_, &game_, &microphone_, &mix_, &appMix_}) t->Close();
  const std::string renderId = settings::ReadRenderDeviceId(store);
  const std::string microphoneId = settings::ReadMicrophoneDeviceId(store);

  loopbackOpen_ = OpenCaptureTrack(loopbackDevice_, *parts_.loopback, desktop_, renderId, store,
                                   quality, kDesktopLines);
  const int loopRate = loopbackDevice_.Rate(), loopChannels = loopbackDevice_.Channels();
  if (loopbackOpen_ && gameOnlyTrack_ &&
      !game_.Open(kProcessCaptureRate, kProcessCaptureChannels, quality)) {
    log::Line("AVISO: no se pudo inicializar el encoder AAC (solo juego).");
  }

  microphoneOpen_ = OpenCaptureTrack(microphoneDevice_, *parts_.microphone, microphone_,
                                     microphoneId, store, quality, kMicrophoneLines);
  const int micRate = microphoneDevice_.Rate();

  if (loopbackOpen_ && microphoneOpen_) {
    if (!mix_.Open(loopRate, loopChannels, quality)) {
      log::Line(
          "AVISO: no se pudo inicializar el encoder AAC (mezcla) - se usara el loopback del "
          "escritorio como pista principal.");
    } else if (!gameOnlyTrack_ && micRate != loopRate) {
      log::Line("[AUDIO-W10] Mezcla: " + std::to_string(loopRate) + "Hz + microfono " +
                std::to_string(micRate) + "Hz -> remuestreo del microfono.");
    }
  }

  if (loopbackOpen_) {
    if (!gameOnlyTrack_) {
      log::Line(
          "[AUDIO-W10] Windows 10 usa el loopback del dispositivo para la mezcla principal + "
          "microfono. No se crea una pista de juego aislada porque el loopback por proceso no "
          "esta disponible en W10.");
    } else if (!appMix_.Open(kProcessCaptureRate, kProcessCaptureChannels, quality)) {
      log::Line("AVISO: no se pudo inicializar el encoder de mezcla por aplicación.");
    }
  }

  mixer_.SetRenderDevice(loopbackDevice_.Id());
  SetMicrophoneLevel(settings::ReadMixerLevel(settings::kMicrophoneMixerId, store));
}

AudioSummary AudioPipeline::Summary() const {
  AudioSummary s;
  s.desktop = loopbackOpen_;
  s.microphone = microphoneOpen_;
  s.mix = mix_.IsOpen();
  return s;
}

int AudioPipeline::PerProcessSources() const { return static_cast<int>(mixer_.Sources().size()); }

bool AudioPipeline::PerProcessCapturing() const {
  if (mixer_.GameCapturing()) return true;
  for (const MixSource& s : mixer_.Sources()) {
    if (s.capturing) return true;
  }
  return false;
}

void AudioPipeline::RefreshSources() { mixer_.RefreshSources(); }

void AudioPipeline::StartCaptures() {
  desktopRunning_ = loopbackOpen_ && loopbackDevice_.Start();
  desktop_.Restart();
  game_.Restart();
  microphoneStarted_ = microphoneOpen_ && microphoneDevice_.Start();
  microphone_.Restart();
}

void AudioPipeline::StartSession(AudioProcessId process, const std::string& processName,
                                 int64_t /*startNs*/) {
  if (store_ != nullptr) {
    SetMicrophoneLevel(settings::ReadMixerLevel(settings::kMicrophoneMixerId, *store_));
    mixer_.SetExcludedAudio(settings::ReadExclusionLists(*store_).audio);
  }
  mixer_.SetRenderDevice(loopbackDevice_.Id());
  mixer_.SetTargetProcess(process, processName);

  StartCaptures();
  mix_.Restart();
  appMix_.Restart();
  // The timelines are anchored by the capture time of each stream's first chunk, not by the
  // session start: a device's first sample arrives some time after it is started.
  MixScheduler::Format format;
  format.loopRate = loopbackDevice_.Rate();
  format.loopChannels = loopbackDevice_.Channels();
  format.micRate = microphoneDevice_.Rate();
  format.micChannels = microphoneDevice_.Channels();
  format.loopbackMainMix = !gameOnlyTrack_;
  mixes_.Start(format);
}

void AudioPipeline::EndSession() {
  mixer_.SetTargetProcess(0);
  mixer_.Stop();
  // Stopped, not released: the next session starts on the same prepared devices.
  parts_.loopback->Stop();
  parts_.microphone->Stop();
  desktopRunning_ = false;
  microphoneStarted_ = false;
  for (AudioTrack* t : {&desktop_, &game_, &microphone_, &mix_, &appMix_}) t->EndSession();
  mixes_.Clear();
}

void AudioPipeline::Pump(AudioHistories& histories) {
  std::vector<AudioChunk> chunks;
  if (desktopRunning_) {
    const int loopRate = loopbackDevice_.Rate();
    const size_t loopChannels = static_cast<size_t>(loopbackDevice_.Channels());
    parts_.loopback->Read(chunks);
    for (AudioChunk& chunk : chunks) {
      const int frames = static_cast<int>(chunk.samples.size() / loopChannels);
      if (chunk.captureNs == 0) chunk.captureNs = Now() - FramesToNs(frames, loopRate);
      counters_.desktop += desktop_.Add(chunk.samples.data(), frames, chunk.captureNs,
                                        histories.desktop, kDesktopGapLine);
    }
  }

  if (microphoneStarted_) {
    AudioChunk mic;
    if (parts_.microphone->Read(mic) && !mic.samples.empty()) {
      const int micRate = microphoneDevice_.Rate();
      const int frames = static_cast<int>(
          mic.samples.size() / static_cast<size_t>(microphoneDevice_.Channels()));
      if (mic.captureNs == 0) mic.captureNs = Now() - FramesToNs(frames, micRate);
      for (float& s : mic.samples) s *= micGain_;
      // Without editor channels the microphone has no track of its own, but its timeline still
      // watches for gaps.
      counters_.microphone += microphone_.Add(mic.samples.data(), frames, mic.captureNs,
                                              histories.microphone, kMicrophoneGapLine,
                                              quality_.editorTracks);
      mixes_.QueueMicrophone(mic.samples, mic.captureNs + FramesToNs(frames, micRate));
    }
  }

  for (AudioChunk& chunk : chunks) mixes_.QueueDesktop(std::move(chunk));
  counters_.mix += mixes_.MixWaiting(histories, Now() - MixScheduler::kMixDelayNs);
}

void AudioPipeline::Flush(AudioHistories& histories) {
  counters_.mix += mixes_.MixWaiting(histories, 0);
  parts_.loopback->Close();
  desktop_.Flush(histories.desktop);
  game_.Flush(histories.game);
  parts_.microphone->Close();
  microphone_.Flush(histories.microphone);
  mix_.Flush(histories.mix);
  appMix_.Flush(histories.appMix);
  mixer_.Stop();
  loopbackOpen_ = microphoneOpen_ = desktopRunning_ = microphoneStarted_ = false;
}

AudioState AudioPipeline::State() const {
  AudioState s;
  // A capture whose device or server has been gone for a while counts as not running.
  s.desktopLost = desktopRunning_ && parts_.loopback->Ended();
  s.desktopRunning = desktopRunning_ && !s.desktopLost;
  s.gameOnlyTrack = gameOnlyTrack_;
  s.appMixOpen = appMix_.IsOpen();
  s.mixOpen = mix_.IsOpen();
  s.micLost = microphoneStarted_ && parts_.microphone->Ended();
  s.micStarted = microphoneStarted_ && !s.micLost;
  s.micOpen = microphoneOpen_ && microphone_.IsOpen();
  s.gameOpen = game_.IsOpen();
  s.editorChannels = quality_.editorTracks;
  return s;
}

AudioStreamParams AudioPipeline::StreamParams(AudioSource source) const {
  switch (source) {
    case AudioSource::Desktop: return desktop_.StreamParams();
    case AudioSource::Microphone: return microphone_.StreamParams();
    case AudioSource::Game: return game_.StreamParams();
    case AudioSource::Mix: return mix_.StreamParams();
    case AudioSource::AppMix: return appMix_.StreamParams();
  }
  return {};
}

AudioPipelineParts PlatformAudioParts(IAudioSessions* sessions, AudioProcessId ownPid) {
  AudioPipelineParts parts;
  parts.loopback = MakeLoopbackCapture();
  parts.microphone = MakeMicrophoneCapture();
  parts.sessions = sessions;
  parts.ownPid = ownPid;
  return parts;
}

}  // namespace halvex

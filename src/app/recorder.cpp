#include "app/recorder.h"

#include <exception>

#include "app/recorder_run.h"
#include "app/save_path.h"
#include "app/startup_lines.h"
#include "capture/window_rect.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/text.h"
#include "encode/software_output_size.h"
#include "input/key_names.h"

namespace halvex {
namespace {

constexpr int kWorkerPoolSize = 8;
constexpr int64_t kMixerRefreshNs = 1'500'000'000;
constexpr int64_t kIdleSleepNs = 5'000'000;
constexpr double kVideoSlackSeconds = 5;
constexpr double kAudioSlackSeconds = 10;
// Ctrl+Shift+F12 writes a picture of the open menus.
constexpr VirtualKey kVkF12 = 0x7B;
const HotkeyCombo kCaptureMenusCombo{kVkControl, kVkShift, kVkF12};

}  // namespace

Recorder::Recorder(RecorderParts parts)
    : parts_(std::move(parts)),
      menus_(parts_.menus != nullptr ? *parts_.menus : noMenus_),
      audioHistories_(1.0) {}

Recorder::~Recorder() { Shutdown(); }

bool Recorder::Start() {
  const settings::ProfileStore& store = *parts_.store;
  const OutputInfo& output = parts_.screen->Output();
  captureWidth_ = output.Width();
  captureHeight_ = output.Height();
  if (!parts_.pictures->CreateCaptureResources(captureWidth_, captureHeight_)) return false;

  video_ = settings::ReadVideoQualitySettings(store);
  audioQuality_ = settings::ReadAudioQualitySettings(store);
  durationSeconds_ = settings::ReadClipDurationSeconds(store);
  saveRoot_ = EffectiveSaveRoot(settings::ReadSaveRoot(store));
  RemoveStaleClipParts(saveRoot_);
  shortcuts_ = settings::ReadShortcuts(store);
  exclusions_ = settings::ReadExclusionLists(store);
  parts_.detector->SetVideoExclusions(exclusions_.video);
  // An output larger than the monitor would only upscale: record at the native size instead.
  const OutputSize configured =
      ClampConfiguredOutputSize(video_.width, video_.height, captureWidth_, captureHeight_);
  video_.width = configured.width;
  video_.height = configured.height;
  if (parts_.softwareEncodingOnly && video_.width < 1 && video_.height < 1) {
    const VideoSize start = SoftwareStartSize(captureWidth_, captureHeight_);
    if (start.width != captureWidth_ || start.height != captureHeight_) {
      video_.width = start.width;
      video_.height = start.height;
      log::Line("[VIDEO] Sin codificador por hardware: se graba a " + std::to_string(start.width) +
                "x" + std::to_string(start.height) + " en lugar de " +
                std::to_string(captureWidth_) + "x" + std::to_string(captureHeight_) +
                " (tamano configurable en los ajustes de video).");
    }
  }

  IWindowSystem& windows = *parts_.windows;
  pacer_.Configure(CurrentFrameRate(video_, windows, windows.ForegroundWindow()),
                   IsVariableFrameRate(video_));
  const OutputSize size =
      EffectiveOutputSize(video_.width, video_.height, captureWidth_, captureHeight_);
  outputWidth_ = size.width;
  outputHeight_ = size.height;
  if (!parts_.pictures->CreateOutputResources(outputWidth_, outputHeight_)) {
    log::Error("no se pudieron crear los recursos de salida de video.");
    return false;
  }

  videoHistory_.SetCapacity(durationSeconds_ + kVideoSlackSeconds);
  if (!StartWorker()) return false;

  if (parts_.audio != nullptr) parts_.audio->Open(store, audioQuality_, parts_.capabilities);
  audioHistories_.SetCapacity(durationSeconds_ + kAudioSlackSeconds);
  LogRecordingLine();
  if (parts_.overlay != nullptr) parts_.overlay->SetLabel(ComboCompactText(shortcuts_.saveClip));
  if (parts_.onRecording) parts_.onRecording(shortcuts_);
  if (parts_.tray != nullptr) StartTray(*parts_.tray);

  if (parts_.audio != nullptr) {
    parts_.audio->RefreshSources();
    log::Line("[AUDIO-MIX] fuentes por proceso=" +
              std::to_string(parts_.audio->PerProcessSources()) +
              ", capturando=" + (parts_.audio->PerProcessCapturing() ? "si" : "no"));
  }
  lastMixerRefreshNs_ = NowNs();
  started_ = true;
  return true;
}

bool Recorder::StartWorker() {
  VideoEncoderWorker& worker = *parts_.worker;
  // Without a fixed rate the encoder still needs one for its keyframe period: the pacing's 60.
  const int encoderRate = pacer_.FrameRate() < 1 ? kFallbackFrameRate : pacer_.FrameRate();
  auto start = [&] {
    return worker.Start(outputWidth_, outputHeight_, encoderRate, video_.bitrateKbps,
                        &videoHistory_, kWorkerPoolSize, video_.codec);
  };
  if (start()) return true;
  if (video_.codec != VideoCodec::H264) {
    log::Line(std::string("[VIDEO] El codec guardado ") + VideoCodecDisplayName(video_.codec) +
              " no pudo inicializar " + worker.EncoderMechanism() +
              "; se intentara H.264 como respaldo.");
    worker.Stop();
    video_.codec = VideoCodec::H264;
    // Only the codec changes in the file; a size reset above stays a run-time decision.
    settings::VideoQualitySettings stored = settings::ReadVideoQualitySettings(*parts_.store);
    stored.codec = VideoCodec::H264;
    settings::WriteVideoQualitySettings(stored, *parts_.store);
    if (start()) {
      log::Line("[VIDEO] Fallback automatico a H.264 aplicado y guardado.");
      return true;
    }
  }
  log::Error("no se pudo inicializar el worker " + worker.EncoderMechanism() + " V19");
  return false;
}

void Recorder::LogRecordingLine() const {
  RecordingLineInputs in;
  in.durationSeconds = durationSeconds_;
  if (parts_.audio != nullptr) in.audio = parts_.audio->Summary();
  in.quality = audioQuality_;
  in.saveShortcut = ComboDisplayText(shortcuts_.saveClip);
  in.menuShortcut = ComboDisplayText(shortcuts_.openMenu);
  log::Line(RecordingLine(in));
}

void Recorder::Run() {
  for (;;) {
    try {
      if (!RunPass()) break;
    } catch (const std::exception& e) {
      OnPassException(e.what());
    } catch (...) {
      OnPassException("excepcion desconocida");
    }
  }
}

void Recorder::OnPassException(const std::string& what) {
  // A save thread that did start owns the flags until it ends; one that did not start cleared
  // them in RequestSave. Only a fault before any thread exists leaves them set.
  if (saveThreads_.empty()) {
    flags_.saving = false;
    flags_.exporting = false;
    flags_.exportProgress = 0;
  }
  log::Line("[CLIPS] ERROR: una pasada del bucle principal fallo: " + what);
  // The pass ended before its pacing; a fault that repeats must not spin the processor.
  parts_.sleeper->SleepFor(kIdleSleepNs);
}

bool Recorder::RunPass() {
  if (parts_.refreshKeys) parts_.refreshKeys();

  PumpResult pumped;
  if (parts_.events != nullptr) pumped = parts_.events->Pump();
  if (pumped.quit) return false;

  ServeOverlay();
  bool keepRunning = true;
  ServeTray(pumped.wake, keepRunning);
  if (!keepRunning) return false;
  ReapSaveThreads();

  const int64_t now = NowNs();
  if (parts_.audio != nullptr && now - lastMixerRefreshNs_ >= kMixerRefreshNs) {
    parts_.audio->RefreshSources();
    lastMixerRefreshNs_ = now;
  }

  ServeShortcuts(pumped.escapeSeen, keepRunning);
  if (!keepRunning) return false;

  TrackTarget();
  if (session_.active) UpdateFocus();
  if (session_.active && !CaptureAndSubmit()) return false;
  if (session_.active && parts_.audio != nullptr) parts_.audio->Pump(audioHistories_);
  ServeSave();
  Pace();
  return true;
}

void Recorder::ServeOverlay() {
  Overlay* overlay = parts_.overlay;
  const WindowId target = session_.target.window;
  if (overlay != nullptr && session_.active && target != 0) overlay->Track(target);
  const bool savedNotice = flags_.clipSavedNotices.exchange(0) != 0;
  const bool copyNotice = flags_.copyReadyNotices.exchange(0) != 0;
  if (overlay == nullptr) {
    exportShown_ = flags_.exporting;
    return;
  }
  if (savedNotice && target != 0) overlay->ShowSaved(target);
  if (copyNotice && target != 0) overlay->ShowMessage(target, "Discord Clip + 20 MB listo");
  if (flags_.exporting) {
    if (!exportShown_) {
      overlay->ShowProgress(target, "Procesando version para Discord", flags_.exportProgress);
    } else {
      overlay->SetProgress(target, flags_.exportProgress);
    }
    exportShown_ = true;
  } else if (exportShown_) {
    exportShown_ = false;
    overlay->Hide();
  }
}

void Recorder::ServeTray(bool wake, bool& keepRunning) {
  if (wake) {
    LogWakeRequest();
    OpenSettings();
  }
  if (parts_.tray == nullptr) return;
  parts_.tray->Pump();
  const TrayRequests asked = parts_.tray->TakeRequests();
  if (asked.openSettings) OpenSettings();
  if (asked.quit) keepRunning = false;
}

// The tray and a second start both ask for the settings; without menus the badge shows that
// Halvex is recording.
void Recorder::OpenSettings() {
  if (menus_.AnyOpen() || menus_.OpenMain()) return;
  if (parts_.overlay != nullptr && session_.active && session_.target.window != 0) {
    parts_.overlay->ShowOn(session_.target.window);
  }
}

// Only one save runs at a time, and it clears `saving` as its last act: once it is clear every
// thread started so far has finished, and joining it costs nothing.
void Recorder::ReapSaveThreads() {
  if (saveThreads_.empty() || flags_.saving) return;
  for (std::thread& t : saveThreads_) {
    if (t.joinable()) t.join();
  }
  saveThreads_.clear();
}

bool Recorder::BridgeActive() const {
  return parts_.capabilities.shortcutsThroughBridge && parts_.bridge != nullptr &&
         parts_.bridge->Active();
}

void Recorder::ServeShortcuts(bool escapeSeen, bool& keepRunning) {
  const KeyState& keys = *parts_.keys;
  if (escapeEdge_.Poll(keys.IsDown(kVkEscape)) && !escapeSeen) menus_.RelayEscape();

  if (uiCaptureEdge_.Poll(kCaptureMenusCombo, keys) && menus_.AnyOpen()) {
    if (auto path = menus_.Capture()) {
      log::Line("[UI-CAPTURE] Captura guardada en: " + text::PathToUtf8(*path));
    } else {
      log::Line("[UI-CAPTURE] No se pudo capturar la interfaz holografica.");
    }
  }

  const bool menuPressed = BridgeActive() ? parts_.bridge->TakeMenuPress()
                                          : menuEdge_.Poll(shortcuts_.openMenu, keys);
  if (menuPressed && !menus_.AnyOpen()) menus_.OpenMain();
  keepRunning = menus_.Serve();
}

void Recorder::ServeSave() {
  const bool pressed = BridgeActive() ? parts_.bridge->TakeSavePress()
                                      : saveEdge_.Poll(shortcuts_.saveClip, *parts_.keys);
  if (!pressed || menus_.RecordingShortcut()) return;
  AudioState audio;
  if (parts_.audio != nullptr) audio = parts_.audio->State();
  audio.gameOnlyTrack = parts_.capabilities.gameOnlyTrack;
  audio.editorChannels = audioQuality_.editorTracks;
  RequestSave(*this, audio, CurrentSaveSettings(), flags_, saveThreads_);
}

SaveSettings Recorder::CurrentSaveSettings() const {
  SaveSettings s;
  s.shortcutText = ComboDisplayText(shortcuts_.saveClip);
  s.durationSeconds = durationSeconds_;
  s.container = video_.container;
  s.width = video_.width;
  s.height = video_.height;
  s.captureWidth = captureWidth_;
  s.captureHeight = captureHeight_;
  s.vsync = video_.vsync;
  s.fixedFrameRate = video_.fps != 0;
  s.currentFrameRate = pacer_.FrameRate();
  s.codec = video_.codec;
  s.makeDiscordCopy = video_.discordClip;
  s.discordHevc = video_.discordCodec == VideoCodec::Hevc;
  s.saveRoot = saveRoot_;
  return s;
}

void Recorder::Pace() {
  if (!session_.active) {
    parts_.sleeper->SleepFor(kIdleSleepNs);
    return;
  }
  const int64_t deadline = pacer_.EndOfPass(NowNs(), session_.focused);
  if (deadline != 0) parts_.sleeper->SleepUntil(deadline);
}

bool Recorder::WaitForBacklog(uint32_t milliseconds) {
  return parts_.worker->WaitForBacklog(milliseconds);
}

const PacketHistory& Recorder::AudioHistory(AudioSource source) const {
  return audioHistories_.Of(source);
}

AudioStreamParams Recorder::StreamParams(AudioSource source) const {
  return parts_.audio != nullptr ? parts_.audio->StreamParams(source) : AudioStreamParams{};
}

void Recorder::ShowOverlayMessage(const std::string& text) {
  if (parts_.overlay != nullptr && session_.target.window != 0) {
    parts_.overlay->ShowMessage(session_.target.window, text);
  }
}

void Recorder::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  menus_.Close();
  if (parts_.tray != nullptr) parts_.tray->Remove();
  for (std::thread& t : saveThreads_) {
    if (t.joinable()) t.join();
  }
  saveThreads_.clear();
  if (parts_.overlay != nullptr) parts_.overlay->Hide();
  parts_.worker->Stop();
  if (!started_) return;

  AudioCounters audio;
  if (parts_.audio != nullptr) {
    parts_.audio->Flush(audioHistories_);
    audio = parts_.audio->Counters();
  }
  log::Line("");
  log::Line("=== Resultados ===");
  parts_.worker->LogCounters();
  log::Line("Paquetes de audio (juego) codificados: " + std::to_string(audio.desktop));
  log::Line("Paquetes de audio (microfono) codificados: " + std::to_string(audio.microphone));
  log::Line("Paquetes de audio (mezcla) codificados: " + std::to_string(audio.mix));
  log::Line("Clips guardados: " + std::to_string(flags_.clipsSaved.load()));

  if (parts_.windowSource != nullptr) parts_.windowSource->Stop();
  parts_.screen->Close();
}

}  // namespace halvex

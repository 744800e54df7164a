// Halvex on Linux: X11 capture, libavcodec encoding, the shared capture loop. Runs until SIGINT or
// SIGTERM, which end the loop the way the quit message does on Windows.
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include "app/program_arguments.h"
#include "app/recorder.h"
#include "app/recorder_run.h"
#include "app/save_path.h"
#include "app/single_instance.h"
#include "app/sleeper.h"
#include "app/startup_lines.h"
#include "audio/audio_pipeline.h"
#include "audio/audio_platform.h"
#include "capture/linux/cpu_picture_ops.h"
#include "capture/linux/x11_screen_source.h"
#include "capture/linux/x11_window_source.h"
#include "capture/linux/x_display.h"
#include "core/log.h"
#include "core/platform_capabilities.h"
#include "core/text.h"
#include "encode/linux/cpu_slot_backend.h"
#include "encode/linux/ffmpeg_encoder.h"
#include "encode/video_encoder_worker.h"
#include "input/linux/x11_key_state.h"
#include "input/key_names.h"
#include "input/linux/x11_window_system.h"
#include "input/target_detector.h"
#include "ui/linux/sni_tray.h"
#include "ui/linux/x11_overlay_window.h"
#include "ui/overlay.h"
#include "settings/profile_store.h"
#include "settings/settings.h"
#include "settings/settings_path.h"

namespace halvex {
namespace {

volatile std::sig_atomic_t g_quit = 0;

void OnQuitSignal(int) { g_quit = 1; }

// PulseAudio gives every program's stream a monitor of its own, so the per-process tracks exist;
// shortcuts are polled and the capture source does not switch with the focus.
PlatformCapabilities LinuxCapabilities() {
  PlatformCapabilities caps;
  caps.perProcessAudio = true;
  caps.gameOnlyTrack = true;
  caps.shortcutsThroughBridge = false;
  caps.duplicateWhileFocused = false;
  caps.privateWindowGuard = false;
  return caps;
}

void InstallQuitHandlers() {
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

enum class VideoEncoders { Missing, SoftwareOnly, Hardware };

// Whether libavcodec can open some video encoder at all, and whether the first it opens (hardware
// is tried first) is a hardware one.
VideoEncoders ProbeVideoEncoders() {
  // The probe's own lines (ours and libavcodec's) would only confuse the start-up log.
  log::Capture quiet;
  const int level = av_log_get_level();
  av_log_set_level(AV_LOG_QUIET);
  struct RestoreLevel {
    int level;
    ~RestoreLevel() { av_log_set_level(level); }
  } restore{level};
  for (VideoCodec codec : {VideoCodec::H264, VideoCodec::Hevc, VideoCodec::Av1}) {
    FfmpegEncoder probe;
    const bool opened = probe.Initialize(320, 180, 30, 1000, codec);
    const bool software = probe.AdaptsToLoad();
    probe.Shutdown();
    if (opened) return software ? VideoEncoders::SoftwareOnly : VideoEncoders::Hardware;
  }
  return VideoEncoders::Missing;
}

std::string DisplayText() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && display[0] != '\0' ? display : "(sin DISPLAY)";
}

// Signals end the loop; another start of the program wakes this one through the instance socket;
// the overlay's window reads its own X events (repaints, its hide timer).
class LinuxEventPump final : public IEventPump {
 public:
  LinuxEventPump(SingleInstance* instance, X11OverlayWindow* overlay)
      : instance_(instance), overlay_(overlay) {}

  PumpResult Pump() override {
    PumpResult r;
    if (overlay_ != nullptr) overlay_->Pump();
    r.wake = instance_ != nullptr && instance_->PollWake();
    r.quit = g_quit != 0;
    return r;
  }

 private:
  SingleInstance* instance_;
  X11OverlayWindow* overlay_;
};

int Run() {
  // Before any display connection or encoder: a second start only wakes the first.
  SingleInstance::Claim claim = SingleInstance::Acquire();
  if (claim.result == SingleInstance::Result::HandedOver) return 0;

  log::InitConsole();
  InstallQuitHandlers();
  if (claim.result == SingleInstance::Result::Failed) {
    log::Warning("no se pudo asegurar una sola instancia (" + claim.error + "); se continua.");
  }
  log::Line(kBannerLine);

  const VideoEncoders encoders = ProbeVideoEncoders();
  if (encoders == VideoEncoders::Missing) {
    log::Error("no hay ningun codificador de video utilizable (FFmpeg: ni hardware ni software).");
    return 1;
  }

  X11ScreenSource screen;
  if (!screen.Open()) {
    if (screen.LastError() == static_cast<uint32_t>(x11::kErrorNoDisplay)) {
      log::Error("no se pudo abrir la pantalla X11 " + DisplayText() + ".");
    } else {
      log::Error("no se pudo preparar la captura de pantalla X11 (error=0x" +
                 text::UpperHex(screen.LastError()) + "); hacen falta MIT-SHM y DAMAGE.");
    }
    return 1;
  }
  LogCaptureOutput(screen.Output());

  X11WindowSource windowSource;
  const bool windowCapture = InitializeWindowCapture(&windowSource, screen.MechanismName());

  std::unique_ptr<X11WindowSystem> windows = X11WindowSystem::Open();
  std::unique_ptr<X11KeyState> keys = X11KeyState::Open();
  if (!windows || !keys) {
    log::Error("no se pudo abrir la pantalla X11 " + DisplayText() + ".");
    return 1;
  }
  TargetDetector detector(*windows);
  CpuPictureOps pictures;
  VideoEncoderWorker worker(std::make_unique<FfmpegEncoder>(),
                            std::make_unique<CpuSlotBackend>());
  ThreadSleeper sleeper;
  // The badge over the game and the tray icon; without them the program still records.
  X11OverlayWindow overlayWindow;
  std::optional<Overlay> overlay;
  if (overlayWindow.Create()) {
    overlay.emplace(overlayWindow, *windows);
  } else {
    log::Warning("no se pudo inicializar el indicador visual.");
  }
  SniTray tray;
  LinuxEventPump events(claim.instance.get(), overlay ? &overlayWindow : nullptr);

  // PulseAudio: the output's monitor, the input, and one monitor stream per program.
  std::unique_ptr<IAudioSessions> audioSessions = MakeAudioSessions();
  AudioPipeline audio(
      PlatformAudioParts(audioSessions.get(), static_cast<AudioProcessId>(getpid())));

  RecorderParts parts;
  parts.windows = windows.get();
  parts.detector = &detector;
  parts.screen = &screen;
  parts.windowSource = windowCapture ? &windowSource : nullptr;
  parts.pictures = &pictures;
  parts.keys = keys.get();
  parts.refreshKeys = [&keys] { keys->Refresh(); };
  parts.worker = &worker;
  parts.sleeper = &sleeper;
  parts.store = &settings::UserSettings();
  parts.events = &events;
  parts.overlay = overlay ? &*overlay : nullptr;
  parts.tray = &tray;
  parts.audio = &audio;
  parts.capabilities = LinuxCapabilities();
  parts.softwareEncodingOnly = encoders == VideoEncoders::SoftwareOnly;

  return RunRecorder(std::move(parts));
}

// --help and --version answer on the terminal and end; nothing is started.
int Answer(const ProgramArguments& arguments) {
  if (arguments.request == ProgramRequest::Version) {
    std::printf("%s\n", VersionText().c_str());
    return 0;
  }
  if (arguments.request == ProgramRequest::Unknown) {
    std::fprintf(stderr, "Halvex: opcion desconocida: %s\nPrueba \"Halvex --help\".\n",
                 arguments.unknown.c_str());
    return 2;
  }
  const settings::ProfileStore& store = settings::UserSettings();
  const settings::ShortcutPair shortcuts = settings::ReadShortcuts(store);
  HelpFacts facts;
  facts.settingsFile = settings::SettingsPath().string();
  facts.clipsFolder = EffectiveSaveRoot(settings::ReadSaveRoot(store)).string();
  facts.durationSeconds = settings::ReadClipDurationSeconds(store);
  facts.saveShortcut = ComboDisplayText(shortcuts.saveClip);
  facts.menuShortcut = ComboDisplayText(shortcuts.openMenu);
  facts.menuNote = "en Linux aun no hay menus: los ajustes se cambian en el archivo de abajo";
  std::fputs(HelpText(facts).c_str(), stdout);
  return 0;
}

}  // namespace
}  // namespace halvex

int main(int argc, char** argv) {
  const halvex::ProgramArguments arguments =
      halvex::ParseProgramArguments(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (arguments.request != halvex::ProgramRequest::Run) return halvex::Answer(arguments);
  return halvex::Run();
}

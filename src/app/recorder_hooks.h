#pragma once
// What the capture loop asks of the parts that are not capture: the user interface (overlay,
// menus, tray), the audio pipeline, the Windows 10 keyboard bridge and private-window exclusion.
// Each has a "nothing there" form, so the loop runs with whatever a platform offers so far.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "app/save_request.h"
#include "audio/audio_encoder_stream.h"
#include "core/packet_history.h"
#include "input/window_system.h"
#include "settings/audio_settings.h"
#include "settings/profile_store.h"

namespace halvex {

// The overlay, the settings menus and the tray icon. The defaults are what a program without any
// of them does: no messages, no menus, nothing shown.
class IRecorderUi {
 public:
  virtual ~IRecorderUi() = default;

  // Drains the platform's message queue. Returns false when the program was asked to quit; sets
  // `escapeSeen` when an Escape key-down went through the queue.
  virtual bool PumpMessages(bool& escapeSeen) { return true; }

  // Overlay. `Exists` tells whether the overlay window could be made at all.
  virtual bool OverlayExists() const { return false; }
  virtual void UpdateOverlay() {}
  virtual void ShowClipSaved() {}
  virtual void ShowMessage(const std::string& text) {}
  virtual void ShowExportProgress(int percent) {}
  virtual void HideExportProgress() {}
  virtual void ShowSession(const std::string& displayName) {}
  virtual void HideSession() {}

  // Menus.
  virtual bool AnyMenuOpen() const { return false; }
  // The shortcut editor is waiting for keys: shortcuts must not act meanwhile.
  virtual bool RecordingShortcut() const { return false; }
  // Sends Escape to the first open menu in priority order.
  virtual void RelayEscape() {}
  // Writes a picture of the visible menus; the file written, or nullopt on failure.
  virtual std::optional<std::filesystem::path> CaptureMenus() { return std::nullopt; }
  virtual void OpenMainMenu() {}
  // Serves the menus' results. Returns false when the loop must end (hand-over to the updater).
  virtual bool ServeMenus() { return true; }

  // Tray: another start of the program asked this one to show itself.
  virtual void OnWake() {}

  // Shutdown, in this order: the update check, menus and tray; later the overlay.
  virtual void CloseMenusAndTray() {}
  virtual void CloseOverlay() {}
};

// The five audio histories, owned by the recorder and filled by the audio pipeline.
struct AudioHistories {
  explicit AudioHistories(double capacitySeconds)
      : desktop(capacitySeconds),
        microphone(capacitySeconds),
        game(capacitySeconds),
        mix(capacitySeconds),
        appMix(capacitySeconds) {}

  PacketHistory& Of(AudioSource source);
  const PacketHistory& Of(AudioSource source) const;
  void SetCapacity(double seconds);

  PacketHistory desktop;
  PacketHistory microphone;
  PacketHistory game;
  PacketHistory mix;
  PacketHistory appMix;
};

// Packets encoded since start, for the closing summary.
struct AudioCounters {
  uint64_t desktop = 0;
  uint64_t microphone = 0;
  uint64_t mix = 0;
};

// What is open after start-up, for the "Grabando en buffer circular" line.
struct AudioSummary {
  bool desktop = false;
  bool microphone = false;
  bool mix = false;
};

// Loopback, microphone and per-application captures, their encoders and the mixer, driven by the
// capture loop.
class IAudioPipeline {
 public:
  virtual ~IAudioPipeline() = default;
  // Start-up: open the captures on the saved devices and their encoders; every failure only
  // removes a track (and is logged).
  virtual void Open(const settings::ProfileStore& store,
                    const settings::AudioQualitySettings& quality, bool windows10Mode) = 0;
  virtual AudioSummary Summary() const = 0;
  virtual int PerProcessSources() const = 0;
  virtual bool PerProcessCapturing() const = 0;

  // Session start: apply pending settings, follow the game's process (minus the excluded
  // programs), start loopback and microphone (with their retries), reset encoders and timelines
  // with `startNs` as the origin. Session end: undo all of it.
  virtual void StartSession(ProcessId process, const std::string& processName,
                            int64_t startNs) = 0;
  virtual void EndSession() = 0;

  // One pass: read, mix, encode and append to the histories.
  virtual void Pump(AudioHistories& histories) = 0;
  // Looks for new or vanished per-application sources.
  virtual void RefreshSources() = 0;
  // Shutdown: close the captures and flush every encoder into the histories.
  virtual void Flush(AudioHistories& histories) = 0;

  // What a save request needs.
  virtual AudioState State() const = 0;
  virtual AudioStreamParams StreamParams(AudioSource source) const = 0;
  virtual AudioCounters Counters() const = 0;
};

// The Windows 10 keyboard bridge: shortcut presses latched by a hook thread.
class IShortcutBridge {
 public:
  virtual ~IShortcutBridge() = default;
  virtual bool Active() const = 0;
  // Each press is taken once.
  virtual bool TakeSavePress() = 0;
  virtual bool TakeMenuPress() = 0;
};

// Windows 10 mode: keeps private windows and the composition attribute right for duplication.
class IPrivateWindowGuard {
 public:
  virtual ~IPrivateWindowGuard() = default;
  // The game has focus: exclude private windows over it from duplication.
  virtual void ExcludePrivateWindows(WindowId game) = 0;
  // Focus lost or session over: undo every exclusion.
  virtual void RestorePrivateWindows() = 0;
};

}  // namespace halvex

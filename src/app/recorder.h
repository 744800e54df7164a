#pragma once
// The recorder's main loop: follows the game in front, captures and submits one picture per pass,
// paces the frame rate, pumps audio and serves the save shortcut. Everything that touches the
// operating system comes in through the parts below, so the same loop runs on every platform and
// under test.
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/capture_session.h"
#include "app/frame_pacing.h"
#include "app/event_pump.h"
#include "app/menu_port.h"
#include "app/private_windows.h"
#include "app/shortcut_bridge.h"
#include "app/save_job.h"
#include "app/save_request.h"
#include "app/sleeper.h"
#include "audio/audio_pipeline_seam.h"
#include "capture/capture_sources.h"
#include "core/platform_capabilities.h"
#include "encode/video_encoder_worker.h"
#include "input/key_state.h"
#include "input/target_detector.h"
#include "input/window_system.h"
#include "settings/settings.h"
#include "ui/overlay.h"
#include "ui/tray.h"

namespace halvex {

// Not owned; everything marked required must be set and outlive the recorder.
struct RecorderParts {
  IWindowSystem* windows = nullptr;    // required
  TargetDetector* detector = nullptr;  // required
  IScreenSource* screen = nullptr;     // required, already opened
  IWindowSource* windowSource = nullptr;  // only when window capture is available
  IPictureOps* pictures = nullptr;     // required, capture resources not yet made
  const KeyState* keys = nullptr;      // required
  std::function<void()> refreshKeys;   // reads the keyboard once per pass, where that is needed
  VideoEncoderWorker* worker = nullptr;  // required, not started
  Sleeper* sleeper = nullptr;            // required
  const settings::ProfileStore* store = nullptr;  // required
  IEventPump* events = nullptr;          // none: the loop runs until something else ends it
  IMenus* menus = nullptr;               // none: no settings menus
  Overlay* overlay = nullptr;            // none: no badge over the game
  ITray* tray = nullptr;                 // none: no notification-area icon
  IAudioPipeline* audio = nullptr;       // none: clips without sound
  IShortcutBridge* bridge = nullptr;     // asked only where shortcuts come through the bridge
  IPrivateWindowGuard* privateWindows = nullptr;  // asked only where it guards duplication
  PlatformCapabilities capabilities;     // what the platform can do
  // Only a software encoder can be opened: a source larger than 1280x720 with no configured size
  // is recorded at 1280x720 (kept shape), which the CPU sustains beside the game.
  bool softwareEncodingOnly = false;
  // Runs once in Start, after the "Grabando en buffer circular" line and before the tray and the
  // mixer's first refresh: the capture resources exist by then, and the platform installs its
  // keyboard bridge and creates its windows with the shortcuts in force.
  std::function<void(const settings::ShortcutPair&)> onRecording;
};

class Recorder final : public ISaveContext {
 public:
  explicit Recorder(RecorderParts parts);
  ~Recorder() override;
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Start-up from the capture resources to the mixer's first refresh. False when the program
  // must end; the line is logged.
  bool Start();
  // One pass of the loop. False when the loop ends: quit, hand-over to the updater, or a capture
  // error.
  bool RunPass();
  // Passes until one ends the loop. An exception ends only its own pass.
  void Run();
  // Joins the saves, stops the worker, flushes audio and prints the results. Runs once.
  void Shutdown();

  // ISaveContext.
  bool SessionActive() const override { return session_.active; }
  std::string GameDisplayName() const override { return session_.target.displayName; }
  bool WaitForBacklog(uint32_t milliseconds) override;
  const PacketHistory& VideoHistory() const override { return videoHistory_; }
  const PacketHistory& AudioHistory(AudioSource source) const override;
  AudioStreamParams StreamParams(AudioSource source) const override;
  void ShowOverlayMessage(const std::string& text) override;

  const CaptureSession& Session() const { return session_; }
  uint64_t SessionCounter() const { return sessionCounter_; }
  int OutputWidth() const { return outputWidth_; }
  int OutputHeight() const { return outputHeight_; }
  int CurrentRate() const { return pacer_.FrameRate(); }
  const settings::VideoQualitySettings& Video() const { return video_; }
  const SaveFlags& Flags() const { return flags_; }
  PacketHistory& VideoPackets() { return videoHistory_; }
  AudioHistories& AudioPackets() { return audioHistories_; }

 private:
  bool StartWorker();
  void LogRecordingLine() const;

  void ServeOverlay();
  void ServeTray(bool wake, bool& keepRunning);
  void ShowSessionBadge();
  void HideSessionBadge();
  void OpenSettings();
  void ReapSaveThreads();
  void ServeShortcuts(bool escapeSeen, bool& keepRunning);
  void TrackTarget();
  void StartSession(const TargetInfo& target);
  void EndSession(SessionEnd reason);
  void UpdateFocus();
  bool CaptureAndSubmit();
  Picture CropWindowed(const Picture& capture);
  void Submit(const Picture& picture, int64_t stampNs);
  void ServeSave();
  void Pace();
  void OnPassException(const std::string& what);
  bool BridgeActive() const;
  bool WindowCaptureRunning() const;
  SaveSettings CurrentSaveSettings() const;

  RecorderParts parts_;
  IMenus noMenus_;
  IMenus& menus_;

  // Settings in force.
  settings::VideoQualitySettings video_;
  settings::AudioQualitySettings audioQuality_;
  int32_t durationSeconds_ = 30;
  std::filesystem::path saveRoot_;  // as in force: the default folder when none is set
  settings::ShortcutPair shortcuts_;
  settings::ExclusionLists exclusions_;
  int captureWidth_ = 0;
  int captureHeight_ = 0;
  int outputWidth_ = 0;
  int outputHeight_ = 0;

  PacketHistory videoHistory_;
  AudioHistories audioHistories_;
  SaveFlags flags_;
  std::vector<std::thread> saveThreads_;

  CaptureSession session_;
  FocusCache focus_;
  uint64_t sessionCounter_ = 0;
  FramePacer pacer_;
  Picture latched_;
  bool screenOpen_ = true;

  ComboEdge escapeEdge_;
  ComboEdge uiCaptureEdge_;
  ComboEdge menuEdge_;
  ComboEdge saveEdge_;
  int64_t lastMixerRefreshNs_ = 0;
  bool exportShown_ = false;

  bool started_ = false;
  bool shutDown_ = false;
};

}  // namespace halvex

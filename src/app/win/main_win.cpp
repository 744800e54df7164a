// Halvex on Windows: Desktop Duplication and window capture on the Direct3D 11 device, Direct2D
// scaling, NVENC, and the shared capture loop on the main thread until WM_QUIT.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "app/recorder_run.h"
#include "app/single_instance.h"
#include "app/sleeper.h"
#include "app/startup_lines.h"
#include "app/win/bridge_shortcuts.h"
#include "app/win/private_window_guard.h"
#include "app/win/windows_recorder_ui.h"
#include "capture/win/d2d_picture_ops.h"
#include "capture/win/d3d_devices.h"
#include "capture/win/dxgi_screen_source.h"
#include "capture/win/window_graphics_capture.h"
#include "audio/audio_pipeline.h"
#include "audio/audio_platform.h"
#include "core/log.h"
#include "core/platform_capabilities.h"
#include "core/win/os_build.h"
#include "encode/win/nvenc_encoder.h"
#include "encode/win/windows_video_worker.h"
#include "core/win/com_apartment.h"
#include "core/win/hresult_text.h"
#include "input/target_detector.h"
#include "ui/overlay.h"
#include "ui/win/win32_overlay_window.h"
#include "input/win/async_key_state.h"
#include "input/win/keyboard_bridge.h"
#include "input/win/win32_window_system.h"
#include "settings/profile_store.h"

namespace halvex {
namespace {

// Bound by name: systems before Windows 10 1703 lack the function (and the manifest already asks
// for the same awareness where it is honoured, so a refusal here changes nothing).
void SetPerMonitorDpiAwareness() {
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  const auto setContext = user32 ? reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
                                       GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                                 : nullptr;
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
  if (setContext) setContext(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4)));
}

int Run() {
  // Before anything else: a second start only wakes the first and ends without any device.
  // (The mutex never fails the claim: a start that cannot make it runs without it.)
  SingleInstance::Claim claim = SingleInstance::Acquire();
  if (claim.result == SingleInstance::Result::HandedOver) return 0;

  SetPerMonitorDpiAwareness();
  log::InitConsole();
  ComApartment com;  // the thread's multithreaded apartment, left last
  if (FAILED(com.Result())) {
    log::Error("no se pudo inicializar WinRT (hr=0x" + HrHex(com.Result()) + ")");
    return 1;
  }
  log::Line(kBannerLine);

  if (!NvencEncoder::IsAvailable()) {
    log::Error("NVENC no esta disponible en este equipo (¿no es GPU NVIDIA o falta el driver?).");
    return 1;
  }

  // Locals from here on are declared in creation order, so every return releases them in reverse.
  D3dDevices devices;
  if (!CreateD3dDevices(devices)) return 1;

  WindowGraphicsCapture windowCapture(devices.device.Get(), devices.context.Get(),
                                      devices.dxgiDevice.Get());
  const bool windowCaptureAvailable = InitializeWindowCapture(&windowCapture);

  DxgiScreenSource screen(devices.device.Get(), devices.context.Get(), devices.output.Get(),
                          devices.outputInfo);
  if (!screen.Open()) return 1;  // the source logged the DuplicateOutput line

  Win32WindowSystem windows;
  TargetDetector detector(windows);  // knows our own process id: never a target
  D2dPictureOps pictures(devices.device.Get(), devices.context.Get(), devices.d2dContext.Get());
  const uint32_t osBuild = OsBuildNumber();
  const PlatformCapabilities capabilities = WindowsCapabilities(osBuild);
  std::unique_ptr<VideoEncoderWorker> worker = MakeWindowsVideoWorker(devices.device.Get());
  AsyncKeyState keys;
  ThreadSleeper sleeper;
  WindowsRecorderUi ui;
  // The badge over the game; without it the program still records.
  Win32OverlayWindow overlayWindow;
  std::optional<Overlay> overlay;
  if (overlayWindow.Create()) {
    overlay.emplace(overlayWindow, windows);
  } else {
    log::Warning("no se pudo inicializar el indicador visual.");
  }
  KeyboardBridge bridge;
  BridgeShortcuts bridgeShortcuts(bridge);
  PrivateWindowGuard privateWindows(windows, detector);

  // WASAPI: the output's loopback, the microphone, and one process loopback per program.
  std::unique_ptr<IAudioSessions> audioSessions = MakeAudioSessions();
  AudioPipeline audio(PlatformAudioParts(audioSessions.get(),
                                         static_cast<AudioProcessId>(GetCurrentProcessId())));

  RecorderParts parts;
  parts.windows = &windows;
  parts.detector = &detector;
  parts.screen = &screen;
  parts.windowSource = windowCaptureAvailable ? &windowCapture : nullptr;
  parts.pictures = &pictures;
  parts.keys = &keys;
  parts.worker = worker.get();
  parts.sleeper = &sleeper;
  parts.store = &settings::UserSettings();
  parts.events = &ui;
  parts.tray = &ui.Tray();
  parts.overlay = overlay ? &*overlay : nullptr;
  parts.audio = &audio;
  parts.capabilities = capabilities;
  if (capabilities.shortcutsThroughBridge) parts.bridge = &bridgeShortcuts;
  if (capabilities.privateWindowGuard) parts.privateWindows = &privateWindows;
  parts.onRecording = [&](const settings::ShortcutPair& shortcuts) {
    // Duplication copies into the capture texture, which exists only from here on.
    screen.SetCapturePicture(pictures.CapturePicture());
    if (capabilities.shortcutsThroughBridge) InstallKeyboardBridge(bridge, shortcuts, osBuild);
  };

  const int code = RunRecorder(std::move(parts));
  bridge.Stop();
  // Window capture is stopped by now; the mutex goes before the devices.
  claim.instance.reset();
  return code;
}

}  // namespace
}  // namespace halvex

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return halvex::Run(); }

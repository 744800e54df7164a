// Following the target game: session start and end, focus changes.
#include "app/recorder.h"
#include "core/clock.h"
#include "core/log.h"

namespace halvex {

bool Recorder::WindowCaptureRunning() const {
  return parts_.windowSource != nullptr && parts_.windowSource->IsRunning();
}

void Recorder::TrackTarget() {
  if (!session_.active) {
    const TargetInfo found = parts_.detector->DetectForeground();
    if (found.valid) StartSession(found);
    return;
  }
  const SessionEnd end = CheckTarget(session_.target, *parts_.detector, *parts_.windows);
  if (end != SessionEnd::None) EndSession(end);
}

void Recorder::StartSession(const TargetInfo& target) {
  IWindowSystem& windows = *parts_.windows;
  session_.target = target;

  if (parts_.windowSource != nullptr && !parts_.capabilities.duplicateWhileFocused) {
    const WindowId owner = windows.Owner(target.window);
    if (!parts_.windowSource->Start(owner != 0 ? owner : target.window)) {
      log::Line("[WGC] No se pudo iniciar la captura de la ventana; se usara fallback " +
                parts_.screen->MechanismShortName() + ".");
    }
  }

  session_.active = true;
  ++sessionCounter_;
  parts_.worker->ResetTimeline(sessionCounter_);
  // Where the focus picks the capture source, the session starts unfocused so that its first pass
  // reports the focus and switches the source accordingly.
  session_.focused = !parts_.capabilities.duplicateWhileFocused;
  focus_.Reset();
  session_.maximized = windows.IsMaximized(target.window);

  const int64_t now = NowNs();
  if (parts_.audio != nullptr) {
    parts_.audio->StartSession(target.processId, target.executableName, now);
  }
  audioHistories_.appMix.Clear();
  session_.startNs = now;
  pacer_.SetClock(now);

  ShowSessionBadge();
  log::Line("[CLIPS] Clips On: " + target.displayName + " (" + target.executableName + ")");
  log::Line(
      "[AUDIO] Captura activa mientras la sesion del juego este abierta; foco/minimizado no "
      "detiene audio.");
}

void Recorder::EndSession(SessionEnd reason) {
  const std::string name = session_.target.executableName;
  if (reason == SessionEnd::Excluded) {
    log::Line("[EXCLUDE] " + name +
              " fue excluido de captura: deja de ser objetivo de Clips. Audio independiente "
              "permanece disponible salvo que tambien se excluya en audio.");
  } else {
    log::Line("[CLIPS] Juego/aplicacion cerrada: " + name +
              ". Video y audio detenidos hasta abrir otro juego.");
  }

  session_ = CaptureSession{};
  focus_.Reset();
  if (parts_.audio != nullptr) parts_.audio->EndSession();
  pacer_.Clear();
  if (parts_.windowSource != nullptr) parts_.windowSource->Stop();
  if (parts_.capabilities.privateWindowGuard && parts_.privateWindows != nullptr) {
    parts_.privateWindows->RestorePrivateWindows();
  }
  latched_ = Picture{};

  ++sessionCounter_;
  parts_.worker->ResetTimeline(sessionCounter_);
  videoHistory_.Clear();
  audioHistories_.desktop.Clear();
  audioHistories_.game.Clear();
  audioHistories_.microphone.Clear();
  audioHistories_.mix.Clear();
  HideSessionBadge();
}

void Recorder::UpdateFocus() {
  IWindowSystem& windows = *parts_.windows;
  const TargetInfo& target = session_.target;
  const bool focused = focus_.TargetInFront(windows, target.window, target.processId);

  if (parts_.capabilities.privateWindowGuard && parts_.privateWindows != nullptr) {
    if (focused) {
      parts_.privateWindows->ExcludePrivateWindows(target.window);
    } else {
      parts_.privateWindows->RestorePrivateWindows();
    }
  }
  if (parts_.capabilities.duplicateWhileFocused && parts_.windowSource != nullptr) {
    if (!focused && !windows.IsMinimized(target.window) && !WindowCaptureRunning()) {
      if (parts_.windowSource->Start(target.window)) {
        log::Line(
            "[WGC-W10] Juego fuera de foco: WGC reactivada para mantener la captura en segundo "
            "plano.");
      }
    } else if (focused && WindowCaptureRunning()) {
      // Duplication takes over: window capture would draw its border over the game.
      parts_.windowSource->Stop();
    }
  }

  if (focused == session_.focused) return;
  session_.focused = focused;
  if (focused) {
    log::Line("[CLIPS] Juego en primer plano: captura normal.");
    ShowSessionBadge();
  } else if (WindowCaptureRunning()) {
    log::Line("[CLIPS] Juego fuera de foco: " + parts_.windowSource->MechanismName() +
              " continua capturando la ventana; audio continua mientras la sesion siga abierta.");
    HideSessionBadge();
  } else {
    log::Line(
        "[CLIPS] Juego fuera de foco: video protegido (frames negros / sin escritorio); audio "
        "continua mientras la sesion siga abierta.");
    HideSessionBadge();
  }
}

void Recorder::ShowSessionBadge() {
  if (parts_.overlay != nullptr && session_.target.window != 0) {
    parts_.overlay->ShowOn(session_.target.window);
  }
}

void Recorder::HideSessionBadge() {
  if (parts_.overlay != nullptr) parts_.overlay->Hide();
}

}  // namespace halvex

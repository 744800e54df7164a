#pragma once
// An overlay window that remembers what it was asked to do and paints into memory.
#include <functional>
#include <optional>

#include "ui/memory_canvas.h"
#include "ui/overlay_window.h"

namespace halvex::testing {

class FakeOverlayWindow final : public IOverlayWindow {
 public:
  std::optional<Rect> bounds;  // last Place
  bool shown = false;
  int places = 0;
  int hides = 0;
  int raises = 0;
  int repaints = 0;
  Painter painter;
  std::optional<int> timerMs;  // running hide timer
  std::function<void()> timerElapsed;

  void Place(const Rect& r) override {
    bounds = r;
    shown = true;  // placing shows the window
    ++places;
  }
  void ShowNoActivate() override { shown = true; }
  void Hide() override {
    shown = false;
    ++hides;
  }
  bool IsShown() override { return shown; }
  void RaiseTopMost() override { ++raises; }
  void Repaint(Painter paint) override {
    painter = std::move(paint);
    ++repaints;
  }
  void StartHideTimer(int ms, std::function<void()> elapsed) override {
    timerMs = ms;
    timerElapsed = std::move(elapsed);
  }
  void StopHideTimer() override {
    timerMs.reset();
    timerElapsed = nullptr;
  }

  // Fires the running hide timer, as the window's message loop would.
  void FireTimer() {
    if (timerElapsed) {
      auto elapsed = timerElapsed;
      elapsed();
    }
  }

  // What the window shows now: the last painter over a canvas of the window's size.
  MemoryCanvas Picture() const {
    MemoryCanvas canvas(bounds ? bounds->Width() : 0, bounds ? bounds->Height() : 0);
    if (painter) painter(canvas);
    return canvas;
  }
};

}  // namespace halvex::testing

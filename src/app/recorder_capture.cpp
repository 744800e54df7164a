// One picture per pass: which source, crop and scale, what is submitted and with which time stamp.
#include "app/recorder.h"
#include "capture/window_rect.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/text.h"

namespace halvex {
namespace {

constexpr int kScreenWaitMs = 16;

}  // namespace

Picture Recorder::CropWindowed(const Picture& capture) {
  const std::optional<Rect> area =
      WindowRectOnOutput(*parts_.windows, session_.target.window, parts_.screen->Output());
  if (area && NeedsCrop(*area, captureWidth_, captureHeight_)) {
    return parts_.pictures->CropToCanvas(capture, *area);
  }
  return capture;
}

bool Recorder::CaptureAndSubmit() {
  IPictureOps& ops = *parts_.pictures;
  const bool windowCapture = WindowCaptureRunning();
  bool fresh = false;

  if (windowCapture) {
    if (std::optional<Picture> frame = parts_.windowSource->AcquireLatest()) {
      // One resampling per frame: with output pictures of their own size the frame goes straight
      // to that size; otherwise the output is the capture size, which the stretch gives.
      const bool outputDiffers = outputWidth_ != captureWidth_ || outputHeight_ != captureHeight_;
      latched_ = outputDiffers ? ops.ScaleToOutput(*frame) : ops.StretchToCapture(*frame);
      fresh = true;
    }
  } else {
    IScreenSource& screen = *parts_.screen;
    // A failed re-open (for example while the session is locked) is tried again next pass.
    if (!screenOpen_) screenOpen_ = screen.Open();
    if (screenOpen_) {
      Picture capture;
      switch (screen.AcquireNext(kScreenWaitMs, session_.focused, capture)) {
        case IScreenSource::Acquire::NewPicture:
          latched_ = ops.ScaleToOutput(CropWindowed(capture));
          fresh = true;
          break;
        case IScreenSource::Acquire::Timeout:
          break;
        case IScreenSource::Acquire::AccessLost:
          screen.Close();
          screenOpen_ = screen.Open();
          break;
        case IScreenSource::Acquire::Error:
          log::Line("ERROR en AcquireNextFrame (hr=0x" + text::UpperHex(screen.LastError()) + ")");
          return false;
      }
    }
  }

  // A minimised window has no picture of its own: its last frame must not stand in for it.
  const bool minimised = windowCapture && parts_.windows->IsMinimized(session_.target.window);
  if (minimised) latched_ = Picture{};
  // Nothing of the desktop may reach the clip while the game is not in front.
  const bool showGame = session_.focused || (windowCapture && !minimised);
  if (pacer_.Variable()) {
    if (!showGame) {
      Submit(ops.BlackPicture(), NowNs());
    } else if (fresh) {
      Submit(latched_, NowNs());
    }
  } else {
    const Picture picture = showGame ? latched_ : ops.BlackPicture();
    if (!picture.empty()) Submit(picture, pacer_.FixedRateStamp(NowNs()));
  }
  return true;
}

void Recorder::Submit(const Picture& picture, int64_t stampNs) {
  if (picture.empty()) return;
  parts_.worker->SubmitFrame(picture, stampNs);
}

}  // namespace halvex

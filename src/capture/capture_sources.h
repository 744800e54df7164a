#pragma once
// The capture loop's picture sources and picture operations. The loop decides which source is
// used and what is submitted; these only produce pictures. One implementation per platform
// (Desktop Duplication / Direct2D / window graphics capture; XShm / libswscale / XComposite), and
// fakes in the tests.
#include <optional>
#include <string>

#include "core/picture.h"
#include "input/window_system.h"

namespace halvex {

// The monitor that is captured: its name and desktop rectangle (left and top are subtracted from
// window coordinates; width and height are the capture size).
struct OutputInfo {
  std::string name;
  Rect desktop;
  int Width() const { return desktop.Width(); }
  int Height() const { return desktop.Height(); }
};

// Whole-monitor capture (Desktop Duplication of output 0; XShm of the first monitor).
class IScreenSource {
 public:
  enum class Acquire { NewPicture, Timeout, AccessLost, Error };
  virtual ~IScreenSource() = default;
  virtual const OutputInfo& Output() const = 0;
  // Starts duplicating; false with the line logged by the caller from `LastError()`.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // Waits at most `timeoutMs` for the next image. When `keep` is true and the image is new it is
  // copied into the capture picture and `picture` receives it (NewPicture); otherwise the image is
  // let go and the answer is Timeout. AccessLost: the caller calls Open again. Error: the loop ends
  // after logging "ERROR en AcquireNextFrame (hr=0x...)" with `LastError()`.
  virtual Acquire AcquireNext(int timeoutMs, bool keep, Picture& picture) = 0;
  // The platform's error code of the last failure (HRESULT on Windows, an X error code on Linux).
  virtual uint32_t LastError() const = 0;
  // What log lines call screen capture: the Windows program's words by default.
  virtual std::string MechanismName() const { return "Desktop Duplication"; }
  virtual std::string MechanismShortName() const { return "DDA"; }
};

// Capture of one window's own contents (window graphics capture; XComposite).
class IWindowSource {
 public:
  virtual ~IWindowSource() = default;
  // True when window capture is available on this machine; logs its own lines.
  virtual bool Initialize() = 0;
  virtual bool Start(WindowId window) = 0;
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
  // The newest frame since the last call, nullopt when none arrived (or the window is minimised).
  virtual std::optional<Picture> AcquireLatest() = 0;
  // What log lines call window capture where it is not Windows.Graphics.Capture.
  virtual std::string MechanismName() const { return "WGC"; }
};

// Crop, privacy and output-size pictures, owned by the capture loop for the whole run.
class IPictureOps {
 public:
  virtual ~IPictureOps() = default;
  // The privacy black picture, the capture picture and the crop canvas at the capture size.
  // False with the start-up error line already logged.
  virtual bool CreateCaptureResources(int width, int height) = 0;
  // Output-resolution resources; none exist when the size equals the capture size.
  virtual bool CreateOutputResources(int width, int height) = 0;
  // Draws `area` of `capture` stretched (cubic) onto the whole crop canvas and returns the canvas.
  virtual Picture CropToCanvas(const Picture& capture, const Rect& area) = 0;
  // A window-capture frame of another size drawn onto the crop canvas at the capture size; the
  // frame itself when it already has that size or the drawing fails.
  virtual Picture StretchToCapture(const Picture& frame) = 0;
  // The picture at the output size (cubic); the picture itself when sizes match, or when scaling
  // fails (after logging the EndDraw line).
  virtual Picture ScaleToOutput(const Picture& picture) = 0;
  // The black picture at the output size (the capture-size privacy picture when sizes match).
  virtual Picture BlackPicture() const = 0;
};

}  // namespace halvex

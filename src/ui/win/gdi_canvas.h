#pragma once
// The Windows painter: GDI into an off-screen 32-bit DIB section (top-down rows of B, G, R and an
// unused byte), fonts through CreateFontW with ClearType quality, PNG images through GDI+. GDI
// knows no alpha: the picture is opaque, and a translucent colour is drawn as a coverage mask that
// is blended here. The overlay window copies the picture from DC() when it paints.
#include <windows.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "ui/canvas.h"

namespace halvex {

class GdiCanvas final : public Canvas {
 public:
  // Black; Valid() is false when the bitmap could not be made (every draw then does nothing).
  GdiCanvas(int width, int height);
  ~GdiCanvas() override;
  GdiCanvas(const GdiCanvas&) = delete;
  GdiCanvas& operator=(const GdiCanvas&) = delete;

  bool Valid() const { return bits_ != nullptr; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }

  void FillRect(const Rect& rect, Color color) override;
  void FillRoundedRect(const Rect& rect, int radius, Color color) override;
  void FillEllipse(const Rect& bounds, Color color) override;
  void DrawLine(Point from, Point to, int width, Color color) override;
  void DrawTextLine(std::string_view utf8, const Font& font, const Rect& box, TextAlign align,
                    Color color) override;
  bool DrawImage(std::span<const uint8_t> png, const Rect& dest) override;
  void PushClip(const Rect& rect) override;
  void PopClip() override;

  // The colour at a pixel (alpha 255); transparent black outside.
  Color Pixel(int x, int y) const;
  // The memory DC holding the picture, for BitBlt into a window.
  HDC DC() const { return dc_; }
  // Writes the picture as a PNG file through GDI+; false when it could not be written.
  bool WritePng(const std::filesystem::path& path) const;

 private:
  struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint8_t* bits = nullptr;
  };
  static Surface MakeSurface(int width, int height);
  static void FreeSurface(Surface& s);

  // Runs `draw(dc, colour)` on the picture when `color` is opaque; otherwise draws white into a
  // black mask with the same clip and blends `color` by the mask's coverage.
  template <typename Draw>
  void Paint(Color color, Draw draw);
  void ApplyClip(HDC dc) const;
  Rect Clip() const;
  HFONT FontFor(const Font& font);

  int width_;
  int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previousBitmap_ = nullptr;
  uint8_t* bits_ = nullptr;
  Surface mask_;  // made on the first translucent draw
  std::vector<Rect> clips_;
  std::map<std::tuple<std::wstring, int, int>, HFONT> fonts_;
};

}  // namespace halvex

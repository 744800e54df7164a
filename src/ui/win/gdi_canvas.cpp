#include "ui/win/gdi_canvas.h"

#include <objidl.h>
// GDI+'s C++ headers use these without defining them when NOMINMAX is set.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <cstring>
#include <mutex>

#include "core/text.h"

namespace halvex {

namespace {

COLORREF Ref(Color c) { return RGB(c.r, c.g, c.b); }

// GDI+ is started once per process and left running: images can be drawn from any later moment.
bool StartGdiPlus() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  });
  return started;
}

// A solid pen and brush of one colour selected into a DC for one shape, so the shape covers its
// whole rectangle (GDI leaves the right and bottom edges to the pen).
class SolidTools {
 public:
  SolidTools(HDC dc, COLORREF color)
      : dc_(dc),
        pen_(CreatePen(PS_SOLID, 1, color)),
        brush_(CreateSolidBrush(color)),
        oldPen_(SelectObject(dc, pen_)),
        oldBrush_(SelectObject(dc, brush_)) {}
  ~SolidTools() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    DeleteObject(pen_);
    DeleteObject(brush_);
  }

 private:
  HDC dc_;
  HPEN pen_;
  HBRUSH brush_;
  HGDIOBJ oldPen_;
  HGDIOBJ oldBrush_;
};

}  // namespace

GdiCanvas::Surface GdiCanvas::MakeSurface(int width, int height) {
  Surface s;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  s.dc = CreateCompatibleDC(nullptr);
  if (s.dc == nullptr) return s;
  void* bits = nullptr;
  s.bitmap = CreateDIBSection(s.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (s.bitmap == nullptr || bits == nullptr) {
    FreeSurface(s);
    return Surface{};
  }
  s.bits = static_cast<uint8_t*>(bits);
  s.previous = SelectObject(s.dc, s.bitmap);
  SetBkMode(s.dc, TRANSPARENT);
  return s;
}

void GdiCanvas::FreeSurface(Surface& s) {
  if (s.dc != nullptr && s.previous != nullptr) SelectObject(s.dc, s.previous);
  if (s.bitmap != nullptr) DeleteObject(s.bitmap);
  if (s.dc != nullptr) DeleteDC(s.dc);
  s = Surface{};
}

GdiCanvas::GdiCanvas(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
  if (width_ == 0 || height_ == 0) return;
  Surface s = MakeSurface(width_, height_);
  dc_ = s.dc;
  bitmap_ = s.bitmap;
  previousBitmap_ = s.previous;
  bits_ = s.bits;
}

GdiCanvas::~GdiCanvas() {
  Surface s{dc_, bitmap_, previousBitmap_, bits_};
  FreeSurface(s);
  FreeSurface(mask_);
  for (auto& [key, font] : fonts_) DeleteObject(font);
}

Rect GdiCanvas::Clip() const {
  Rect clip{0, 0, width_, height_};
  for (const Rect& r : clips_) clip = Intersection(clip, r);
  return clip;
}

void GdiCanvas::ApplyClip(HDC dc) const {
  if (clips_.empty()) {
    SelectClipRgn(dc, nullptr);
    return;
  }
  const Rect c = Clip();
  HRGN region = CreateRectRgn(c.left, c.top, std::max(c.left, c.right), std::max(c.top, c.bottom));
  SelectClipRgn(dc, region);
  DeleteObject(region);
}

template <typename Draw>
void GdiCanvas::Paint(Color color, Draw draw) {
  if (!Valid() || color.a == 0) return;
  if (color.a == 255) {
    draw(dc_, Ref(color));
    GdiFlush();
    return;
  }
  if (mask_.dc == nullptr) {
    mask_ = MakeSurface(width_, height_);
    if (mask_.dc == nullptr) return;
  }
  std::memset(mask_.bits, 0, static_cast<size_t>(width_) * height_ * 4);
  ApplyClip(mask_.dc);
  draw(mask_.dc, RGB(255, 255, 255));
  GdiFlush();
  const size_t count = static_cast<size_t>(width_) * height_;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* m = &mask_.bits[i * 4];
    const int coverage = std::max({m[0], m[1], m[2]}) * color.a / 255;
    if (coverage == 0) continue;
    uint8_t* px = &bits_[i * 4];
    const uint8_t src[3] = {color.b, color.g, color.r};
    for (int c = 0; c < 3; ++c) {
      px[c] = static_cast<uint8_t>((src[c] * coverage + px[c] * (255 - coverage) + 127) / 255);
    }
  }
}

void GdiCanvas::FillRect(const Rect& rect, Color color) {
  if (rect.Empty()) return;
  Paint(color, [&](HDC dc, COLORREF ref) {
    HBRUSH brush = CreateSolidBrush(ref);
    const RECT r{rect.left, rect.top, rect.right, rect.bottom};
    ::FillRect(dc, &r, brush);
    DeleteObject(brush);
  });
}

void GdiCanvas::FillRoundedRect(const Rect& rect, int radius, Color color) {
  if (rect.Empty()) return;
  const int r = std::clamp(radius, 0, std::min(rect.Width(), rect.Height()) / 2);
  Paint(color, [&](HDC dc, COLORREF ref) {
    SolidTools tools(dc, ref);
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, 2 * r, 2 * r);
  });
}

void GdiCanvas::FillEllipse(const Rect& bounds, Color color) {
  if (bounds.Empty()) return;
  Paint(color, [&](HDC dc, COLORREF ref) {
    SolidTools tools(dc, ref);
    Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  });
}

void GdiCanvas::DrawLine(Point from, Point to, int width, Color color) {
  if (width <= 0) return;
  Paint(color, [&](HDC dc, COLORREF ref) {
    LOGBRUSH brush{BS_SOLID, ref, 0};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                            static_cast<DWORD>(width), &brush, 0, nullptr);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, to.x, to.y);
    SelectObject(dc, old);
    DeleteObject(pen);
  });
}

HFONT GdiCanvas::FontFor(const Font& font) {
  const std::wstring face = text::Utf8ToWide(font.face);
  const auto key = std::make_tuple(face, font.weight, font.pixelHeight);
  if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
  // A negative height asks for the em height in pixels, not the cell height.
  HFONT handle = CreateFontW(-font.pixelHeight, 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  if (handle != nullptr) fonts_.emplace(key, handle);
  return handle;
}

void GdiCanvas::DrawTextLine(std::string_view utf8, const Font& font, const Rect& box,
                             TextAlign align, Color color) {
  if (box.Empty() || utf8.empty()) return;
  HFONT handle = FontFor(font);
  if (handle == nullptr) return;
  std::wstring wide = text::Utf8ToWide(utf8);
  const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX |
                      (align == TextAlign::kCenter ? DT_CENTER : DT_LEFT);
  Paint(color, [&](HDC dc, COLORREF ref) {
    HGDIOBJ old = SelectObject(dc, handle);
    SetTextColor(dc, ref);
    SetBkMode(dc, TRANSPARENT);
    RECT r{box.left, box.top, box.right, box.bottom};
    ::DrawTextW(dc, wide.data(), static_cast<int>(wide.size()), &r, format);
    SelectObject(dc, old);
  });
}

bool GdiCanvas::DrawImage(std::span<const uint8_t> png, const Rect& dest) {
  if (!Valid() || png.empty() || !StartGdiPlus()) return false;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, png.size());
  if (memory == nullptr) return false;
  void* target = GlobalLock(memory);
  if (target == nullptr) {
    GlobalFree(memory);
    return false;
  }
  std::memcpy(target, png.data(), png.size());
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {  // the stream frees the block
    GlobalFree(memory);
    return false;
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  const bool decoded =
      Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok;
  if (decoded && !dest.Empty()) {
    Gdiplus::GpGraphics* graphics = nullptr;
    if (Gdiplus::DllExports::GdipCreateFromHDC(dc_, &graphics) == Gdiplus::Ok) {
      const Rect clip = Intersection(Clip(), dest);
      Gdiplus::DllExports::GdipSetClipRectI(graphics, clip.left, clip.top,
                                            std::max(clip.Width(), 0), std::max(clip.Height(), 0),
                                            Gdiplus::CombineModeReplace);
      Gdiplus::DllExports::GdipSetInterpolationMode(graphics,
                                                    Gdiplus::InterpolationModeHighQualityBicubic);
      Gdiplus::DllExports::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
      // Edge pixels are mirrored outward while scaling, so the border does not fade to black.
      Gdiplus::GpImageAttributes* attributes = nullptr;
      Gdiplus::DllExports::GdipCreateImageAttributes(&attributes);
      if (attributes != nullptr) {
        Gdiplus::DllExports::GdipSetImageAttributesWrapMode(attributes, Gdiplus::WrapModeTileFlipXY,
                                                            0, FALSE);
      }
      UINT width = 0, height = 0;
      Gdiplus::DllExports::GdipGetImageWidth(bitmap, &width);
      Gdiplus::DllExports::GdipGetImageHeight(bitmap, &height);
      Gdiplus::DllExports::GdipDrawImageRectRectI(graphics, bitmap, dest.left, dest.top,
                                                  dest.Width(), dest.Height(), 0, 0,
                                                  static_cast<INT>(width), static_cast<INT>(height),
                                                  Gdiplus::UnitPixel, attributes, nullptr, nullptr);
      if (attributes != nullptr) Gdiplus::DllExports::GdipDisposeImageAttributes(attributes);
      Gdiplus::DllExports::GdipDeleteGraphics(graphics);
    }
  }
  if (bitmap != nullptr) Gdiplus::DllExports::GdipDisposeImage(bitmap);
  stream->Release();
  return decoded;
}

void GdiCanvas::PushClip(const Rect& rect) {
  clips_.push_back(rect);
  if (dc_ != nullptr) ApplyClip(dc_);
}

void GdiCanvas::PopClip() {
  if (clips_.empty()) return;
  clips_.pop_back();
  if (dc_ != nullptr) ApplyClip(dc_);
}

Color GdiCanvas::Pixel(int x, int y) const {
  if (!Valid() || x < 0 || y < 0 || x >= width_ || y >= height_) return Color{0, 0, 0, 0};
  GdiFlush();
  const uint8_t* px = &bits_[(static_cast<size_t>(y) * width_ + x) * 4];
  return Color{px[2], px[1], px[0], 255};
}

bool GdiCanvas::WritePng(const std::filesystem::path& path) const {
  if (!Valid() || !StartGdiPlus()) return false;
  GdiFlush();
  // The PNG encoder of GDI+ ("image/png").
  static const CLSID kPngEncoder = {
      0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(
          width_, height_, width_ * 4, PixelFormat32bppRGB, bits_, &bitmap) != Gdiplus::Ok) {
    return false;
  }
  const bool written = Gdiplus::DllExports::GdipSaveImageToFile(
                           bitmap, path.wstring().c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
  Gdiplus::DllExports::GdipDisposeImage(bitmap);
  return written;
}

}  // namespace halvex

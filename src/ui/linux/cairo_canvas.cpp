#include "ui/linux/cairo_canvas.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "core/free_with.h"

namespace halvex {

namespace {

void SetColor(cairo_t* cr, Color c) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

struct PngReader {
  std::span<const uint8_t> bytes;
  size_t offset = 0;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
  auto* reader = static_cast<PngReader*>(closure);
  if (reader->bytes.size() - reader->offset < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, reader->bytes.data() + reader->offset, length);
  reader->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

using SurfacePtr = std::unique_ptr<cairo_surface_t, FreeWith<cairo_surface_destroy>>;
using LayoutPtr = std::unique_ptr<PangoLayout, FreeWith<g_object_unref>>;
using FontDescriptionPtr =
    std::unique_ptr<PangoFontDescription, FreeWith<pango_font_description_free>>;

}  // namespace

CairoCanvas::CairoCanvas(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_)),
      cr_(cairo_create(surface_)) {
  // Shapes keep hard edges, as GDI draws them, so the colour key around a badge stays exact.
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
}

CairoCanvas::~CairoCanvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

void CairoCanvas::Fill(Color color) {
  SetColor(cr_, color);
  cairo_fill(cr_);
}

void CairoCanvas::FillRect(const Rect& rect, Color color) {
  if (rect.Empty()) return;
  cairo_rectangle(cr_, rect.left, rect.top, rect.Width(), rect.Height());
  Fill(color);
}

void CairoCanvas::FillRoundedRect(const Rect& rect, int radius, Color color) {
  if (rect.Empty()) return;
  const double r = std::clamp(radius, 0, std::min(rect.Width(), rect.Height()) / 2);
  const double l = rect.left, t = rect.top, rt = rect.right, b = rect.bottom;
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, rt - r, t + r, r, -M_PI / 2, 0);
  cairo_arc(cr_, rt - r, b - r, r, 0, M_PI / 2);
  cairo_arc(cr_, l + r, b - r, r, M_PI / 2, M_PI);
  cairo_arc(cr_, l + r, t + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr_);
  Fill(color);
}

void CairoCanvas::FillEllipse(const Rect& bounds, Color color) {
  if (bounds.Empty()) return;
  cairo_save(cr_);
  cairo_translate(cr_, (bounds.left + bounds.right) / 2.0, (bounds.top + bounds.bottom) / 2.0);
  cairo_scale(cr_, bounds.Width() / 2.0, bounds.Height() / 2.0);
  cairo_arc(cr_, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr_);
  Fill(color);
}

void CairoCanvas::DrawLine(Point from, Point to, int width, Color color) {
  if (width <= 0) return;
  cairo_save(cr_);
  cairo_set_line_width(cr_, width);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr_, from.x + 0.5, from.y + 0.5);
  cairo_line_to(cr_, to.x + 0.5, to.y + 0.5);
  SetColor(cr_, color);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void CairoCanvas::DrawTextLine(std::string_view utf8, const Font& font, const Rect& box,
                               TextAlign align, Color color) {
  if (box.Empty() || utf8.empty()) return;
  LayoutPtr layout(pango_cairo_create_layout(cr_));
  FontDescriptionPtr description(pango_font_description_new());
  pango_font_description_set_family(description.get(), font.face.c_str());
  pango_font_description_set_weight(description.get(),
                                    static_cast<PangoWeight>(std::clamp(font.weight, 100, 1000)));
  pango_font_description_set_absolute_size(description.get(), font.pixelHeight * PANGO_SCALE);
  pango_layout_set_font_description(layout.get(), description.get());
  pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
  pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));

  // Smoothed glyphs, like ClearType text, on hard-edged shapes.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout.get()), options);
  cairo_font_options_destroy(options);
  pango_layout_context_changed(layout.get());

  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
  const int x =
      align == TextAlign::kCenter ? box.left + (box.Width() - logical.width) / 2 : box.left;
  const int y = box.top + (box.Height() - logical.height) / 2;

  cairo_save(cr_);
  cairo_rectangle(cr_, box.left, box.top, box.Width(), box.Height());
  cairo_clip(cr_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_GRAY);
  cairo_move_to(cr_, x - logical.x, y - logical.y);
  SetColor(cr_, color);
  pango_cairo_show_layout(cr_, layout.get());
  cairo_restore(cr_);
}

bool CairoCanvas::DrawImage(std::span<const uint8_t> png, const Rect& dest) {
  PngReader reader{png};
  SurfacePtr image(cairo_image_surface_create_from_png_stream(ReadPng, &reader));
  if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) return false;
  const int w = cairo_image_surface_get_width(image.get());
  const int h = cairo_image_surface_get_height(image.get());
  if (w <= 0 || h <= 0) return false;
  if (dest.Empty()) return true;
  cairo_save(cr_);
  cairo_rectangle(cr_, dest.left, dest.top, dest.Width(), dest.Height());
  cairo_clip(cr_);
  cairo_translate(cr_, dest.left, dest.top);
  cairo_scale(cr_, static_cast<double>(dest.Width()) / w, static_cast<double>(dest.Height()) / h);
  cairo_set_source_surface(cr_, image.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
  // Edge pixels keep their colour instead of fading into the transparent outside.
  cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
  cairo_paint(cr_);
  cairo_restore(cr_);
  return true;
}

void CairoCanvas::PushClip(const Rect& rect) {
  cairo_save(cr_);
  cairo_rectangle(cr_, rect.left, rect.top, std::max(rect.Width(), 0), std::max(rect.Height(), 0));
  cairo_clip(cr_);
  ++clipDepth_;
}

void CairoCanvas::PopClip() {
  if (clipDepth_ == 0) return;
  cairo_restore(cr_);
  --clipDepth_;
}

Color CairoCanvas::Pixel(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Color{0, 0, 0, 0};
  cairo_surface_flush(surface_);
  const unsigned char* row =
      cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
  uint32_t px;
  std::memcpy(&px, row + 4 * x, 4);
  return Color{static_cast<uint8_t>(px >> 16), static_cast<uint8_t>(px >> 8),
               static_cast<uint8_t>(px), static_cast<uint8_t>(px >> 24)};
}

cairo_surface_t* CairoCanvas::Surface() {
  cairo_surface_flush(surface_);
  return surface_;
}

bool CairoCanvas::WritePng(const std::filesystem::path& path) {
  cairo_surface_flush(surface_);
  return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace halvex

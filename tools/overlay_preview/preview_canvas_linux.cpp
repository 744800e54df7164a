#include "preview_canvas.h"
#include "ui/linux/cairo_canvas.h"

namespace halvex::tools {

namespace {
class CairoPreview final : public PreviewCanvas {
 public:
  CairoPreview(int width, int height) : canvas_(width, height) {}
  Canvas& Surface() override { return canvas_; }
  bool WritePng(const std::filesystem::path& path) override { return canvas_.WritePng(path); }

 private:
  CairoCanvas canvas_;
};
}  // namespace

std::unique_ptr<PreviewCanvas> MakePreviewCanvas(int width, int height) {
  return std::make_unique<CairoPreview>(width, height);
}

}  // namespace halvex::tools

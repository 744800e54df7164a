#include "preview_canvas.h"
#include "ui/win/gdi_canvas.h"

namespace halvex::tools {

namespace {
class GdiPreview final : public PreviewCanvas {
 public:
  GdiPreview(int width, int height) : canvas_(width, height) {}
  Canvas& Surface() override { return canvas_; }
  bool WritePng(const std::filesystem::path& path) override { return canvas_.WritePng(path); }

 private:
  GdiCanvas canvas_;
};
}  // namespace

std::unique_ptr<PreviewCanvas> MakePreviewCanvas(int width, int height) {
  return std::make_unique<GdiPreview>(width, height);
}

}  // namespace halvex::tools

#pragma once
// The platform's painter, for the preview tool: a canvas that can be saved as a PNG file.
#include <filesystem>
#include <memory>

#include "ui/canvas.h"

namespace halvex::tools {

class PreviewCanvas {
 public:
  virtual ~PreviewCanvas() = default;
  virtual Canvas& Surface() = 0;
  virtual bool WritePng(const std::filesystem::path& path) = 0;
};

// Cairo/Pango on Linux, GDI/GDI+ on Windows.
std::unique_ptr<PreviewCanvas> MakePreviewCanvas(int width, int height);

}  // namespace halvex::tools

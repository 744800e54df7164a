#include "ui/pack_location.h"

namespace halvex {

std::string PackPathForModule(std::string_view modulePath, PathStyle style) {
  const bool windows = style == PathStyle::kWindows;
  const size_t cut = modulePath.find_last_of(windows ? std::string_view("\\/") : std::string_view("/"));
  std::string path = cut == std::string_view::npos ? std::string(".") : std::string(modulePath.substr(0, cut));
  path += windows ? '\\' : '/';
  path += kPackFileName;
  return path;
}

std::optional<std::filesystem::path> ResourcePackPath() {
  const std::optional<std::string> module = ModulePathForPack();
  if (!module) return std::nullopt;
  const std::string text = PackPathForModule(*module);
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace halvex

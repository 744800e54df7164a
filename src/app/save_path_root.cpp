// Which save root a run uses, and the leftovers of saves that were cut short.
#include <cctype>
#include <system_error>

#include "app/save_path.h"
#include "app/save_path_platform.h"
#include "core/log.h"
#include "core/log_path.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

// "scheme://": FFmpeg, a browser or a file manager would all read it as a network address. One
// letter before ":" is a Windows drive ("C://Clips"), not a scheme.
bool LooksLikeUrl(std::string_view root) {
  const size_t colon = root.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  if (!std::isalpha(static_cast<unsigned char>(root[0]))) return false;
  for (size_t i = 1; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(root[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return root.substr(colon + 1, 2) == "//";
}

bool Digits(std::string_view s, size_t at, size_t count) {
  if (at + count > s.size()) return false;
  for (size_t i = at; i < at + count; ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

bool ConsumeSuffix(std::string_view& s, std::string_view suffix) {
  if (s.size() < suffix.size() || s.substr(s.size() - suffix.size()) != suffix) return false;
  s.remove_suffix(suffix.size());
  return true;
}

// Removes our temporary files directly inside `folder`.
size_t RemovePartsIn(const fs::path& folder) {
  size_t removed = 0;
  std::error_code ec;
  fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const fs::path& file = it->path();
    if (!IsClipPartName(platform::PathToUtf8(file.filename()))) continue;
    std::error_code kind;
    if (!fs::is_regular_file(fs::symlink_status(file, kind))) continue;
    std::error_code gone;
    if (fs::remove(file, gone)) {
      ++removed;
      log::Line("[CLIP] Eliminado un archivo temporal de un guardado interrumpido: " +
                text::PathForLog(file));
    }
  }
  return removed;
}

}  // namespace

std::string SaveRootProblem(std::string_view root) {
  if (LooksLikeUrl(root)) return "es una direccion de red, no una carpeta";
  return platform::LocalPathProblem(root);
}

fs::path EffectiveSaveRoot(std::string_view configured) {
  if (configured.empty()) return platform::DefaultSaveRoot();
  const std::string why = SaveRootProblem(configured);
  if (why.empty()) return platform::PathFromUtf8(configured);
  const fs::path fallback = platform::DefaultSaveRoot();
  log::Warning("SaveRoot=\"" + std::string(configured) + "\" no es una carpeta local (" + why +
               "); los clips se guardan en " +
               (fallback.empty() ? std::string("la carpeta actual") : text::PathForLog(fallback)) +
               ".");
  return fallback;
}

bool IsClipPartName(std::string_view name) {
  if (!ConsumeSuffix(name, ".part")) return false;
  const bool copy = ConsumeSuffix(name, "_Discord20MB_H264.mp4") ||
                    ConsumeSuffix(name, "_Discord20MB_H265.mp4");
  if (!copy && !ConsumeSuffix(name, ".mp4") && !ConsumeSuffix(name, ".mkv")) return false;
  // clip_YYYY-MM-DD_HH-MM-SS, then "_n" when two saves fell in one second.
  if (name.substr(0, 5) != "clip_") return false;
  name.remove_prefix(5);
  if (!(Digits(name, 0, 4) && name.substr(4, 1) == "-" && Digits(name, 5, 2) &&
        name.substr(7, 1) == "-" && Digits(name, 8, 2) && name.substr(10, 1) == "_" &&
        Digits(name, 11, 2) && name.substr(13, 1) == "-" && Digits(name, 14, 2) &&
        name.substr(16, 1) == "-" && Digits(name, 17, 2)))
    return false;
  name.remove_prefix(19);
  if (name.empty()) return true;
  return name.size() >= 2 && name[0] == '_' && Digits(name, 1, name.size() - 1);
}

size_t RemoveStaleClipParts(const fs::path& root) {
  if (root.empty()) return RemovePartsIn(".");
  size_t removed = RemovePartsIn(root);
  // Clips live one level down, in the game folders; nothing deeper is ours.
  std::error_code ec;
  fs::directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code kind;
    if (fs::is_directory(fs::symlink_status(it->path(), kind))) removed += RemovePartsIn(it->path());
  }
  return removed;
}

}  // namespace halvex

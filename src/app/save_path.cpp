#include "app/save_path.h"

#include <array>
#include <system_error>

#include "app/save_path_platform.h"
#include "core/log_path.h"
#include "core/text.h"

namespace halvex {

namespace {

constexpr size_t kMaxFolderChars = 180;
constexpr char32_t kFallbackName[] = U"Juego";

bool IsForbidden(char32_t c) {
  switch (c) {
    case U'"': case U'*': case U'/': case U':': case U'<':
    case U'>': case U'?': case U'\\': case U'|':
      return true;
    default:
      return false;
  }
}

bool IsTrimmed(char32_t c) { return c == U' ' || c == U'.'; }

// Device names that Windows opens instead of a folder, whatever the directory.
bool IsReservedDeviceName(std::string_view name) {
  static constexpr std::array<std::string_view, 22> kReserved = {
      "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
      "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
      "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
  const std::string upper = text::AsciiUpper(name);
  for (std::string_view r : kReserved)
    if (upper == r) return true;
  return false;
}

}  // namespace

std::string SanitizeFolderName(std::string_view name) {
  std::u32string s = text::Utf8ToUtf32(name);
  for (char32_t& c : s) {
    if (IsForbidden(c)) c = U'-';
    else if (c < 0x20) c = U'_';
  }
  size_t end = s.size();
  while (end > 0 && IsTrimmed(s[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && IsTrimmed(s[begin])) ++begin;
  s = s.substr(begin, end - begin);
  if (s.empty()) s = kFallbackName;

  std::string out = text::Utf32ToUtf8(s);
  if (IsReservedDeviceName(out)) out += " - Juego";
  return platform::CutFolderName(out, kMaxFolderChars);
}

bool PrepareSavePath(const std::filesystem::path& saveRoot, std::string_view gameName,
                     const std::filesystem::path& fileName, std::filesystem::path& path,
                     std::string& error) {
  error.clear();
  if (saveRoot.empty()) {
    path = fileName;
    return true;
  }
  try {
    const std::string rootText = platform::PathToUtf8(saveRoot);
    if (const std::string why = SaveRootProblem(rootText); !why.empty()) {
      error = "La carpeta de guardado no es una carpeta local (" + why + "): " + rootText;
      path.clear();
      return false;
    }
    const std::filesystem::path folder =
        saveRoot / platform::PathFromUtf8(SanitizeFolderName(gameName));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    // An existing file of that name is no folder to write into, whatever create_directories says.
    std::error_code kind;
    if (ec || !std::filesystem::is_directory(folder, kind)) {
      const std::string why = ec ? ec.message() : "ya existe un archivo con ese nombre";
      error = "No se pudo crear la carpeta del juego: " + text::PathForLog(folder) + " (" + why + ")";
      path.clear();
      return false;
    }
    path = folder / fileName;
    return true;
  } catch (...) {
    error = "Error al preparar la ruta de guardado.";
    path.clear();
    return false;
  }
}

std::string FormatClipTimestamp(std::time_t when) {
  std::tm local{};
  if (!platform::ToLocalTime(when, local)) return std::to_string(static_cast<long long>(when));
  char buffer[64];
  const size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d_%H-%M-%S", &local);
  return std::string(buffer, n);
}

std::string ClipTimestamp() { return FormatClipTimestamp(std::time(nullptr)); }

}  // namespace halvex

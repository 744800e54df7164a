#include "ui/pack_loader.h"

#include <fstream>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "core/log.h"
#include "core/text.h"
#include "ui/pack_location.h"

namespace halvex {

namespace {

std::optional<ResourcePack> Refuse(const std::filesystem::path& path, std::string_view why) {
  log::Warning("no se pudo cargar el paquete de recursos " + text::PathToUtf8(path) + ": " + std::string(why) +
               "; los menús se mostrarán sin iconos");
  return std::nullopt;
}

}  // namespace

std::optional<ResourcePack> LoadResourcePackFile(const std::filesystem::path& path) {
  // A folder opens as a stream on some systems and then claims an absurd size.
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec))
    return Refuse(path, "no es un archivo");
  std::ifstream file(path, std::ios::binary);
  if (!file) return Refuse(path, "no se pudo abrir");
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size <= 0) return Refuse(path, "el archivo está vacío o no se puede medir");
  file.seekg(0, std::ios::beg);

  std::vector<uint8_t> bytes;
  try {
    bytes.resize(size_t(size));
  } catch (const std::bad_alloc&) {
    return Refuse(path, "no hay memoria para " + std::to_string(size) + " bytes");
  } catch (const std::length_error&) {
    return Refuse(path, "el archivo es demasiado grande");
  }
  file.read(reinterpret_cast<char*>(bytes.data()), size);
  if (file.gcount() != size) return Refuse(path, "lectura incompleta");

  std::string error;
  std::optional<ResourcePack> pack = ResourcePack::Parse(std::move(bytes), &error);
  if (!pack) return Refuse(path, error);
  return pack;
}

LazyResourcePack::LazyResourcePack(std::function<std::optional<std::filesystem::path>()> locate)
    : locate_(std::move(locate)) {}

void LazyResourcePack::Load() {
  const std::optional<std::filesystem::path> path = locate_();
  if (!path) {
    log::Warning("no se pudo determinar la carpeta del programa; los menús se mostrarán sin iconos");
    return;
  }
  pack_ = LoadResourcePackFile(*path);
}

bool LazyResourcePack::Get(std::string_view name, std::vector<uint8_t>& out) {
  std::call_once(once_, [this] { Load(); });
  return pack_ && pack_->Get(name, out);
}

bool GetResource(std::string_view name, std::vector<uint8_t>& out) {
  static LazyResourcePack pack(ResourcePackPath);
  return pack.Get(name, out);
}

}  // namespace halvex

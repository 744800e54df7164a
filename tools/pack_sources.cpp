#include "pack_sources.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <system_error>

#include "core/text.h"

namespace halvex::tools {

namespace {

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

bool ReadFile(const std::filesystem::path& path, std::vector<uint8_t>& out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  out.clear();
  char chunk[65536];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0)
    out.insert(out.end(), chunk, chunk + file.gcount());
  return !file.bad();
}

bool AddFile(const std::filesystem::path& path, std::map<std::string, std::filesystem::path>& seen,
             std::vector<PackEntry>& out, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = Utf8(path) + ": no es un archivo PNG";
    return false;
  }
  const std::string name = Utf8(path.filename());
  if (!text::AsciiLower(Utf8(path.extension())).ends_with(".png")) {
    error = Utf8(path) + ": no es un archivo PNG (extensión)";
    return false;
  }
  const auto [it, added] = seen.try_emplace(name, path);
  if (!added) {
    error = "nombre repetido " + name + ": " + Utf8(it->second) + " y " + Utf8(path);
    return false;
  }
  PackEntry entry{name, {}};
  if (!ReadFile(path, entry.data)) {
    error = Utf8(path) + ": no se pudo leer";
    return false;
  }
  if (entry.data.size() < sizeof kPngSignature ||
      !std::equal(std::begin(kPngSignature), std::end(kPngSignature), entry.data.begin())) {
    error = Utf8(path) + ": no es un archivo PNG (firma)";
    return false;
  }
  out.push_back(std::move(entry));
  return true;
}

}  // namespace

bool CollectPackEntries(const std::vector<std::filesystem::path>& inputs, std::vector<PackEntry>& out,
                        std::string& error) {
  std::map<std::string, std::filesystem::path> seen;
  std::vector<PackEntry> entries;
  for (const std::filesystem::path& input : inputs) {
    std::error_code ec;
    if (std::filesystem::is_directory(input, ec)) {
      std::filesystem::directory_iterator it(input, ec), end;
      if (ec) {
        error = Utf8(input) + ": no se pudo leer la carpeta";
        return false;
      }
      for (; it != end; it.increment(ec)) {
        if (!AddFile(it->path(), seen, entries, error)) return false;
      }
      if (ec) {
        error = Utf8(input) + ": no se pudo leer la carpeta";
        return false;
      }
    } else if (!std::filesystem::exists(input, ec)) {
      error = Utf8(input) + ": no existe";
      return false;
    } else if (!AddFile(input, seen, entries, error)) {
      return false;
    }
  }
  out = std::move(entries);
  return true;
}

bool BuildPackFile(const std::vector<std::filesystem::path>& inputs, const std::filesystem::path& output,
                   size_t& entryCount, std::string& error) {
  std::vector<PackEntry> entries;
  if (!CollectPackEntries(inputs, entries, error)) return false;
  const size_t count = entries.size();
  std::vector<uint8_t> bytes;
  if (!WritePack(std::move(entries), bytes, &error)) return false;

  std::filesystem::path temporary = output;
  temporary += ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      error = Utf8(output) + ": no se pudo escribir";
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, output, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    error = Utf8(output) + ": no se pudo reemplazar";
    return false;
  }
  entryCount = count;
  return true;
}

}  // namespace halvex::tools

#pragma once
// Reading the pack file and keeping it for the life of the process.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "ui/resource_pack.h"

namespace halvex {

// Reads and parses the whole file. Nothing, with an "AVISO: " line saying why, when it cannot be
// opened, is empty, reads short or is damaged.
std::optional<ResourcePack> LoadResourcePackFile(const std::filesystem::path& path);

// A pack loaded on the first request, once, whichever thread asks first. A failed load is kept
// too: a missing pack costs one attempt, not one per request.
class LazyResourcePack {
 public:
  // `locate` gives the file to read, or nothing when its location is unknown.
  explicit LazyResourcePack(std::function<std::optional<std::filesystem::path>()> locate);

  // False when the pack did not load or has no such name; otherwise a copy of the bytes.
  bool Get(std::string_view name, std::vector<uint8_t>& out);

 private:
  void Load();

  std::function<std::optional<std::filesystem::path>()> locate_;
  std::once_flag once_;
  std::optional<ResourcePack> pack_;
};

// The program's pack, "Halvex.pak" beside its executable.
bool GetResource(std::string_view name, std::vector<uint8_t>& out);

}  // namespace halvex

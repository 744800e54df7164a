#pragma once
// The menus' image pack ("Halvex.pak"), parsed from its bytes. Layout, little-endian throughout:
//   "HVPAK001", u32 format version (1), u32 entry count,
//   then per entry: u32 name length, u64 data size, name bytes, data bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace halvex {

inline constexpr std::string_view kPackMagic = "HVPAK001";
inline constexpr uint32_t kPackFormatVersion = 1;
inline constexpr size_t kPackHeaderSize = 16;
inline constexpr size_t kPackEntryHeaderSize = 12;

class ResourcePack {
 public:
  ResourcePack() = default;

  // Takes a whole pack file. Returns nothing when any size or check fails; `error` then says why
  // (Spanish, for the log). Bytes after the last entry are ignored.
  static std::optional<ResourcePack> Parse(std::vector<uint8_t> bytes, std::string* error = nullptr);

  // Copies the named resource's bytes into `out`. Names are compared exactly (case-sensitive).
  // False, with `out` untouched, when the name is absent.
  bool Get(std::string_view name, std::vector<uint8_t>& out) const;

  size_t Count() const { return table_.size(); }

 private:
  struct Slice {
    size_t offset;
    size_t size;
  };
  std::vector<uint8_t> buffer_;
  std::unordered_map<std::string, Slice> table_;
};

}  // namespace halvex

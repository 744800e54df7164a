#include "ui/resource_pack.h"

#include <algorithm>
#include <cstring>

namespace halvex {

namespace {

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t ReadU64(const uint8_t* p) { return uint64_t(ReadU32(p)) | uint64_t(ReadU32(p + 4)) << 32; }

bool Fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

}  // namespace

std::optional<ResourcePack> ResourcePack::Parse(std::vector<uint8_t> bytes, std::string* error) {
  const size_t size = bytes.size();
  if (size < kPackHeaderSize) {
    Fail(error, "el archivo es demasiado corto (" + std::to_string(size) + " bytes)");
    return std::nullopt;
  }
  if (std::memcmp(bytes.data(), kPackMagic.data(), kPackMagic.size()) != 0) {
    Fail(error, "la firma no es HVPAK001");
    return std::nullopt;
  }
  const uint32_t version = ReadU32(bytes.data() + 8);
  if (version != kPackFormatVersion) {
    Fail(error, "versión de formato no admitida (" + std::to_string(version) + ")");
    return std::nullopt;
  }
  const uint32_t count = ReadU32(bytes.data() + 12);

  ResourcePack pack;
  // The count is untrusted: reserve only what the file could possibly hold.
  pack.table_.reserve(std::min<size_t>(count, (size - kPackHeaderSize) / kPackEntryHeaderSize));

  // Every check compares against what remains, never adds sizes, so a huge size cannot wrap.
  size_t pos = kPackHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string which = "la entrada " + std::to_string(i + 1) + " de " + std::to_string(count);
    if (size - pos < kPackEntryHeaderSize) {
      Fail(error, which + " no tiene cabecera completa");
      return std::nullopt;
    }
    const uint32_t nameLength = ReadU32(bytes.data() + pos);
    const uint64_t dataSize = ReadU64(bytes.data() + pos + 4);
    pos += kPackEntryHeaderSize;
    if (nameLength > size - pos) {
      Fail(error, which + " tiene un nombre que pasa del final del archivo");
      return std::nullopt;
    }
    std::string name(reinterpret_cast<const char*>(bytes.data() + pos), nameLength);
    pos += nameLength;
    if (dataSize > uint64_t(size - pos)) {
      Fail(error, which + " (" + name + ") tiene datos que pasan del final del archivo");
      return std::nullopt;
    }
    // Packs are built without duplicates; should one slip in, the first entry stays.
    pack.table_.try_emplace(std::move(name), Slice{pos, size_t(dataSize)});
    pos += size_t(dataSize);
  }
  pack.buffer_ = std::move(bytes);
  return pack;
}

bool ResourcePack::Get(std::string_view name, std::vector<uint8_t>& out) const {
  const auto it = table_.find(std::string(name));
  if (it == table_.end()) return false;
  const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(it->second.offset);
  out.assign(first, first + static_cast<std::ptrdiff_t>(it->second.size));
  return true;
}

}  // namespace halvex

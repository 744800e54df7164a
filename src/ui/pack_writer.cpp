#include "ui/pack_writer.h"

#include <algorithm>
#include <limits>

#include "ui/resource_pack.h"

namespace halvex {

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void PutU64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

bool WritePack(std::vector<PackEntry> entries, std::vector<uint8_t>& out, std::string* error) {
  auto fail = [&](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  constexpr uint32_t kMax32 = std::numeric_limits<uint32_t>::max();
  if (entries.size() > kMax32) return fail("demasiadas entradas para un paquete");

  std::sort(entries.begin(), entries.end(),
            [](const PackEntry& a, const PackEntry& b) { return a.name < b.name; });
  size_t total = kPackHeaderSize;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0 && entries[i].name == entries[i - 1].name)
      return fail("nombre repetido: " + entries[i].name);
    if (entries[i].name.size() > kMax32) return fail("nombre demasiado largo");
    total += kPackEntryHeaderSize + entries[i].name.size() + entries[i].data.size();
  }

  std::vector<uint8_t> bytes;
  bytes.reserve(total);
  bytes.insert(bytes.end(), kPackMagic.begin(), kPackMagic.end());
  PutU32(bytes, kPackFormatVersion);
  PutU32(bytes, uint32_t(entries.size()));
  for (const PackEntry& e : entries) {
    PutU32(bytes, uint32_t(e.name.size()));
    PutU64(bytes, uint64_t(e.data.size()));
    bytes.insert(bytes.end(), e.name.begin(), e.name.end());
    bytes.insert(bytes.end(), e.data.begin(), e.data.end());
  }
  out = std::move(bytes);
  return true;
}

}  // namespace halvex

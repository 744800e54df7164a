#include "clipfile/obu.h"

namespace halvex::obu {

std::vector<Unit> Walk(const uint8_t* data, size_t size) {
  std::vector<Unit> units;
  if (!data) return units;
  size_t pos = 0;
  while (pos < size) {
    const uint8_t header = data[pos];
    if (header & 0x80) break;  // forbidden bit
    const int type = (header >> 3) & 0x0F;
    const bool hasExtension = header & 0x04;
    const bool hasSize = header & 0x02;
    const size_t headerBytes = hasExtension ? 2 : 1;
    if (size - pos < headerBytes) break;
    if (!hasSize) {
      // Runs to the end of the packet.
      units.push_back(Unit{type, pos, size - pos});
      break;
    }
    size_t cursor = pos + headerBytes;
    uint64_t payload = 0;
    bool complete = false;
    for (int i = 0; i < 8 && cursor < size; ++i) {
      const uint8_t b = data[cursor++];
      payload |= static_cast<uint64_t>(b & 0x7F) << (7 * i);
      if (!(b & 0x80)) {
        complete = true;
        break;
      }
    }
    if (!complete || payload > size - cursor) break;
    const size_t end = cursor + static_cast<size_t>(payload);
    units.push_back(Unit{type, pos, end - pos});
    pos = end;
  }
  return units;
}

std::vector<uint8_t> ExtractConfigUnits(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  for (const auto& u : Walk(data, size))
    if (u.type == 1 || u.type == 5) out.insert(out.end(), data + u.offset, data + u.offset + u.size);
  return out;
}

}  // namespace halvex::obu

#pragma once
// AV1 low-overhead OBU streams: walking the units and picking the ones that configure the decoder.
// The walk stops at the first malformed or truncated unit and never reads past the buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex::obu {

struct Unit {
  int type = 0;
  size_t offset = 0;  // of the header byte
  size_t size = 0;    // header, extension, size field and payload
};

std::vector<Unit> Walk(const uint8_t* data, size_t size);

// Sequence-header (type 1) and metadata (type 5) units copied whole; empty when there are none.
std::vector<uint8_t> ExtractConfigUnits(const uint8_t* data, size_t size);

}  // namespace halvex::obu

#pragma once
// Annex-B byte streams (H.264 / HEVC as the encoders produce them): NAL splitting, the AVC
// configuration record, HEVC parameter sets and the length-prefixed form containers store.
// Every function stays inside the given buffer whatever its contents.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex::annexb {

struct NalUnit {
  const uint8_t* data = nullptr;  // first byte is the NAL header; never empty
  size_t size = 0;
};

// NAL units between 3- and 4-byte start codes, trailing zero bytes removed. Bytes before the first
// start code are not a NAL unit and are skipped.
std::vector<NalUnit> Split(const uint8_t* data, size_t size);

inline int H264NalType(const NalUnit& n) { return n.data[0] & 0x1F; }
inline int HevcNalType(const NalUnit& n) { return (n.data[0] >> 1) & 0x3F; }

// AVC decoder configuration record from the first SPS and the first PPS; empty when either is
// missing or cannot be described (an SPS shorter than 4 bytes, a unit longer than 65535 bytes).
std::vector<uint8_t> BuildAvcConfig(const uint8_t* data, size_t size);

// Every VPS, SPS and PPS in stream order, each behind 00 00 00 01; empty when there are none.
std::vector<uint8_t> CollectHevcParameterSets(const uint8_t* data, size_t size);

// Each NAL unit re-emitted behind a 4-byte big-endian length instead of its start code.
std::vector<uint8_t> ToLengthPrefixed(const uint8_t* data, size_t size);

}  // namespace halvex::annexb

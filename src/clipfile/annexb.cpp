#include "clipfile/annexb.h"

namespace halvex::annexb {

namespace {

// Position of the next 00 00 01 at or after `from`, or `size` when there is none.
size_t FindStartCode(const uint8_t* data, size_t size, size_t from) {
  for (size_t i = from; i + 2 < size; ++i) {
    if (data[i + 2] > 1) {
      i += 2;  // none of the next three positions can start a code ending here
      continue;
    }
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i;
  }
  return size;
}

void PutBe16(std::vector<uint8_t>& out, size_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

}  // namespace

std::vector<NalUnit> Split(const uint8_t* data, size_t size) {
  std::vector<NalUnit> units;
  if (!data || size < 3) return units;
  size_t code = FindStartCode(data, size, 0);
  while (code < size) {
    const size_t begin = code + 3;
    const size_t next = FindStartCode(data, size, begin);
    size_t end = next;
    // The zero of a 4-byte start code and any trailing_zero_8bits belong to no unit.
    while (end > begin && data[end - 1] == 0) --end;
    if (end > begin) units.push_back(NalUnit{data + begin, end - begin});
    code = next;
  }
  return units;
}

std::vector<uint8_t> BuildAvcConfig(const uint8_t* data, size_t size) {
  const NalUnit* sps = nullptr;
  const NalUnit* pps = nullptr;
  const auto units = Split(data, size);
  for (const auto& u : units) {
    const int type = H264NalType(u);
    if (type == 7 && !sps) sps = &u;
    if (type == 8 && !pps) pps = &u;
  }
  if (!sps || !pps || sps->size < 4 || sps->size > 0xFFFF || pps->size > 0xFFFF) return {};
  std::vector<uint8_t> out;
  out.reserve(11 + sps->size + pps->size);
  out.push_back(1);
  out.push_back(sps->data[1]);
  out.push_back(sps->data[2]);
  out.push_back(sps->data[3]);
  out.push_back(0xFF);  // 4-byte NAL lengths
  out.push_back(0xE1);  // one SPS
  PutBe16(out, sps->size);
  out.insert(out.end(), sps->data, sps->data + sps->size);
  out.push_back(1);  // one PPS
  PutBe16(out, pps->size);
  out.insert(out.end(), pps->data, pps->data + pps->size);
  return out;
}

std::vector<uint8_t> CollectHevcParameterSets(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  for (const auto& u : Split(data, size)) {
    const int type = HevcNalType(u);
    if (type < 32 || type > 34) continue;
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), u.data, u.data + u.size);
  }
  return out;
}

std::vector<uint8_t> ToLengthPrefixed(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  out.reserve(size + 16);
  for (const auto& u : Split(data, size)) {
    const uint64_t n = u.size;
    if (n > 0xFFFFFFFFu) return {};
    out.push_back(static_cast<uint8_t>(n >> 24));
    out.push_back(static_cast<uint8_t>(n >> 16));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), u.data, u.data + u.size);
  }
  return out;
}

}  // namespace halvex::annexb

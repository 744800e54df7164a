#pragma once
// One encoded picture or audio frame, as it travels from an encoder through a history to a clip.
#include <cstdint>
#include <memory>
#include <vector>

namespace halvex {

using PacketBytes = std::vector<uint8_t>;

struct EncodedPacket {
  // Immutable once appended and shared by reference count: a snapshot shares the payload instead
  // of copying it, and no one can change it under a snapshot.
  std::shared_ptr<const PacketBytes> payload;
  int64_t timestampNs = 0;  // monotonic clock; capture time (video) or first sample (audio)
  bool keyframe = false;    // IDR pictures; always true for audio
  int64_t sampleCount = 0;  // audio samples covered; 0 for video

  const uint8_t* data() const { return payload ? payload->data() : nullptr; }
  size_t size() const { return payload ? payload->size() : 0; }
  bool empty() const { return size() == 0; }
};

// Builds a packet that takes ownership of `bytes` (left empty).
inline EncodedPacket MakePacket(PacketBytes&& bytes, bool keyframe, int64_t timestampNs,
                                int64_t sampleCount = 0) {
  EncodedPacket p;
  p.payload = std::make_shared<const PacketBytes>(std::move(bytes));
  bytes.clear();
  p.timestampNs = timestampNs;
  p.keyframe = keyframe;
  p.sampleCount = sampleCount;
  return p;
}

}  // namespace halvex

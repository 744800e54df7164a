#pragma once
// The in-memory store of encoded media every clip is cut from. Old material leaves a whole group of
// pictures at a time, so the store always reaches back a little further than its capacity.
#include <deque>
#include <mutex>
#include <vector>

#include "core/encoded_packet.h"

namespace halvex {

class PacketHistory {
 public:
  explicit PacketHistory(double capacitySeconds = 1.0);

  // Takes the payload by move; the caller's vector is left empty.
  void Append(PacketBytes&& bytes, bool keyframe, int64_t timestampNs, int64_t sampleCount = 0);

  // Starts on the last keyframe at or before `seconds` ago (or at the oldest packet).
  std::vector<EncodedPacket> SnapshotVideo(double seconds) const;
  // Every packet whose time stamp is not less than `timestampNs`.
  std::vector<EncodedPacket> SnapshotFrom(int64_t timestampNs) const;

  void SetCapacity(double seconds);  // at least 1 s; trims at once
  void Clear();

  double Capacity() const;
  size_t Size() const;

 private:
  void EvictLocked();

  mutable std::mutex mutex_;
  std::deque<EncodedPacket> packets_;
  double capacitySeconds_;
};

}  // namespace halvex

#include "core/packet_history.h"

#include <algorithm>
#include <cstdint>

#include "core/clock.h"

namespace halvex {

namespace {
constexpr double kMinCapacitySeconds = 1.0;

// Truncated to 64 bits; saturates instead of overflowing for absurd values.
int64_t SecondsToNs(double seconds) {
  const double ns = seconds * 1e9;
  if (!(ns == ns)) return 0;  // NaN
  if (ns >= 9.2e18) return INT64_MAX;
  if (ns <= -9.2e18) return INT64_MIN;
  return static_cast<int64_t>(ns);
}

// A NaN capacity would otherwise survive std::max and trim the history to its last group.
double ClampCapacity(double seconds) {
  return seconds >= kMinCapacitySeconds ? seconds : kMinCapacitySeconds;
}

int64_t CutoffNs(double seconds) {
  int64_t cutoff;
  if (__builtin_sub_overflow(NowNs(), SecondsToNs(seconds), &cutoff)) {
    cutoff = seconds > 0 ? INT64_MIN : INT64_MAX;
  }
  return cutoff;
}
}  // namespace

PacketHistory::PacketHistory(double capacitySeconds)
    : capacitySeconds_(ClampCapacity(capacitySeconds)) {}

void PacketHistory::Append(PacketBytes&& bytes, bool keyframe, int64_t timestampNs,
                           int64_t sampleCount) {
  // The shared payload is built outside the lock; only the queue operations are guarded.
  EncodedPacket packet = MakePacket(std::move(bytes), keyframe, timestampNs, sampleCount);
  std::lock_guard<std::mutex> lock(mutex_);
  packets_.push_back(std::move(packet));
  EvictLocked();
}

void PacketHistory::EvictLocked() {
  const int64_t cutoff = CutoffNs(capacitySeconds_);
  while (!packets_.empty()) {
    // The second keyframe from the front starts the second group of pictures.
    auto second = packets_.end();
    int keyframes = 0;
    for (auto it = packets_.begin(); it != packets_.end(); ++it) {
      if (it->keyframe && ++keyframes == 2) {
        second = it;
        break;
      }
    }
    if (second == packets_.end()) return;
    if (second->timestampNs > cutoff) return;
    packets_.erase(packets_.begin(), second);
  }
}

std::vector<EncodedPacket> PacketHistory::SnapshotVideo(double seconds) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (packets_.empty()) return {};
  const int64_t cutoff = CutoffNs(seconds);
  size_t start = 0;
  for (size_t i = packets_.size(); i-- > 0;) {
    const EncodedPacket& p = packets_[i];
    if (p.keyframe && p.timestampNs <= cutoff) {
      start = i;
      break;
    }
  }
  return std::vector<EncodedPacket>(packets_.begin() + static_cast<std::ptrdiff_t>(start),
                                    packets_.end());
}

std::vector<EncodedPacket> PacketHistory::SnapshotFrom(int64_t timestampNs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(packets_.begin(), packets_.end(),
                         [&](const EncodedPacket& p) { return p.timestampNs >= timestampNs; });
  return std::vector<EncodedPacket>(it, packets_.end());
}

void PacketHistory::SetCapacity(double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  capacitySeconds_ = ClampCapacity(seconds);
  EvictLocked();
}

void PacketHistory::Clear() {
  // Payloads are released after unlocking, so the appending thread never waits on the frees.
  std::deque<EncodedPacket> released;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released.swap(packets_);
  }
}

double PacketHistory::Capacity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return capacitySeconds_;
}

size_t PacketHistory::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return packets_.size();
}

}  // namespace halvex

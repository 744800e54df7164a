#include "core/packet_history.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"

namespace halvex {
namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kSecond = 1000 * kMs;

// A payload that names its packet, so a snapshot can be checked byte by byte.
PacketBytes Payload(uint64_t index, size_t size = 64) {
  PacketBytes bytes(size, static_cast<uint8_t>(index * 31 + 7));
  std::memcpy(bytes.data(), &index, sizeof index);
  return bytes;
}

uint64_t IndexOf(const EncodedPacket& p) {
  uint64_t index = 0;
  EXPECT_GE(p.size(), sizeof index);
  std::memcpy(&index, p.data(), sizeof index);
  return index;
}

bool PayloadIntact(const EncodedPacket& p, uint64_t index, size_t size = 64) {
  return p.payload && *p.payload == Payload(index, size);
}

std::vector<EncodedPacket> All(const PacketHistory& h) {
  return h.SnapshotFrom(std::numeric_limits<int64_t>::min());
}

// Feeds a history the way an encoder does: the clock stands at each packet's time stamp.
class Feeder {
 public:
  Feeder(PacketHistory& history, ManualClock& clock) : history_(history), clock_(clock) {}

  void Video(int64_t t, bool keyframe) {
    clock_.Set(t);
    history_.Append(Payload(next_++), keyframe, t);
  }

  // `count` pictures at 60 fps from `start`, a keyframe every `gop` pictures.
  void VideoRun(int64_t start, int count, int gop) {
    for (int i = 0; i < count; ++i) Video(start + i * kSecond / 60, i % gop == 0);
  }

 private:
  PacketHistory& history_;
  ManualClock& clock_;
  uint64_t next_ = 0;
};

class PacketHistoryTest : public ::testing::Test {
 protected:
  ManualClock clock_{0};
  ScopedClockSource scoped_{&clock_};
};

TEST_F(PacketHistoryTest, SingleGroupIsNeverEvicted) {
  PacketHistory h(1.0);
  Feeder feed(h, clock_);
  feed.Video(0, true);
  for (int i = 1; i < 120; ++i) feed.Video(i * kSecond / 60, false);

  // An hour later, with more dependent pictures and a trim, the lone group is still whole.
  feed.Video(3600 * kSecond, false);
  h.SetCapacity(1.0);
  const auto all = All(h);
  ASSERT_EQ(all.size(), 121u);
  EXPECT_TRUE(all.front().keyframe);
  EXPECT_EQ(all.front().timestampNs, 0);

  // A second keyframe ends the old group, which goes once that keyframe is a capacity old.
  feed.Video(3600 * kSecond + kMs, true);
  EXPECT_EQ(h.Size(), 122u);
  feed.Video(3601 * kSecond + kMs - 1, false);
  EXPECT_EQ(h.Size(), 123u);  // one nanosecond short of the capacity
  feed.Video(3601 * kSecond + kMs, false);  // exactly the capacity old: the group goes
  const auto after = All(h);
  ASSERT_EQ(after.size(), 3u);
  EXPECT_TRUE(after.front().keyframe);
  EXPECT_EQ(after.front().timestampNs, 3600 * kSecond + kMs);
}

TEST_F(PacketHistoryTest, VideoHoldsCapacityPlusAtMostOneGroup) {
  PacketHistory h(10.0);
  Feeder feed(h, clock_);
  const int gop = 120;  // keyframe every 2 s at 60 fps
  for (int i = 0; i < 60 * 40; ++i) {
    const int64_t t = static_cast<int64_t>(i) * kSecond / 60;
    feed.Video(t, i % gop == 0);
    if (t < 12 * kSecond) continue;
    const auto all = All(h);
    ASSERT_TRUE(all.front().keyframe) << "at " << t;
    const int64_t span = t - all.front().timestampNs;
    ASSERT_GE(span, 10 * kSecond) << "at " << t;
    ASSERT_LT(span, 12 * kSecond) << "at " << t;
  }
  // Nothing lost in the middle: the packets are consecutive up to the newest.
  const auto all = All(h);
  for (size_t i = 1; i < all.size(); ++i) ASSERT_EQ(IndexOf(all[i]), IndexOf(all[i - 1]) + 1);
  EXPECT_EQ(IndexOf(all.back()), 60u * 40 - 1);
}

TEST_F(PacketHistoryTest, AudioLosesOnePacketAtATime) {
  PacketHistory h(2.0);
  const int64_t interval = 20 * kMs;  // 960 samples at 48 kHz
  size_t steadySize = 0;
  for (int i = 0; i < 500; ++i) {
    const int64_t t = i * interval;
    clock_.Set(t);
    h.Append(Payload(i), true, t, 960);
    const auto all = All(h);
    const int64_t cutoff = t - 2 * kSecond;
    // Only the front may be at or older than the cutoff, and by less than one interval.
    ASSERT_GT(all.front().timestampNs, cutoff - interval) << "at " << t;
    if (all.size() > 1) {
      ASSERT_GT(all[1].timestampNs, cutoff) << "at " << t;
    }
    if (t > 3 * kSecond) {
      if (steadySize == 0) steadySize = all.size();
      ASSERT_EQ(all.size(), steadySize) << "at " << t;
    }
  }
  EXPECT_EQ(steadySize, 101u);  // 2 s of 20 ms packets plus the one at the cutoff
  EXPECT_EQ(All(h).back().sampleCount, 960);
}

TEST_F(PacketHistoryTest, CapacityBelowOneSecondActsAsOneAndTrimsAtOnce) {
  PacketHistory small(30.0), one(30.0);
  Feeder feedSmall(small, clock_), feedOne(one, clock_);
  // 20 s of video with a keyframe every 0.25 s, nothing evicted yet.
  feedSmall.VideoRun(0, 60 * 20, 15);
  feedOne.VideoRun(0, 60 * 20, 15);
  ASSERT_EQ(small.Size(), 1200u);

  small.SetCapacity(0.5);
  one.SetCapacity(1.0);
  EXPECT_EQ(small.Capacity(), 1.0);
  const auto a = All(small), b = All(one);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].timestampNs, b[i].timestampNs);
  const int64_t span = clock_.NowNs() - a.front().timestampNs;
  EXPECT_GE(span, 1 * kSecond);
  EXPECT_LT(span, 1 * kSecond + kSecond / 4);

  // Not-a-number or negative capacities must not empty the store either.
  small.SetCapacity(std::nan(""));
  EXPECT_EQ(small.Capacity(), 1.0);
  EXPECT_EQ(small.Size(), a.size());
  small.SetCapacity(-5.0);
  EXPECT_EQ(small.Capacity(), 1.0);
  EXPECT_EQ(PacketHistory(std::nan("")).Capacity(), 1.0);
}

TEST_F(PacketHistoryTest, SnapshotVideoStartsOnLastKeyframeAtOrBeforeCutoff) {
  PacketHistory h(60.0);
  Feeder feed(h, clock_);
  EXPECT_TRUE(h.SnapshotVideo(30).empty());

  feed.VideoRun(0, 60 * 20, 120);  // keyframes at 0, 2, 4, ... 18 s; newest at 19.983 s
  clock_.Set(19 * kSecond);        // cutoff for 5 s falls exactly on the keyframe at 14 s
  auto snap = h.SnapshotVideo(5);
  ASSERT_FALSE(snap.empty());
  EXPECT_TRUE(snap.front().keyframe);
  EXPECT_EQ(snap.front().timestampNs, 14 * kSecond);
  EXPECT_EQ(IndexOf(snap.back()), 60u * 20 - 1);
  EXPECT_EQ(snap.size(), 60u * 20 - 14 * 60);

  clock_.Set(19 * kSecond + 1);  // one nanosecond later still the same keyframe
  EXPECT_EQ(h.SnapshotVideo(5).front().timestampNs, 14 * kSecond);
  clock_.Set(19 * kSecond - 1);  // one nanosecond earlier it must reach back a whole group
  EXPECT_EQ(h.SnapshotVideo(5).front().timestampNs, 12 * kSecond);

  // Shorter than the distance to the newest keyframe: starts on that keyframe.
  clock_.Set(20 * kSecond);
  EXPECT_EQ(h.SnapshotVideo(0.1).front().timestampNs, 18 * kSecond);
}

TEST_F(PacketHistoryTest, SnapshotLongerThanHistoryStartsAtOldestPacket) {
  PacketHistory h(35.0);
  Feeder feed(h, clock_);
  // The first pictures after a start may depend on a keyframe that never arrived.
  for (int i = 0; i < 3; ++i) feed.Video(i * kSecond / 60, false);
  feed.VideoRun(3 * kSecond / 60, 60 * 8 - 3, 120);
  const auto snap = h.SnapshotVideo(30);
  ASSERT_EQ(snap.size(), 480u);
  EXPECT_FALSE(snap.front().keyframe);
  EXPECT_EQ(snap.front().timestampNs, 0);
}

TEST_F(PacketHistoryTest, SnapshotFromBounds) {
  PacketHistory h(60.0);
  Feeder feed(h, clock_);
  EXPECT_TRUE(h.SnapshotFrom(0).empty());
  for (int i = 0; i < 10; ++i) feed.Video(kSecond + i * 100 * kMs, true);

  EXPECT_TRUE(h.SnapshotFrom(kSecond + 900 * kMs + 1).empty());
  EXPECT_EQ(h.SnapshotFrom(0).size(), 10u);
  const auto exact = h.SnapshotFrom(kSecond + 300 * kMs);  // not less than: includes it
  ASSERT_EQ(exact.size(), 7u);
  EXPECT_EQ(exact.front().timestampNs, kSecond + 300 * kMs);
  const auto between = h.SnapshotFrom(kSecond + 300 * kMs + 1);
  ASSERT_EQ(between.size(), 6u);
  EXPECT_EQ(between.front().timestampNs, kSecond + 400 * kMs);
  EXPECT_EQ(h.SnapshotFrom(kSecond + 900 * kMs).size(), 1u);
}

TEST_F(PacketHistoryTest, SnapshotSurvivesLaterAppendEvictionAndClear) {
  PacketHistory h(5.0);
  Feeder feed(h, clock_);
  feed.VideoRun(0, 60 * 4, 60);
  const auto video = h.SnapshotVideo(30);
  const auto from = h.SnapshotFrom(2 * kSecond);
  ASSERT_EQ(video.size(), 240u);
  ASSERT_EQ(from.size(), 120u);

  // Evict everything the snapshots hold, then clear, then refill.
  feed.VideoRun(60 * kSecond, 60 * 10, 60);
  ASSERT_GT(All(h).front().timestampNs, 50 * kSecond);
  h.Clear();
  EXPECT_EQ(h.Size(), 0u);
  EXPECT_TRUE(h.SnapshotVideo(30).empty());
  feed.VideoRun(100 * kSecond, 10, 5);

  for (size_t i = 0; i < video.size(); ++i) {
    ASSERT_TRUE(PayloadIntact(video[i], i)) << i;
    ASSERT_EQ(video[i].timestampNs, static_cast<int64_t>(i) * kSecond / 60);
    ASSERT_EQ(video[i].keyframe, i % 60 == 0);
  }
  for (size_t i = 0; i < from.size(); ++i) ASSERT_TRUE(PayloadIntact(from[i], 120 + i)) << i;
}

TEST_F(PacketHistoryTest, AppendMovesThePayloadAndEmptiesTheCallersVector) {
  PacketHistory h(10.0);
  PacketBytes bytes = Payload(5, 4096);
  const uint8_t* original = bytes.data();
  h.Append(std::move(bytes), true, 123, 1024);
  EXPECT_TRUE(bytes.empty());  // NOLINT(bugprone-use-after-move): the interface promises it

  const auto snap = h.SnapshotFrom(0);
  ASSERT_EQ(snap.size(), 1u);
  EXPECT_EQ(snap[0].data(), original);  // moved, not copied
  EXPECT_TRUE(PayloadIntact(snap[0], 5, 4096));
  EXPECT_EQ(snap[0].timestampNs, 123);
  EXPECT_EQ(snap[0].sampleCount, 1024);

  // The caller may reuse its vector without touching the stored packet.
  bytes.assign(4096, 0xEE);
  EXPECT_TRUE(PayloadIntact(h.SnapshotFrom(0)[0], 5, 4096));
}

TEST_F(PacketHistoryTest, AppendingAndSnapshottingThreadsSeeConsistentState) {
  PacketHistory h(1.0);
  constexpr int kPackets = 6000;
  std::atomic<int> appended{0};
  std::atomic<int> snapshots{0};

  std::thread appender([&] {
    while (snapshots == 0) std::this_thread::yield();  // make sure the two really overlap
    for (int i = 0; i < kPackets; ++i) {
      if (i % 64 == 0) std::this_thread::yield();
      clock_.Advance(kSecond / 60);
      h.Append(Payload(i, 256), i % 30 == 0, clock_.NowNs());
      appended = i + 1;
    }
  });

  std::string fault;
  int nonEmpty = 0;
  while (appended < kPackets && fault.empty()) {
    const auto snap =
        (snapshots % 2) ? h.SnapshotVideo(0.5) : h.SnapshotFrom(clock_.NowNs() - kSecond);
    if (!snap.empty()) ++nonEmpty;
    // A snapshot is one contiguous, unchanged stretch of the history.
    for (size_t i = 0; i < snap.size() && fault.empty(); ++i) {
      const uint64_t index = IndexOf(snap[i]);
      if (!PayloadIntact(snap[i], index, 256)) fault = "payload of " + std::to_string(index);
      if (i > 0 && index != IndexOf(snap[i - 1]) + 1) fault = "gap before " + std::to_string(index);
    }
    if (++snapshots % 50 == 0) h.SetCapacity(snapshots % 100 ? 2.0 : 1.0);
    // Clears stop early enough for the store to fill again before the appender ends.
    if (snapshots % 333 == 0 && appended < kPackets - 600) h.Clear();
  }
  appender.join();
  EXPECT_EQ(fault, "");
  EXPECT_GT(nonEmpty, 0);

  // The store ends as one capacity's worth of the newest packets.
  const auto all = All(h);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(IndexOf(all.back()), static_cast<uint64_t>(kPackets - 1));
  EXPECT_LT(clock_.NowNs() - all.front().timestampNs,
            static_cast<int64_t>(h.Capacity() * kSecond) + kSecond / 2);
}

}  // namespace
}  // namespace halvex

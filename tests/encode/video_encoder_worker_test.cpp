#include "encode/video_encoder_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "core/clock.h"
#include "core/log.h"
#include "encode/fakes.h"

namespace halvex {
namespace {

using test::FakeEncoder;
using test::FakeSlotBackend;

constexpr char kBacklogWarning[] =
    "[V19] AVISO: NVENC no vacio el backlog en 0 ms; F8 continua sin bloquear la captura.";
constexpr char kNonMonotonic[] = "V19 FIXED6: frame descartado por timestamp de video no monotono.";

class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() {
    auto encoder = std::make_unique<FakeEncoder>();
    auto slots = std::make_unique<FakeSlotBackend>();
    encoder_ = encoder.get();
    slots_ = slots.get();
    worker_ = std::make_unique<VideoEncoderWorker>(std::move(encoder), std::move(slots));
  }

  bool Start(int poolSize = 8, VideoCodec codec = VideoCodec::H264) {
    return worker_->Start(640, 360, 60, 8000, &history_, poolSize, codec);
  }
  bool Submit(int64_t ts) { return worker_->SubmitFrame(Picture{}, ts); }
  void Drain() { ASSERT_TRUE(worker_->WaitForBacklog(10000)); }

  std::vector<int64_t> Timestamps() const {
    std::vector<int64_t> out;
    for (const EncodedPacket& p : history_.SnapshotFrom(INT64_MIN)) out.push_back(p.timestampNs);
    return out;
  }

  // The history evicts by the clock; keep it at the test's small time stamps.
  ManualClock clock_{0};
  ScopedClockSource clockScope_{&clock_};
  log::Capture capture_;
  PacketHistory history_{60.0};
  FakeEncoder* encoder_ = nullptr;
  FakeSlotBackend* slots_ = nullptr;
  std::unique_ptr<VideoEncoderWorker> worker_;
};

TEST_F(WorkerTest, PoolOfZeroOrOneNoHistoryOrNoSlotsFailsWithoutStartingAThread) {
  EXPECT_FALSE(Start(0));
  EXPECT_FALSE(Start(1));
  EXPECT_FALSE(worker_->Start(640, 360, 60, 8000, nullptr, 8, VideoCodec::H264));
  EXPECT_EQ(encoder_->InitializeCalls(), 0);  // the encoder opens only on a worker thread
  EXPECT_FALSE(worker_->Running());
  EXPECT_FALSE(Submit(1));

  slots_->createSucceeds = false;
  EXPECT_FALSE(Start());
  EXPECT_EQ(encoder_->InitializeCalls(), 0);
  EXPECT_FALSE(worker_->Running());
}

TEST_F(WorkerTest, EncoderThatCannotOpenFailsStartAndReleasesThePool) {
  encoder_->openSucceeds = false;
  EXPECT_FALSE(Start());
  EXPECT_TRUE(capture_.Contains("V19: el worker no pudo inicializar NVENC en su propio hilo."));
  EXPECT_EQ(encoder_->InitializeCalls(), 1);
  EXPECT_EQ(slots_->Slots(), 0);
  EXPECT_FALSE(worker_->Running());
  EXPECT_FALSE(Submit(1));
}

TEST_F(WorkerTest, DeliversInOrderWithKeyframeOnlyOnFirstFrame) {
  ASSERT_TRUE(Start(8, VideoCodec::Hevc));
  EXPECT_TRUE(capture_.Contains(
      "V24: worker de video iniciado (codec=H.265 / HEVC, pool=8, sync GPU por "
      "ID3D11_QUERY_EVENT, captura y NVENC desacoplados)."));
  EXPECT_EQ(encoder_->lastCodec, VideoCodec::Hevc);
  for (int i = 1; i <= 20; ++i) {
    ASSERT_TRUE(Submit(i * 1000));
    if (i % 4 == 0) Drain();  // keep under the pool size
  }
  Drain();
  EXPECT_EQ(worker_->FramesSubmitted(), 20u);
  EXPECT_EQ(worker_->FramesEncoded(), 20u);
  EXPECT_EQ(worker_->FramesDropped(), 0u);
  const auto packets = history_.SnapshotFrom(INT64_MIN);
  ASSERT_EQ(packets.size(), 20u);
  for (size_t i = 0; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].timestampNs, static_cast<int64_t>(i + 1) * 1000);
    EXPECT_EQ(packets[i].keyframe, i == 0);
  }
}

TEST_F(WorkerTest, FullPoolDropsAndCountsTheNextFrameAndBacklogReportsIt) {
  ASSERT_TRUE(Start(8));
  EXPECT_TRUE(worker_->WaitForBacklog(0));
  EXPECT_FALSE(capture_.Contains("AVISO"));

  encoder_->Hold();
  for (int i = 1; i <= 8; ++i) ASSERT_TRUE(Submit(i));
  encoder_->WaitStarted(1);
  EXPECT_FALSE(Submit(9));
  EXPECT_EQ(worker_->FramesDropped(), 1u);
  EXPECT_EQ(worker_->FramesSubmitted(), 8u);

  EXPECT_FALSE(worker_->WaitForBacklog(0));
  EXPECT_EQ(capture_.Count(kBacklogWarning), 1u);

  encoder_->Release();
  Drain();
  EXPECT_EQ(Timestamps(), (std::vector<int64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(worker_->FramesDropped(), 1u);
  EXPECT_TRUE(Submit(10));  // slots are free again
}

TEST_F(WorkerTest, NonRisingTimeStampIsDroppedUntilTheTimelineIsReset) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Submit(100));
  ASSERT_TRUE(Submit(100));
  ASSERT_TRUE(Submit(50));
  Drain();
  EXPECT_EQ(Timestamps(), (std::vector<int64_t>{100}));
  EXPECT_EQ(worker_->FramesDropped(), 2u);
  EXPECT_EQ(capture_.Count(kNonMonotonic), 2u);

  worker_->ResetTimeline(1);
  ASSERT_TRUE(Submit(100));
  ASSERT_TRUE(Submit(101));
  Drain();
  const auto packets = history_.SnapshotFrom(INT64_MIN);
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(packets[1].timestampNs, 100);
  EXPECT_TRUE(packets[1].keyframe);  // the new timeline starts on a keyframe
  EXPECT_FALSE(packets[2].keyframe);
  EXPECT_EQ(worker_->FramesDropped(), 2u);
}

TEST_F(WorkerTest, FramesOfAnOldEpochAreEncodedButNeitherDeliveredNorCounted) {
  ASSERT_TRUE(Start());
  encoder_->Hold();
  ASSERT_TRUE(Submit(1000));
  ASSERT_TRUE(Submit(2000));
  encoder_->WaitStarted(1);
  worker_->ResetTimeline(7);
  ASSERT_TRUE(Submit(10));  // earlier than the old frames: a new timeline may start anywhere
  encoder_->Release();
  Drain();
  EXPECT_EQ(encoder_->ForceFlags(), (std::vector<bool>{true, false, true}));
  const auto packets = history_.SnapshotFrom(INT64_MIN);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].timestampNs, 10);
  EXPECT_TRUE(packets[0].keyframe);
  EXPECT_EQ(worker_->FramesEncoded(), 1u);
  EXPECT_EQ(worker_->FramesDropped(), 0u);
  EXPECT_FALSE(capture_.Contains(kNonMonotonic));
}

TEST_F(WorkerTest, FailedEncodeIsNotDeliveredNorCountedButFailedCopyIsDropped) {
  ASSERT_TRUE(Start());
  encoder_->FailNextEncode();
  ASSERT_TRUE(Submit(1));
  Drain();
  EXPECT_EQ(worker_->FramesEncoded(), 0u);
  EXPECT_EQ(worker_->FramesDropped(), 0u);

  slots_->SetCopyState(ISlotBackend::CopyState::Failed);
  ASSERT_TRUE(Submit(2));
  Drain();
  EXPECT_EQ(worker_->FramesDropped(), 1u);
  EXPECT_EQ(encoder_->ForceFlags().size(), 1u);  // a failed copy never reaches the encoder

  slots_->SetCopyState(ISlotBackend::CopyState::Done);
  ASSERT_TRUE(Submit(3));
  Drain();
  EXPECT_EQ(Timestamps(), (std::vector<int64_t>{3}));
}

TEST_F(WorkerTest, ContextThatCannotBeSharedRefusesTheFrameAndIsRetried) {
  ASSERT_TRUE(Start());
  slots_->attachSucceeds = false;
  EXPECT_FALSE(Submit(1));
  EXPECT_FALSE(Submit(2));
  EXPECT_EQ(worker_->FramesDropped(), 0u);
  slots_->attachSucceeds = true;
  EXPECT_TRUE(Submit(3));
  EXPECT_TRUE(Submit(4));
  Drain();
  EXPECT_EQ(slots_->attachCalls, 3);  // once attached, it stays attached until stop
  EXPECT_EQ(Timestamps(), (std::vector<int64_t>{3, 4}));
  worker_->Stop();
  EXPECT_FALSE(slots_->attached);
}

TEST_F(WorkerTest, StopDeliversQueuedFramesBeforeEnding) {
  ASSERT_TRUE(Start());
  encoder_->Hold();
  for (int i = 1; i <= 6; ++i) ASSERT_TRUE(Submit(i));
  encoder_->WaitStarted(1);
  std::thread stopper([&] { worker_->Stop(); });
  // Give Stop time to raise its flag while frames are still queued.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  encoder_->Release();
  stopper.join();
  EXPECT_FALSE(worker_->Running());
  EXPECT_EQ(Timestamps(), (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(worker_->FramesEncoded(), 6u);
  EXPECT_EQ(slots_->Slots(), 0);
  EXPECT_TRUE(worker_->WaitForBacklog(0));  // not running: nothing to wait for
  EXPECT_FALSE(Submit(7));
}

TEST_F(WorkerTest, StopGivesUpOnACopyThatNeverFinishes) {
  ASSERT_TRUE(Start());
  slots_->SetCopyState(ISlotBackend::CopyState::Pending);
  ASSERT_TRUE(Submit(1));
  worker_->Stop();
  EXPECT_EQ(worker_->FramesEncoded(), 0u);
  EXPECT_EQ(worker_->FramesDropped(), 1u);
}

TEST_F(WorkerTest, ForcesAKeyframeTwoSecondsAfterTheLastOneAndAgainAfterAFailedOne) {
  ASSERT_TRUE(worker_->Start(640, 360, 2, 8000, &history_, 8, VideoCodec::H264));  // period 4
  int64_t ts = 0;
  auto submitOne = [&] {
    ASSERT_TRUE(Submit(++ts));
    Drain();
  };
  for (int i = 0; i < 3; ++i) submitOne();
  worker_->ResetTimeline(1);  // forced at the fourth picture: the period starts again there
  for (int i = 0; i < 4; ++i) submitOne();
  encoder_->FailNextEncode();  // the eighth picture is due but comes out as nothing
  submitOne();
  submitOne();
  submitOne();
  EXPECT_EQ(encoder_->ForceFlags(), (std::vector<bool>{true, false, false, true, false, false,
                                                        false, true, true, false}));
}

TEST_F(WorkerTest, RestartResetsCountersAndForcesAKeyframe) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Submit(5));
  Drain();
  ASSERT_TRUE(Start(4, VideoCodec::Av1));
  EXPECT_EQ(worker_->FramesSubmitted(), 0u);
  ASSERT_TRUE(Submit(1));  // the time stamp check starts over too
  Drain();
  EXPECT_EQ(encoder_->ForceFlags(), (std::vector<bool>{true, true}));
  EXPECT_EQ(worker_->FramesEncoded(), 1u);
  worker_->LogCounters();
  EXPECT_TRUE(capture_.Contains("Frames de video enviados a NVENC: 1"));
  EXPECT_TRUE(capture_.Contains("Frames de video codificados: 1"));
  EXPECT_TRUE(capture_.Contains("Frames de video descartados por backlog: 0"));
}

// A software encoder that needs `costMs` for every picture of a 60 fps capture, fed
// `submissions` frames 1/60 s apart.
struct LoadRun {
  const char* name;
  bool adapts;
  int fasterSettings;
  int64_t costMs;
  int submissions;
  int speedUps;            // faster settings taken
  std::vector<int> rates;  // rates the encoder was reopened at
  uint64_t encoded;
  uint64_t leftOut;
};

TEST_F(WorkerTest, EncoderThatFallsBehindGoesFasterThenHalvesItsRateAndSaysSoOnce) {
  constexpr int64_t kCaptureIntervalNs = 16'666'667;
  const std::vector<LoadRun> runs = {
      {"keeps up", true, 1, 10, 600, 0, {}, 600, 0},
      // Two windows of 25 pictures (500 ms of encoding each) behind: a faster setting; 50 more:
      // 30 fps, at which 20 ms keeps up and every other frame is taken.
      {"a faster setting, then 30 fps", true, 1, 20, 600, 1, {30}, 100 + 250, 250},
      // 26 pictures at 60 fps, 26 at 30 fps, then every fourth at 15 fps, the lowest.
      {"no faster setting, 30 then 15 fps", true, 0, 40, 600, 0, {30, 15}, 26 + 26 + 130, 418},
      {"a hardware encoder is left alone", false, 1, 40, 600, 0, {}, 600, 0},
  };
  for (const LoadRun& run : runs) {
    SCOPED_TRACE(run.name);
    auto encoder = std::make_unique<FakeEncoder>();
    FakeEncoder* fake = encoder.get();
    fake->adapts = run.adapts;
    fake->fasterSettings = run.fasterSettings;
    fake->clock = &clock_;
    fake->encodeCostNs = run.costMs * 1'000'000;
    VideoEncoderWorker worker(std::move(encoder), std::make_unique<FakeSlotBackend>());
    PacketHistory history(60.0);
    log::Capture capture;
    ASSERT_TRUE(worker.Start(1920, 1080, 60, 12000, &history, 8, VideoCodec::H264));
    const int64_t start = clock_.NowNs();
    for (int i = 0; i < run.submissions; ++i) {
      // One at a time: which frames are taken depends on whether the change came first.
      worker.SubmitFrame(Picture{}, start + i * kCaptureIntervalNs);
      ASSERT_TRUE(worker.WaitForBacklog(10000));
    }
    ASSERT_TRUE(worker.WaitForBacklog(10000));
    EXPECT_EQ(fake->SpeedUps(), run.speedUps);
    EXPECT_EQ(fake->Rates(), run.rates);
    EXPECT_EQ(worker.EncoderFrameRate(), run.rates.empty() ? 60 : run.rates.back());
    EXPECT_EQ(worker.FramesEncoded(), run.encoded);
    EXPECT_EQ(worker.FramesLeftOut(), run.leftOut);
    EXPECT_EQ(worker.FramesDropped(), 0u);
    const bool adapted = run.speedUps > 0 || !run.rates.empty();
    EXPECT_EQ(capture.Count("[VIDEO] AVISO: "), adapted ? 1u : 0u);
    if (run.speedUps > 0) {
      EXPECT_TRUE(capture.Contains("pasa al ajuste rapido1"));
    }
    for (int rate : run.rates) {
      EXPECT_TRUE(capture.Contains("baja a " + std::to_string(rate) + " fps (1920x1080, keyframe cada " +
                                   std::to_string(2 * rate) + " frames)"));
    }
    worker.LogCounters();
    EXPECT_EQ(capture.Contains("Frames de video omitidos por la tasa reducida: " +
                               std::to_string(run.leftOut)),
              run.leftOut > 0);
    worker.Stop();
  }
}

TEST_F(WorkerTest, KeyframesStayTwoSecondsApartAtTheHalvedRateAndTakenFramesEvenlySpaced) {
  encoder_->adapts = true;
  encoder_->clock = &clock_;
  encoder_->encodeCostNs = 20'000'000;  // behind at 60 fps, keeping up at 30
  ASSERT_TRUE(worker_->Start(1920, 1080, 60, 12000, &history_, 8, VideoCodec::H264));
  constexpr int64_t kInterval = 16'666'667;
  // Capture jitters by up to 3 ms around its 60 fps slots.
  const int64_t jitter[] = {0, 3'000'000, -3'000'000, 1'000'000};
  for (int i = 0; i < 480; ++i) {
    Submit(1'000'000'000 + i * kInterval + jitter[i % 4]);
    Drain();
  }
  Drain();
  ASSERT_EQ(encoder_->Rates(), std::vector<int>{30});
  std::vector<int> forced;
  const auto flags = encoder_->ForceFlags();
  for (size_t i = 0; i < flags.size(); ++i) {
    if (flags[i]) forced.push_back(static_cast<int>(i));
  }
  // Every 120 pictures at 60 fps; the rate changed after picture 49: every 60 from there.
  EXPECT_EQ(forced, (std::vector<int>{0, 50, 110, 170, 230}));
  ASSERT_EQ(flags.size(), 50u + 215u);

  const auto packets = history_.SnapshotFrom(INT64_MIN);
  ASSERT_EQ(packets.size(), 265u);
  for (size_t i = 51; i < packets.size(); ++i) {
    const int64_t gap = packets[i].timestampNs - packets[i - 1].timestampNs;
    EXPECT_GE(gap, 2 * kInterval - 6'000'000) << i;
    EXPECT_LE(gap, 2 * kInterval + 6'000'000) << i;
  }
}

}  // namespace
}  // namespace halvex

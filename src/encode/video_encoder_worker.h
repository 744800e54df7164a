#pragma once
// Decouples capture from encoding. The capture loop copies each picture into a free pool slot and
// goes on at once; one worker thread owns the encoder, waits for each copy, encodes it and appends
// the picture to the video history. Capture never waits: a frame that finds no free slot is dropped.
// A software encoder that cannot keep up is switched to a faster setting and then to half the
// rate; at a lower rate the worker takes evenly spaced frames and leaves the others out.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/packet_history.h"
#include "encode/encoder.h"
#include "encode/encoder_load_monitor.h"
#include "encode/keyframe_schedule.h"
#include "encode/slot_backend.h"

namespace halvex {

class VideoEncoderWorker {
 public:
  VideoEncoderWorker(std::unique_ptr<IEncoder> encoder, std::unique_ptr<ISlotBackend> slots);
  ~VideoEncoderWorker();
  VideoEncoderWorker(const VideoEncoderWorker&) = delete;
  VideoEncoderWorker& operator=(const VideoEncoderWorker&) = delete;

  // Stops any previous run, creates `poolSize` slots (at least 2) and opens the encoder on the new
  // worker thread. False when anything fails; nothing is left running then.
  bool Start(int width, int height, int fps, int kbps, PacketHistory* history, int poolSize,
             VideoCodec codec);

  // Capture loop: copies the picture into a free slot and queues it. False when the frame was not
  // queued (not running, nothing to copy, no free slot, which counts as dropped, or closer to the
  // last one taken than the lowered rate allows, which counts as left out).
  bool SubmitFrame(const Picture& source, int64_t timestampNs);

  // Starts a new timeline: frames of older epochs are never delivered, the next submitted frame is
  // a keyframe, and time stamps may start over.
  void ResetTimeline(uint64_t epoch);

  // True when nothing is queued or being encoded, waiting at most `milliseconds` for that.
  bool WaitForBacklog(int64_t milliseconds);
  // What log lines call the encoder ("NVENC" on Windows, the libavcodec encoder on Linux).
  std::string EncoderMechanism() const { return encoder_->MechanismName(); }

  // Delivers what is queued, ends the worker and releases everything.
  void Stop();

  bool Running() const { return running_.load(); }
  uint64_t FramesSubmitted() const { return submitted_.load(); }
  uint64_t FramesEncoded() const { return encoded_.load(); }
  uint64_t FramesDropped() const { return dropped_.load(); }
  uint64_t FramesLeftOut() const { return leftOut_.load(); }
  // The rate the encoder runs at: the started one until load halved it.
  int EncoderFrameRate() const { return currentFps_.load(); }
  // The three exit lines of the main loop.
  void LogCounters() const;

 private:
  enum class SlotState : int32_t { Free = 0, Queued = 1, Busy = 2 };
  struct Slot {
    int64_t timestampNs = 0;
    uint64_t epoch = 0;
    bool forceKeyframe = false;
    SlotState state = SlotState::Free;
  };

  void ThreadMain();
  void WorkLoop();
  // Waits for the copy into `index`; false when the frame has to be dropped.
  bool WaitForCopy(int index);
  void DropInFlight(int index);
  // Faster setting, then half the rate; says once that the encoder cannot keep up.
  void AdaptToLoad();
  // Whether a frame at `timestampNs` comes before the next one due at the lowered rate; TakenLocked
  // moves the due time on for a frame that was taken.
  bool LeftOutLocked(int64_t timestampNs) const;
  void TakenLocked(int64_t timestampNs);
  void ReleaseRun();

  std::unique_ptr<IEncoder> encoder_;
  std::unique_ptr<ISlotBackend> slots_;

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable progress_;
  std::vector<Slot> pool_;
  std::deque<int32_t> queue_;
  bool ready_ = false;
  bool failed_ = false;
  bool stopRequested_ = false;
  bool forceKeyframeNext_ = false;
  uint64_t epoch_ = 0;
  int64_t lastTimestampNs_ = 0;
  bool hasLastTimestamp_ = false;
  int inFlight_ = 0;
  int64_t takeIntervalNs_ = 0;  // 0 while the rate is the started one
  int64_t nextDueNs_ = 0;       // when the next frame is due at the lowered rate
  int64_t lastTakenNs_ = 0;
  bool hasTaken_ = false;

  std::atomic<bool> running_{false};
  std::atomic<bool> contextAttached_{false};
  std::thread thread_;

  int width_ = 0;
  int height_ = 0;
  int fps_ = 0;
  int kbps_ = 0;
  VideoCodec codec_ = VideoCodec::H264;
  PacketHistory* history_ = nullptr;
  KeyframeSchedule keyframes_;  // the worker thread's, once started
  EncoderLoadMonitor load_;     // the worker thread's, once started
  bool adapts_ = false;         // the worker thread's: the open encoder adapts to load
  bool warnedLoad_ = false;     // the worker thread's
  std::atomic<int> currentFps_{0};  // written by the worker thread only

  std::atomic<uint64_t> submitted_{0};
  std::atomic<uint64_t> encoded_{0};
  std::atomic<uint64_t> dropped_{0};
  std::atomic<uint64_t> leftOut_{0};
};

}  // namespace halvex

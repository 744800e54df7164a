#pragma once
// Fakes for the encoder worker: an encoder that can be held mid-frame and a slot backend whose
// copies can be made to fail or never finish, and that remembers which pictures it copied.
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "core/clock.h"
#include "encode/encoder.h"
#include "encode/slot_backend.h"

namespace halvex::test {

class FakeEncoder final : public IEncoder {
 public:
  using IEncoder::EncodeFrame;
  using IEncoder::Initialize;

  bool Initialize(int width, int height, int fps, int kbps, VideoCodec codec) override {
    std::lock_guard lock(mutex_);
    ++initializeCalls;
    lastCodec = codec;
    return openSucceeds;
  }

  bool EncodeFrame(const Picture&, PacketBytes& bytes, bool& isKeyframe, bool force) override {
    std::unique_lock lock(mutex_);
    ++started_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !held_; });
    forceFlags.push_back(force);
    if (clock != nullptr) clock->Advance(encodeCostNs);
    bytes.assign({0, 0, 0, 1, static_cast<uint8_t>(forceFlags.size())});
    isKeyframe = force;
    if (failNext_) {
      failNext_ = false;
      return false;
    }
    return true;
  }

  void Shutdown() override {
    std::lock_guard lock(mutex_);
    ++shutdownCalls;
  }

  bool AdaptsToLoad() const override { return adapts; }
  bool CanSpeedUp() const override {
    std::lock_guard lock(mutex_);
    return speedUps_ < fasterSettings;
  }
  bool SpeedUp() override {
    std::lock_guard lock(mutex_);
    ++speedUps_;
    return true;
  }
  bool ChangeFrameRate(int fps) override {
    std::lock_guard lock(mutex_);
    rates_.push_back(fps);
    return true;
  }
  std::string SpeedSetting() const override {
    std::lock_guard lock(mutex_);
    return "rapido" + std::to_string(speedUps_);
  }
  int SpeedUps() {
    std::lock_guard lock(mutex_);
    return speedUps_;
  }
  // The rates the encoder was reopened at, in order.
  std::vector<int> Rates() {
    std::lock_guard lock(mutex_);
    return rates_;
  }

  // While held, EncodeFrame blocks once it has started.
  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }
  // Blocks until `count` frames have entered EncodeFrame.
  void WaitStarted(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return started_ >= count; });
  }
  void FailNextEncode() {
    std::lock_guard lock(mutex_);
    failNext_ = true;
  }
  std::vector<bool> ForceFlags() {
    std::lock_guard lock(mutex_);
    return forceFlags;
  }
  int InitializeCalls() {
    std::lock_guard lock(mutex_);
    return initializeCalls;
  }

  bool openSucceeds = true;  // set before Start
  VideoCodec lastCodec = VideoCodec::H264;
  // Set before Start: a software encoder whose every picture takes `encodeCostNs` on `clock`,
  // with `fasterSettings` speed steps left.
  bool adapts = false;
  int fasterSettings = 0;
  ManualClock* clock = nullptr;
  int64_t encodeCostNs = 0;

 private:
  mutable std::mutex mutex_;
  int speedUps_ = 0;
  std::vector<int> rates_;
  std::condition_variable changed_;
  bool held_ = false;
  bool failNext_ = false;
  int started_ = 0;
  int initializeCalls = 0;
  int shutdownCalls = 0;
  std::vector<bool> forceFlags;
};

class FakeSlotBackend final : public ISlotBackend {
 public:
  bool CreateSlots(int, int, int count) override {
    std::lock_guard lock(mutex_);
    slots = createSucceeds ? count : 0;
    return createSucceeds;
  }
  void ReleaseSlots() override {
    std::lock_guard lock(mutex_);
    slots = 0;
  }
  bool Accepts(const Picture&) const override { return true; }
  bool AttachContext(const Picture&) override {
    std::lock_guard lock(mutex_);
    ++attachCalls;
    attached = attachSucceeds;
    return attachSucceeds;
  }
  void DetachContext() override {
    std::lock_guard lock(mutex_);
    attached = false;
  }
  void CopyIntoSlot(int, const Picture& source) override {
    std::lock_guard lock(mutex_);
    copied_.push_back(source.Native());
  }
  CopyState PollCopy(int) override {
    std::lock_guard lock(mutex_);
    return copyState;
  }
  Picture Surface(int) override { return Picture{}; }

  void SetCopyState(CopyState state) {
    std::lock_guard lock(mutex_);
    copyState = state;
  }
  int Slots() {
    std::lock_guard lock(mutex_);
    return slots;
  }
  // The images copied in, in order (a picture's identity is its native part).
  std::vector<const NativePicture*> Copied() {
    std::lock_guard lock(mutex_);
    return copied_;
  }
  void ClearCopied() {
    std::lock_guard lock(mutex_);
    copied_.clear();
  }

  bool createSucceeds = true;  // set before Start
  bool attachSucceeds = true;  // set between submissions
  int attachCalls = 0;
  bool attached = false;

 private:
  std::mutex mutex_;
  int slots = 0;
  CopyState copyState = CopyState::Done;
  std::vector<const NativePicture*> copied_;
};

}  // namespace halvex::test

#include "encode/video_encoder_worker.h"

#include <chrono>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>

#include "core/clock.h"
#include "core/log.h"
#include "encode/thread_apartment.h"

namespace halvex {
namespace {

// A copy still pending when the worker is told to stop gets this long to land before its frame is
// given up, so that stopping cannot hang on a device that never answers.
constexpr auto kStopCopyGrace = std::chrono::milliseconds(500);

std::chrono::steady_clock::time_point DeadlineAfter(int64_t milliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto now = Clock::now();
  if (milliseconds <= 0) return now;
  const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
  if (milliseconds >= room.count()) return Clock::time_point::max();
  return now + std::chrono::milliseconds(milliseconds);
}

std::string Milliseconds(int64_t ns) {
  const int64_t tenths = (ns + 50'000) / 100'000;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace

VideoEncoderWorker::VideoEncoderWorker(std::unique_ptr<IEncoder> encoder,
                                       std::unique_ptr<ISlotBackend> slots)
    : encoder_(std::move(encoder)), slots_(std::move(slots)) {}

VideoEncoderWorker::~VideoEncoderWorker() { Stop(); }

bool VideoEncoderWorker::Start(int width, int height, int fps, int kbps, PacketHistory* history,
                               int poolSize, VideoCodec codec) {
  Stop();
  if (!encoder_ || !slots_ || !history || poolSize <= 1) return false;

  if (!slots_->CreateSlots(width, height, poolSize)) {
    slots_->ReleaseSlots();
    encoder_->Shutdown();
    return false;
  }

  width_ = width;
  height_ = height;
  fps_ = fps;
  kbps_ = kbps;
  codec_ = codec;
  history_ = history;
  keyframes_.Start(fps);
  currentFps_ = fps;
  adapts_ = false;
  warnedLoad_ = false;
  submitted_ = 0;
  encoded_ = 0;
  dropped_ = 0;
  leftOut_ = 0;
  slots_->DetachContext();
  contextAttached_ = false;

  {
    std::lock_guard lock(mutex_);
    epoch_ = 0;
    hasLastTimestamp_ = false;
    lastTimestampNs_ = 0;
    forceKeyframeNext_ = true;
    ready_ = false;
    failed_ = false;
    stopRequested_ = false;
    queue_.clear();
    inFlight_ = 0;
    takeIntervalNs_ = 0;
    hasTaken_ = false;
    pool_.assign(static_cast<size_t>(poolSize), Slot{});
  }

  running_ = true;
  thread_ = std::thread([this] { ThreadMain(); });

  bool ready = false;
  {
    std::unique_lock lock(mutex_);
    progress_.wait(lock, [this] { return ready_ || failed_ || stopRequested_; });
    ready = ready_;
  }
  if (ready) {
    log::Line(std::string("V24: worker de video iniciado (codec=") + VideoCodecDisplayName(codec) +
              ", pool=" + std::to_string(poolSize) +
              ", " + slots_->SyncDescription() + ", captura y " + encoder_->MechanismName() +
              " desacoplados).");
    return true;
  }

  log::Line("V19: el worker no pudo inicializar " + encoder_->MechanismName() +
            " en su propio hilo.");
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  work_.notify_all();
  if (thread_.joinable()) thread_.join();
  ReleaseRun();
  return false;
}

bool VideoEncoderWorker::SubmitFrame(const Picture& source, int64_t timestampNs) {
  if (!running_ || !slots_->Accepts(source)) return false;
  if (!contextAttached_) {
    if (!slots_->AttachContext(source)) return false;
    contextAttached_ = true;
  }

  int index = -1;
  {
    std::lock_guard lock(mutex_);
    if (LeftOutLocked(timestampNs)) {
      ++leftOut_;
      return false;
    }
    for (size_t i = 0; i < pool_.size(); ++i) {
      if (pool_[i].state == SlotState::Free) {
        index = static_cast<int>(i);
        break;
      }
    }
    if (index < 0) {
      ++dropped_;
      return false;
    }
    Slot& slot = pool_[static_cast<size_t>(index)];
    slot.state = SlotState::Busy;
    slot.epoch = epoch_;
    slot.timestampNs = timestampNs;
    slot.forceKeyframe = forceKeyframeNext_;
    forceKeyframeNext_ = false;
    TakenLocked(timestampNs);
  }

  // The copy runs outside the lock so the worker is never held up by it.
  slots_->CopyIntoSlot(index, source);

  {
    std::lock_guard lock(mutex_);
    Slot& slot = pool_[static_cast<size_t>(index)];
    if (stopRequested_) {
      slot.state = SlotState::Free;
      return false;
    }
    slot.state = SlotState::Queued;
    queue_.push_back(index);
  }
  ++submitted_;
  work_.notify_one();
  return true;
}

void VideoEncoderWorker::ResetTimeline(uint64_t epoch) {
  std::lock_guard lock(mutex_);
  epoch_ = epoch;
  hasLastTimestamp_ = false;
  lastTimestampNs_ = 0;
  forceKeyframeNext_ = true;
  hasTaken_ = false;
}

bool VideoEncoderWorker::LeftOutLocked(int64_t timestampNs) const {
  if (takeIntervalNs_ <= 0 || !hasTaken_) return false;
  // A frame from before the last one taken is left to the time stamp check. An eighth of the
  // interval early still counts as on time: capture frames jitter around their slots.
  if (timestampNs < nextDueNs_ - takeIntervalNs_) return false;
  return timestampNs < nextDueNs_ - takeIntervalNs_ / 8;
}

void VideoEncoderWorker::TakenLocked(int64_t timestampNs) {
  // Due times advance by whole intervals so the taken frames stay evenly spaced; after a gap of
  // more than an interval they start again from this frame.
  const bool onTime = hasTaken_ && timestampNs < nextDueNs_ + takeIntervalNs_ &&
                      timestampNs >= nextDueNs_ - takeIntervalNs_;
  nextDueNs_ = (onTime ? nextDueNs_ : timestampNs) + takeIntervalNs_;
  lastTakenNs_ = timestampNs;
  hasTaken_ = true;
}

bool VideoEncoderWorker::WaitForBacklog(int64_t milliseconds) {
  if (!running_) return true;
  const auto deadline = DeadlineAfter(milliseconds);
  std::unique_lock lock(mutex_);
  const bool empty = progress_.wait_until(lock, deadline,
                                          [this] { return queue_.empty() && inFlight_ <= 0; });
  if (!empty) {
    log::Line("[V19] AVISO: " + encoder_->MechanismName() + " no vacio el backlog en " +
              std::to_string(milliseconds) +
              " ms; F8 continua sin bloquear la captura.");
    return false;
  }
  return true;
}

void VideoEncoderWorker::Stop() {
  if (!running_ && !thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  work_.notify_all();
  if (thread_.joinable()) thread_.join();
  ReleaseRun();
}

void VideoEncoderWorker::ReleaseRun() {
  slots_->DetachContext();
  contextAttached_ = false;
  slots_->ReleaseSlots();
  {
    std::lock_guard lock(mutex_);
    pool_.clear();
    queue_.clear();
    inFlight_ = 0;
    ready_ = false;
  }
  history_ = nullptr;
  encoder_->Shutdown();
  running_ = false;
}

void VideoEncoderWorker::LogCounters() const {
  log::Line("Frames de video enviados a " + encoder_->MechanismName() + ": " +
            std::to_string(FramesSubmitted()));
  log::Line("Frames de video codificados: " + std::to_string(FramesEncoded()));
  log::Line("Frames de video descartados por backlog: " + std::to_string(FramesDropped()));
  if (FramesLeftOut() > 0) {
    log::Line("Frames de video omitidos por la tasa reducida: " + std::to_string(FramesLeftOut()));
  }
}

void VideoEncoderWorker::ThreadMain() {
  ThreadApartment apartment;
  bool opened = false;
  try {
    opened = encoder_->Initialize(width_, height_, fps_, kbps_, codec_);
  } catch (const std::exception& e) {
    log::Line(std::string("[VIDEO] AVISO: excepcion al abrir el encoder: ") + e.what());
  } catch (...) {
    log::Line("[VIDEO] AVISO: excepcion desconocida al abrir el encoder.");
  }
  {
    std::lock_guard lock(mutex_);
    ready_ = opened;
    failed_ = !opened;
  }
  progress_.notify_all();
  if (!opened) return;
  adapts_ = encoder_->AdaptsToLoad();
  load_.Start(currentFps_, dropped_.load());

  try {
    WorkLoop();
  } catch (const std::exception& e) {
    log::Line(std::string("[VIDEO] AVISO: el worker de video termino por una excepcion: ") + e.what());
  } catch (...) {
    log::Line("[VIDEO] AVISO: el worker de video termino por una excepcion desconocida.");
  }
  {
    // Whatever an exception left behind must not keep WaitForBacklog waiting.
    std::lock_guard lock(mutex_);
    inFlight_ = 0;
  }
  progress_.notify_all();
  encoder_->Shutdown();
}

void VideoEncoderWorker::WorkLoop() {
  PacketBytes bytes;
  for (;;) {
    int index = -1;
    Slot slot;
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [this] { return !queue_.empty() || stopRequested_; });
      if (queue_.empty()) break;  // stop requested and everything queued is done
      index = queue_.front();
      queue_.pop_front();
      if (index < 0 || static_cast<size_t>(index) >= pool_.size()) {
        lock.unlock();
        progress_.notify_all();
        continue;
      }
      pool_[static_cast<size_t>(index)].state = SlotState::Busy;
      slot = pool_[static_cast<size_t>(index)];
      ++inFlight_;
    }

    if (!contextAttached_ || !WaitForCopy(index)) {
      DropInFlight(index);
      continue;
    }

    bool keyframe = false;
    const int64_t encodeStartNs = NowNs();
    const bool encodedOk = encoder_->EncodeFrame(slots_->Surface(index), bytes, keyframe,
                                                 slot.forceKeyframe ||
                                                     keyframes_.DueAt(slot.timestampNs));
    keyframes_.Encoded(encodedOk && keyframe, slot.timestampNs);
    // Before the picture counts as done, so that a drained backlog has seen the change too.
    if (adapts_ && load_.Observe(NowNs() - encodeStartNs, dropped_.load())) AdaptToLoad();

    bool deliver = false;
    {
      std::lock_guard lock(mutex_);
      // Frames still queued when stop was asked for are delivered: stopping drains, it does not
      // throw away pictures that were already accepted.
      deliver = encodedOk && !bytes.empty() && slot.epoch == epoch_;
      if (deliver && hasLastTimestamp_ && slot.timestampNs <= lastTimestampNs_) {
        deliver = false;
        ++dropped_;
        log::Line("V19 FIXED6: frame descartado por timestamp de video no monotono.");
      }
      if (deliver) {
        lastTimestampNs_ = slot.timestampNs;
        hasLastTimestamp_ = true;
      }
      pool_[static_cast<size_t>(index)].state = SlotState::Free;
      if (inFlight_ > 0) --inFlight_;
      // Appending before the lock is released keeps the history in the order checked above, and
      // WaitForBacklog cannot report an empty backlog before the picture is in the history.
      if (deliver) {
        history_->Append(std::move(bytes), keyframe, slot.timestampNs);
        ++encoded_;
      }
    }
    bytes.clear();
    progress_.notify_all();
  }
}

void VideoEncoderWorker::AdaptToLoad() {
  const std::string name = encoder_->MechanismName();
  const std::string size = std::to_string(width_) + "x" + std::to_string(height_);
  const int rate = currentFps_.load();
  const auto step = EncoderLoadMonitor::ChooseStep(encoder_->CanSpeedUp(), rate);
  if (!warnedLoad_) {
    warnedLoad_ = true;
    log::Line("[VIDEO] AVISO: " + name + " no da abasto a " + size + " y " + std::to_string(rate) +
              " fps (" + Milliseconds(load_.LastMeanEncodeNs()) + " ms por frame de " +
              Milliseconds(load_.FrameIntervalNs()) + " ms, " + std::to_string(FramesDropped()) +
              " descartados); " +
              (step == EncoderLoadMonitor::Step::None
                   ? "no queda un ajuste mas rapido."
                   : "se pasa a un ajuste mas rapido y, si no basta, a menos fps."));
  }
  switch (step) {
    case EncoderLoadMonitor::Step::None:
      break;
    case EncoderLoadMonitor::Step::SpeedUp:
      if (!encoder_->SpeedUp()) throw std::runtime_error(name + " no se pudo reabrir");
      keyframes_.Start(rate);
      log::Line("[VIDEO] " + name + " pasa al ajuste " + encoder_->SpeedSetting() + " (" + size +
                ", " + std::to_string(rate) + " fps).");
      break;
    case EncoderLoadMonitor::Step::HalveRate: {
      const int lower = rate / 2;
      if (!encoder_->ChangeFrameRate(lower)) throw std::runtime_error(name + " no se pudo reabrir");
      currentFps_ = lower;
      // The period stays 2 × fps at the new rate, so a keyframe is still never 2 s away.
      keyframes_.Start(lower);
      {
        std::lock_guard lock(mutex_);
        // The next frame is due one new interval after the last one taken, however quickly the
        // capture loop hands over the frames that follow.
        takeIntervalNs_ = 1'000'000'000 / lower;
        nextDueNs_ = lastTakenNs_ + takeIntervalNs_;
      }
      log::Line("[VIDEO] " + name + " baja a " + std::to_string(lower) + " fps (" + size +
                ", keyframe cada " + std::to_string(2 * lower) + " frames).");
      break;
    }
  }
  load_.Start(currentFps_, dropped_.load());
}

bool VideoEncoderWorker::WaitForCopy(int index) {
  std::chrono::steady_clock::time_point giveUp{};
  bool stopping = false;
  for (;;) {
    switch (slots_->PollCopy(index)) {
      case ISlotBackend::CopyState::Done:
        return true;
      case ISlotBackend::CopyState::Failed:
        return false;
      case ISlotBackend::CopyState::Pending:
        break;
    }
    {
      std::lock_guard lock(mutex_);
      if (stopRequested_ && queue_.empty() && !stopping) {
        stopping = true;
        giveUp = std::chrono::steady_clock::now() + kStopCopyGrace;
      }
    }
    if (stopping && std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::yield();
  }
}

void VideoEncoderWorker::DropInFlight(int index) {
  {
    std::lock_guard lock(mutex_);
    pool_[static_cast<size_t>(index)].state = SlotState::Free;
    if (inFlight_ > 0) --inFlight_;
    ++dropped_;
  }
  progress_.notify_all();
}

}  // namespace halvex

#pragma once
// One connection to the PulseAudio server with its own event thread (a threaded main loop).
// Every call into libpulse on a connection happens with its lock held (PulseLock).
#include <pulse/pulseaudio.h>

#include <functional>
#include <string>

namespace halvex::pulse {

class PulseLock {
 public:
  explicit PulseLock(pa_threaded_mainloop* loop) : loop_(loop) {
    if (loop_) pa_threaded_mainloop_lock(loop_);
  }
  ~PulseLock() {
    if (loop_) pa_threaded_mainloop_unlock(loop_);
  }
  PulseLock(const PulseLock&) = delete;
  PulseLock& operator=(const PulseLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

class PulseConnection {
 public:
  PulseConnection() = default;
  ~PulseConnection() { Disconnect(); }
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  // Connects without spawning a server. On failure `error` holds the reason.
  bool Connect(const char* clientName, std::string& error);
  // Streams made on this connection must be gone before this.
  void Disconnect();

  bool Connected() const { return loop_ != nullptr; }
  // Called on the event thread when the server connection dies after Connect.
  void SetOnFailure(std::function<void()> onFailure) { onFailure_ = std::move(onFailure); }
  // Lock held: whether the context is still usable.
  bool Alive() const;

  pa_threaded_mainloop* Loop() const { return loop_; }
  pa_context* Context() const { return context_; }
  // Lock held, not on the event thread: runs `op` to its end. False when it could not run.
  bool Wait(pa_operation* op);
  // Lock held: wakes a thread in Wait or in a wait of its own.
  void Signal() { pa_threaded_mainloop_signal(loop_, 0); }
  void WaitForSignal() { pa_threaded_mainloop_wait(loop_); }
  std::string LastError() const;

 private:
  static void OnState(pa_context* context, void* self);

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool ready_ = false;
  std::function<void()> onFailure_;
};

// "@DEFAULT_SINK@"/"@DEFAULT_SOURCE@" for an empty id.
std::string SinkName(const std::string& deviceId);
std::string SourceName(const std::string& deviceId);

}  // namespace halvex::pulse

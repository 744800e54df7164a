#include "audio/linux/pulse_connection.h"

namespace halvex::pulse {

void PulseConnection::OnState(pa_context* context, void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  const pa_context_state_t state = pa_context_get_state(context);
  if ((state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) && self->ready_) {
    self->ready_ = false;
    if (self->onFailure_) self->onFailure_();
  } else if (state == PA_CONTEXT_READY) {
    self->ready_ = true;
  }
  pa_threaded_mainloop_signal(self->loop_, 0);
}

bool PulseConnection::Connect(const char* clientName, std::string& error) {
  Disconnect();
  loop_ = pa_threaded_mainloop_new();
  if (!loop_) {
    error = "sin memoria";
    return false;
  }
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), clientName);
  if (!context_) {
    error = "sin memoria";
    Disconnect();
    return false;
  }
  pa_context_set_state_callback(context_, &PulseConnection::OnState, this);
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(loop_) < 0) {
    error = LastError();
    Disconnect();
    return false;
  }
  bool ok = false;
  {
    PulseLock lock(loop_);
    for (;;) {
      const pa_context_state_t state = pa_context_get_state(context_);
      if (state == PA_CONTEXT_READY) {
        ok = true;
        break;
      }
      if (!PA_CONTEXT_IS_GOOD(state)) break;
      pa_threaded_mainloop_wait(loop_);
    }
    if (!ok) error = LastError();
  }
  if (!ok) Disconnect();
  return ok;
}

void PulseConnection::Disconnect() {
  if (!loop_) return;
  if (context_) {
    {
      PulseLock lock(loop_);
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
      pa_context_unref(context_);
      context_ = nullptr;
    }
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
  loop_ = nullptr;
  ready_ = false;
}

bool PulseConnection::Alive() const {
  return context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool PulseConnection::Wait(pa_operation* op) {
  if (!op) return false;
  // Operations without a reply callback of their own wake the waiter through this.
  pa_operation_set_state_callback(
      op, [](pa_operation*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
      },
      loop_);
  while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
  const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
  pa_operation_unref(op);
  return done;
}

std::string PulseConnection::LastError() const {
  return context_ ? pa_strerror(pa_context_errno(context_)) : "sin conexion";
}

std::string SinkName(const std::string& deviceId) {
  return deviceId.empty() ? "@DEFAULT_SINK@" : deviceId;
}

std::string SourceName(const std::string& deviceId) {
  return deviceId.empty() ? "@DEFAULT_SOURCE@" : deviceId;
}

}  // namespace halvex::pulse

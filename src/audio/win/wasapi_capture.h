#pragma once
// The desktop loopback (polled by the capture loop) and the microphone (its own event-driven
// thread filling a bounded queue) over WASAPI. A started capture whose endpoint is invalidated or
// whose audio service stops reopens the endpoint at growing intervals and goes on when it comes
// back in the same format.
#include <windows.h>

#include <atomic>
#include <thread>

#include "audio/audio_sources.h"
#include "audio/capture_recovery.h"
#include "audio/sample_queue.h"
#include "audio/win/wasapi_endpoint.h"

namespace halvex::wasapi {

class WasapiLoopbackCapture final : public ILoopbackCapture {
 public:
  ~WasapiLoopbackCapture() override { Close(); }
  bool Open(const std::string& deviceId) override;
  bool Start() override;
  void Stop() override;
  void Close() override;
  bool Read(std::vector<AudioChunk>& chunks) override;
  int SampleRate() const override { return format_.rate; }
  int Channels() const override { return format_.channels; }
  bool Ended() const override;

 private:
  // Called from Read while the endpoint is lost: one attempt when its time has come.
  void TryReopen();

  WasapiEndpoint endpoint_{WasapiEndpoint::Kind::Loopback};
  std::string deviceId_;
  MixFormat format_;  // as opened; a reopened endpoint must match it
  CaptureHealth health_;
  ReconnectBackoff backoff_;
  int64_t nextAttemptNs_ = 0;
};

class WasapiMicrophoneCapture final : public IMicrophoneCapture {
 public:
  ~WasapiMicrophoneCapture() override { Close(); }
  bool Open(const std::string& deviceId) override;
  bool Start() override;
  void Stop() override;
  void Close() override;
  bool Read(AudioChunk& chunk) override;
  int SampleRate() const override { return format_.rate; }
  int Channels() const override { return format_.channels; }
  bool Ended() const override;

  size_t QueuedSamples() const { return queue_.Size(); }

 private:
  void Run();
  // On the capture thread after the endpoint was lost: reopens it at the backoff's intervals
  // until it records again (true) or the capture stops (false).
  bool Reconnect();
  bool StartClient();
  void CloseEvent();

  WasapiEndpoint endpoint_{WasapiEndpoint::Kind::Microphone};
  HANDLE event_ = nullptr;  // lives as long as the client it was given to
  bool eventSet_ = false;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::string deviceId_;
  MixFormat format_;
  CaptureHealth health_;
  SampleQueue queue_;
};

// A capture that lost its device: logged once per source.
void ReportEnded(const char* what, HRESULT hr);

}  // namespace halvex::wasapi

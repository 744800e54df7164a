#pragma once
// The desktop loopback (polled by the capture loop) and the microphone (its own event-driven
// thread filling a bounded queue) over WASAPI.
#include <windows.h>

#include <atomic>
#include <thread>

#include "audio/audio_sources.h"
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
  int SampleRate() const override { return endpoint_.Format().rate; }
  int Channels() const override { return endpoint_.Format().channels; }
  bool Ended() const override { return ended_; }

 private:
  WasapiEndpoint endpoint_{WasapiEndpoint::Kind::Loopback};
  bool ended_ = false;
};

class WasapiMicrophoneCapture final : public IMicrophoneCapture {
 public:
  ~WasapiMicrophoneCapture() override { Close(); }
  bool Open(const std::string& deviceId) override;
  bool Start() override;
  void Stop() override;
  void Close() override;
  bool Read(AudioChunk& chunk) override;
  int SampleRate() const override { return endpoint_.Format().rate; }
  int Channels() const override { return endpoint_.Format().channels; }
  bool Ended() const override { return ended_; }

  size_t QueuedSamples() const { return queue_.Size(); }

 private:
  void Run();
  void CloseEvent();

  WasapiEndpoint endpoint_{WasapiEndpoint::Kind::Microphone};
  HANDLE event_ = nullptr;  // lives as long as the client it was given to
  bool eventSet_ = false;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> ended_{false};
  SampleQueue queue_;
};

// A capture that lost its device: logged once per source.
void ReportEnded(const char* what, HRESULT hr);

}  // namespace halvex::wasapi

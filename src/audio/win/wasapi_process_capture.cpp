#include "audio/win/wasapi_process_capture.h"

#include <audioclient.h>
#include <mmreg.h>
#include <wrl/client.h>

#include <vector>

#include "audio/win/activation_handler.h"
#include "audio/win/process_loopback_abi.h"
#include "audio/win/wasapi_endpoint.h"
#include "audio/win/wasapi_format.h"
#include "core/audio_timeline.h"
#include "core/log.h"
#include "core/win/com_apartment.h"
#include "core/win/hresult_text.h"

namespace halvex::wasapi {
namespace {

using Microsoft::WRL::ComPtr;

constexpr DWORD kActivationTimeoutMs = 5000;
constexpr DWORD kWaitMs = 50;

}  // namespace

ProcessLoopbackCapture::ProcessLoopbackCapture(AudioProcessId pid) : pid_(pid) {
  thread_ = std::thread([this] { Run(); });
  std::unique_lock lock(setupMutex_);
  setupCv_.wait(lock, [this] { return setupDone_; });
}

ProcessLoopbackCapture::~ProcessLoopbackCapture() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ProcessLoopbackCapture::SetupDone() {
  std::lock_guard lock(setupMutex_);
  setupDone_ = true;
  setupCv_.notify_all();
}

void ProcessLoopbackCapture::Run() {
  ComApartment com;
  const std::string who =
      "[AUDIO] AVISO: captura por aplicacion (PID " + std::to_string(pid_) + "): ";
  auto fail = [&](const char* what, HRESULT hr) {
    log::Line(who + what + " fallo (hr=0x" + HrHex(hr) + ")");
    SetupDone();
  };
  if (!com.Ok()) return fail("CoInitializeEx", com.Result());
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!event) return fail("CreateEvent", HRESULT_FROM_WIN32(GetLastError()));

  ComPtr<IAudioClient> client;
  ComPtr<IAudioCaptureClient> capture;
  HRESULT hr = S_OK;
  const char* step = nullptr;
  {
    AUDIOCLIENT_ACTIVATION_PARAMS params{};
    params.ActivationType = AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK;
    params.ProcessLoopbackParams.TargetProcessId = pid_;
    params.ProcessLoopbackParams.ProcessLoopbackMode =
        PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE;
    PROPVARIANT activation{};
    activation.vt = VT_BLOB;
    activation.blob.cbSize = sizeof(params);
    activation.blob.pBlobData = reinterpret_cast<BYTE*>(&params);

    ComPtr<ActivationHandler> handler;
    handler.Attach(ActivationHandler::Create());
    ComPtr<IActivateAudioInterfaceAsyncOperation> operation;
    hr = ActivateAudioInterface(VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK, __uuidof(IAudioClient),
                                &activation, handler.Get(), &operation);
    step = "ActivateAudioInterfaceAsync";
    if (SUCCEEDED(hr)) {
      if (!handler->Wait(kActivationTimeoutMs)) {
        hr = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
      } else {
        hr = handler->Result();
        if (SUCCEEDED(hr)) hr = handler->Interface()->QueryInterface(IID_PPV_ARGS(&client));
      }
    }
  }
  if (SUCCEEDED(hr)) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kProcessCaptureChannels;
    format.nSamplesPerSec = kProcessCaptureRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 192000;
    step = "IAudioClient::Initialize";
    hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                            AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                                AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM,
                            0, 0, &format, nullptr);
  }
  if (SUCCEEDED(hr)) {
    step = "GetService(IAudioCaptureClient)";
    hr = client->GetService(IID_PPV_ARGS(&capture));
  }
  if (SUCCEEDED(hr)) {
    step = "SetEventHandle";
    hr = client->SetEventHandle(event);
  }
  if (SUCCEEDED(hr)) {
    step = "IAudioClient::Start";
    hr = client->Start();
  }
  if (FAILED(hr)) {
    CloseHandle(event);
    return fail(step, hr);
  }
  running_ = true;
  SetupDone();

  MixFormat pcm16;
  pcm16.rate = kProcessCaptureRate;
  pcm16.channels = kProcessCaptureChannels;
  pcm16.containerBits = 16;
  pcm16.blockAlign = 4;
  std::vector<float> buffer;
  while (!stop_) {
    if (WaitForSingleObject(event, kWaitMs) == WAIT_FAILED) break;
    bool readAny = false;
    DrainPackets(capture.Get(), pcm16, buffer, readAny, hr, &stop_,
                 [this](const std::vector<float>& samples, UINT32 frames, int64_t captureNs) {
                   // The mixer lines each program up with the others by these times.
                   queue_.Append(samples.data(), samples.size(),
                                 captureNs + FramesToNs(frames, kProcessCaptureRate));
                 });
    if (hr == AUDCLNT_E_DEVICE_INVALIDATED) break;
  }
  client->Stop();
  CloseHandle(event);
  running_ = false;
}

}  // namespace halvex::wasapi

#include "audio/win/wasapi_sessions.h"

#include <mmdeviceapi.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "audio/win/wasapi_format.h"
#include "audio/win/wasapi_process_capture.h"
#include "core/log.h"
#include "core/text.h"
#include "core/platform_capabilities.h"
#include "core/win/com_apartment.h"
#include "core/win/hresult_text.h"
#include "core/win/os_build.h"
#include "core/win/wide_text.h"
#include "settings/executable_name.h"

namespace halvex::wasapi {
namespace {

using Microsoft::WRL::ComPtr;

std::wstring FullImagePath(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  std::vector<wchar_t> path(32768);
  DWORD size = static_cast<DWORD>(path.size());
  std::wstring result;
  if (QueryFullProcessImageNameW(process, 0, path.data(), &size)) result.assign(path.data(), size);
  CloseHandle(process);
  return result;
}

}  // namespace

bool SystemHasProcessLoopback() { return WindowsCapabilities(OsBuildNumber()).perProcessAudio; }

std::string ProcessImageName(DWORD pid) {
  return settings::ProgramFileName(text::WideToUtf8(FullImagePath(pid)));
}

std::string ProcessProductName(DWORD pid) {
  const std::wstring path = FullImagePath(pid);
  if (path.empty()) return {};
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return {};
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT bytes = 0;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &bytes) ||
      bytes < sizeof(Translation)) {
    return {};
  }
  for (UINT i = 0; i < bytes / sizeof(Translation); ++i) {
    wchar_t key[64];
    std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductName", translations[i].language,
                  translations[i].codePage);
    wchar_t* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&value), &length) && value &&
        length > 1 && *value) {
      return text::FromWideZ(value);
    }
  }
  return {};
}

bool WasapiAudioSessions::ForEachSession(
    const std::string& deviceId,
    const std::function<void(IAudioSessionControl2&, DWORD pid)>& visit) {
  ComApartment com;
  const char* step = "CoInitializeEx";
  HRESULT hr = com.Ok() ? S_OK : com.Result();
  ComPtr<IMMDeviceEnumerator> enumerator;
  ComPtr<IMMDevice> device;
  ComPtr<IAudioSessionManager2> manager;
  ComPtr<IAudioSessionEnumerator> sessions;
  int count = 0;
  if (SUCCEEDED(hr)) {
    step = "CoCreateInstance(MMDeviceEnumerator)";
    hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                          IID_PPV_ARGS(&enumerator));
  }
  if (SUCCEEDED(hr)) {
    step = deviceId.empty() ? "GetDefaultAudioEndpoint" : "GetDevice";
    hr = deviceId.empty()
             ? enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)
             : enumerator->GetDevice(
                   reinterpret_cast<LPCWSTR>(text::Utf8ToUtf16(deviceId).c_str()), &device);
  }
  if (SUCCEEDED(hr)) {
    step = "IMMDevice::Activate(IAudioSessionManager2)";
    hr = device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr, &manager);
  }
  if (SUCCEEDED(hr)) {
    step = "IAudioSessionManager2::GetSessionEnumerator";
    hr = manager->GetSessionEnumerator(&sessions);
  }
  if (SUCCEEDED(hr)) {
    step = "IAudioSessionEnumerator::GetCount";
    hr = sessions->GetCount(&count);
  }
  if (FAILED(hr)) {
    if (!warned_) {
      warned_ = true;
      log::Line(std::string("[AUDIO] AVISO: no se pudo leer la lista de aplicaciones con audio (") +
                step + " fallo, hr=0x" + HrHex(hr) + ")");
    }
    return false;
  }
  warned_ = false;
  for (int i = 0; i < count; ++i) {
    ComPtr<IAudioSessionControl> control;
    ComPtr<IAudioSessionControl2> control2;
    if (FAILED(sessions->GetSession(i, &control)) || FAILED(control.As(&control2))) continue;
    AudioSessionState state = AudioSessionStateInactive;
    if (SUCCEEDED(control2->GetState(&state)) && state == AudioSessionStateExpired) continue;
    DWORD pid = 0;
    // A session of several processes answers AUDCLNT_S_NO_SINGLE_PROCESS with one of their pids.
    control2->GetProcessId(&pid);
    visit(*control2.Get(), pid);
  }
  return true;
}

bool WasapiAudioSessions::List(const std::string& deviceId,
                               std::vector<AudioSessionInfo>& sessions) {
  sessions.clear();
  return ForEachSession(deviceId, [&](IAudioSessionControl2& control, DWORD pid) {
    AudioSessionInfo info;
    info.pid = pid;
    if (pid != 0) {
      info.imageName = ProcessImageName(pid);
      info.productName = ProcessProductName(pid);
    }
    if (info.productName.empty()) {
      // A session's display name may be an indirect resource string ("@..."): not a name.
      LPWSTR display = nullptr;
      if (SUCCEEDED(control.GetDisplayName(&display)) && display) {
        if (display[0] != L'@') info.productName = text::FromWideZ(display);
        CoTaskMemFree(display);
      }
    }
    sessions.push_back(std::move(info));
  });
}

std::unique_ptr<IProcessCapture> WasapiAudioSessions::StartCapture(
    const std::string&, const ProcessCaptureTarget& target) {
  // Process loopback takes the process and its descendants whatever device they play on; the
  // system has no mode for the process alone.
  return std::make_unique<ProcessLoopbackCapture>(target.pid);
}

void WasapiAudioSessions::SetSessionVolume(const std::string& deviceId, AudioProcessId pid,
                                           float volume) {
  if (pid == 0) return;
  const float level = volume < 0.0f ? 0.0f : (volume > 1.0f ? 1.0f : volume);
  ForEachSession(deviceId, [&](IAudioSessionControl2& control, DWORD sessionPid) {
    if (sessionPid != pid) return;
    ComPtr<ISimpleAudioVolume> simple;
    if (SUCCEEDED(control.QueryInterface(IID_PPV_ARGS(&simple)))) {
      simple->SetMasterVolume(level, nullptr);
    }
  });
}

}  // namespace halvex::wasapi

#include "capture/win/dxgi_screen_source.h"

#include <utility>

#include "core/log.h"
#include "core/win/hresult_text.h"
#include "core/win/native_picture.h"

namespace halvex {

using Microsoft::WRL::ComPtr;

DxgiScreenSource::DxgiScreenSource(ID3D11Device* device, ID3D11DeviceContext* context,
                                   IDXGIOutput* output, OutputInfo info)
    : device_(device), context_(context), output_(output), info_(std::move(info)) {}

DxgiScreenSource::~DxgiScreenSource() { Close(); }

bool DxgiScreenSource::Open() {
  Close();
  HRESULT hr = E_POINTER;
  ComPtr<IDXGIOutput1> output1;
  if (device_ && output_) {
    hr = output_.As(&output1);
    if (SUCCEEDED(hr)) hr = output1->DuplicateOutput(device_.Get(), &duplication_);
  }
  if (FAILED(hr)) {
    duplication_.Reset();
    lastError_ = static_cast<uint32_t>(hr);
    if (!failureLogged_) {
      log::Error("DuplicateOutput fallo (hr=0x" + HrHex(hr) +
                 "). Cierra otros capturadores (Game Bar, OBS) e intenta de nuevo.");
      failureLogged_ = true;
    }
    return false;
  }
  failureLogged_ = false;
  return true;
}

void DxgiScreenSource::Close() { duplication_.Reset(); }

IScreenSource::Acquire DxgiScreenSource::AcquireNext(int timeoutMs, bool keep,
                                                     Picture& picture) {
  if (!duplication_) {
    // Still waiting for a recreation to succeed (secure desktop): keep the loop's pace and ask
    // for another Open.
    Sleep(static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0));
    return Acquire::AccessLost;
  }
  DXGI_OUTDUPL_FRAME_INFO info{};
  ComPtr<IDXGIResource> resource;
  HRESULT hr = duplication_->AcquireNextFrame(static_cast<UINT>(timeoutMs), &info, &resource);
  if (hr == DXGI_ERROR_ACCESS_LOST) {
    lastError_ = static_cast<uint32_t>(hr);
    duplication_.Reset();
    return Acquire::AccessLost;
  }
  if (hr == DXGI_ERROR_WAIT_TIMEOUT) return Acquire::Timeout;
  if (FAILED(hr)) {
    lastError_ = static_cast<uint32_t>(hr);
    return Acquire::Error;
  }

  Acquire result = Acquire::Timeout;
  if (keep && info.LastPresentTime.QuadPart != 0 && TextureOf(capture_)) {
    ComPtr<ID3D11Texture2D> frame;
    if (SUCCEEDED(resource.As(&frame))) {
      context_->CopyResource(TextureOf(capture_), frame.Get());
      picture = capture_;
      result = Acquire::NewPicture;
    }
  }
  resource.Reset();
  duplication_->ReleaseFrame();
  return result;
}

}  // namespace halvex

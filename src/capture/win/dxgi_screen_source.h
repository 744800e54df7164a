#pragma once
// Desktop Duplication of the captured monitor. The newest image is copied into the capture
// texture (owned by the picture operations) only when the loop wants it, so the desktop never
// reaches a clip while the game is out of focus.
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include "capture/capture_sources.h"

namespace halvex {

class DxgiScreenSource final : public IScreenSource {
 public:
  DxgiScreenSource(ID3D11Device* device, ID3D11DeviceContext* context, IDXGIOutput* output,
                   OutputInfo info);
  ~DxgiScreenSource() override;

  // The texture each kept image is copied into (the capture picture, created after Open).
  void SetCapturePicture(const Picture& capture) { capture_ = capture; }

  const OutputInfo& Output() const override { return info_; }
  // Logs "ERROR: DuplicateOutput fallo (hr=0x...). ..." on the first failure of a run of failures
  // (start-up ends on it; a recreation after a lock keeps retrying without repeating the line).
  bool Open() override;
  void Close() override;
  Acquire AcquireNext(int timeoutMs, bool keep, Picture& picture) override;
  uint32_t LastError() const override { return lastError_; }

 private:
  Microsoft::WRL::ComPtr<ID3D11Device> device_;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
  Microsoft::WRL::ComPtr<IDXGIOutput> output_;
  OutputInfo info_;
  Microsoft::WRL::ComPtr<IDXGIOutputDuplication> duplication_;
  Picture capture_;
  uint32_t lastError_ = 0;
  bool failureLogged_ = false;
};

}  // namespace halvex

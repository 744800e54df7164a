#pragma once
// Capture of one game window through Windows.Graphics.Capture, so the game keeps being recorded
// while it is covered or out of focus. Driven from the main loop: started and stopped explicitly
// and polled for the newest frame (the frame pool is free-threaded; no callback is registered).
#include <d3d11.h>
#include <dxgi.h>
#include <wrl/client.h>

#include "capture/capture_sources.h"
#include "capture/win/winrt_graphics_capture_abi.h"

namespace halvex {

class WindowGraphicsCapture final : public IWindowSource {
 public:
  // The devices are the program's shared ones (not owned in spirit; references are kept).
  WindowGraphicsCapture(ID3D11Device* device, ID3D11DeviceContext* context,
                        IDXGIDevice* dxgiDevice);
  ~WindowGraphicsCapture() override;

  bool Initialize() override;
  bool Start(WindowId window) override;
  void Stop() override;
  bool IsRunning() const override { return running_; }
  std::optional<Picture> AcquireLatest() override;

 private:
  HRESULT CreatePoolAndSession(wgc::SizeInt32 size);
  void ClosePool();

  Microsoft::WRL::ComPtr<ID3D11Device> device_;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
  Microsoft::WRL::ComPtr<IDXGIDevice> dxgiDevice_;
  Microsoft::WRL::ComPtr<wgc::IDirect3DDevice> winrtDevice_;
  Microsoft::WRL::ComPtr<wgc::IGraphicsCaptureItem> item_;
  Microsoft::WRL::ComPtr<wgc::IDirect3D11CaptureFramePool> pool_;
  Microsoft::WRL::ComPtr<wgc::IGraphicsCaptureSession> session_;
  wgc::SizeInt32 itemSize_{0, 0};
  wgc::SizeInt32 poolSize_{0, 0};
  HWND window_ = nullptr;
  bool running_ = false;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> copy_;
};

}  // namespace halvex

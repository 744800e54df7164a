#pragma once
// The Direct3D 11 device, its Direct2D device context and the captured monitor (output 0 of the
// default adapter), created once at start-up and shared by capture, scaling and the encoder.
#include <d2d1_1.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include "capture/capture_sources.h"

namespace halvex {

// Members are declared in creation order so that destruction releases them in reverse.
struct D3dDevices {
  Microsoft::WRL::ComPtr<ID3D11Device> device;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  Microsoft::WRL::ComPtr<IDXGIDevice> dxgiDevice;
  Microsoft::WRL::ComPtr<IDXGIAdapter> adapter;
  Microsoft::WRL::ComPtr<ID2D1Factory1> d2dFactory;
  Microsoft::WRL::ComPtr<ID2D1Device> d2dDevice;
  Microsoft::WRL::ComPtr<ID2D1DeviceContext> d2dContext;
  Microsoft::WRL::ComPtr<IDXGIOutput> output;
  DXGI_OUTPUT_DESC outputDesc{};
  OutputInfo outputInfo;

  // Releases everything, newest first.
  void Release();
};

// Creates the devices and reads output 0, logging the start-up line of each step. On failure the
// error line is logged, whatever was made is released and false is returned (start-up ends with 1).
bool CreateD3dDevices(D3dDevices& devices);

}  // namespace halvex

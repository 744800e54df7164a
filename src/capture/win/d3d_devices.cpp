#include "capture/win/d3d_devices.h"

#include <string>

#include "core/log.h"
#include "core/text.h"
#include "core/win/hresult_text.h"

namespace halvex {

void D3dDevices::Release() {
  outputInfo = {};
  outputDesc = {};
  output.Reset();
  d2dContext.Reset();
  d2dDevice.Reset();
  d2dFactory.Reset();
  adapter.Reset();
  dxgiDevice.Reset();
  context.Reset();
  device.Reset();
}

namespace {

bool Fail(D3dDevices& devices, const std::string& line) {
  log::Error(line);
  devices.Release();
  return false;
}

}  // namespace

bool CreateD3dDevices(D3dDevices& d) {
  d.Release();
  HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr,
                                 D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0, D3D11_SDK_VERSION,
                                 &d.device, nullptr, &d.context);
  if (FAILED(hr)) return Fail(d, "D3D11CreateDevice fallo");
  // Without the DXGI side the device is of no use to capture; same fatal line.
  if (FAILED(d.device.As(&d.dxgiDevice)) || FAILED(d.dxgiDevice->GetAdapter(&d.adapter)))
    return Fail(d, "D3D11CreateDevice fallo");

  D2D1_FACTORY_OPTIONS options{};
  hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory1), &options,
                         reinterpret_cast<void**>(d.d2dFactory.GetAddressOf()));
  if (FAILED(hr)) return Fail(d, "D2D1CreateFactory fallo (hr=0x" + HrHex(hr) + ")");
  hr = d.d2dFactory->CreateDevice(d.dxgiDevice.Get(), &d.d2dDevice);
  if (FAILED(hr))
    return Fail(d, "no se pudo crear el dispositivo Direct2D (hr=0x" + HrHex(hr) + ")");
  hr = d.d2dDevice->CreateDeviceContext(D2D1_DEVICE_CONTEXT_OPTIONS_NONE, &d.d2dContext);
  if (FAILED(hr))
    return Fail(d, "no se pudo crear el contexto Direct2D (hr=0x" + HrHex(hr) + ")");

  if (FAILED(d.adapter->EnumOutputs(0, &d.output))) return Fail(d, "EnumOutputs fallo");
  // A description that cannot be read leaves no capture size to work with.
  if (FAILED(d.output->GetDesc(&d.outputDesc))) return Fail(d, "EnumOutputs fallo");
  const RECT& r = d.outputDesc.DesktopCoordinates;
  d.outputInfo.name = text::WideToUtf8(d.outputDesc.DeviceName);
  d.outputInfo.desktop = Rect{r.left, r.top, r.right, r.bottom};
  log::Line("Capturando video: " + d.outputInfo.name + " (" +
            std::to_string(d.outputInfo.Width()) + "x" + std::to_string(d.outputInfo.Height()) +
            ")");
  return true;
}

}  // namespace halvex

#include "d3d_test_env.h"

#include <cstdlib>
#include <cstring>

#include "core/log.h"

namespace halvex::test {

using Microsoft::WRL::ComPtr;

D3dDevices& Devices() {
  static D3dDevices devices;
  static bool tried = false;
  if (!tried) {
    tried = true;
    log::Capture quiet;
    CreateD3dDevices(devices);
  }
  return devices;
}

void Upload(ID3D11Texture2D* texture, int width, int height, const std::vector<Bgra>& pixels) {
  Devices().context->UpdateSubresource(texture, 0, nullptr, pixels.data(),
                                       static_cast<UINT>(width * 4),
                                       static_cast<UINT>(width * height * 4));
}

std::vector<Bgra> ReadBack(ID3D11Texture2D* texture, int& width, int& height) {
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  desc.Usage = D3D11_USAGE_STAGING;
  desc.BindFlags = 0;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  desc.MiscFlags = 0;
  ComPtr<ID3D11Texture2D> staging;
  width = height = 0;
  if (FAILED(Devices().device->CreateTexture2D(&desc, nullptr, &staging))) return {};
  auto* context = Devices().context.Get();
  context->CopyResource(staging.Get(), texture);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) return {};
  width = static_cast<int>(desc.Width);
  height = static_cast<int>(desc.Height);
  std::vector<Bgra> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    std::memcpy(&pixels[static_cast<size_t>(y) * width],
                static_cast<const uint8_t*>(mapped.pData) +
                    static_cast<size_t>(y) * mapped.RowPitch,
                static_cast<size_t>(width) * 4);
  }
  context->Unmap(staging.Get(), 0);
  return pixels;
}

bool Near(Bgra a, Bgra b, int tolerance) {
  return std::abs(a.b - b.b) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.r - b.r) <= tolerance && std::abs(a.a - b.a) <= tolerance;
}

}  // namespace halvex::test

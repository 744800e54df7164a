#pragma once
// A real D3D11 device for the Windows encoder tests (hardware, else WARP) and small texture helpers.
#include <d3d11.h>
#include <d3d11_4.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace halvex::test {

using Microsoft::WRL::ComPtr;

struct TestDevice {
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;

  bool Create() {
    const UINT flags = D3D11_CREATE_DEVICE_BGRA_SUPPORT;
    for (D3D_DRIVER_TYPE type : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}) {
      if (SUCCEEDED(D3D11CreateDevice(nullptr, type, nullptr, flags, nullptr, 0, D3D11_SDK_VERSION,
                                      &device, nullptr, &context))) {
        return true;
      }
    }
    return false;
  }

  // A B8G8R8A8 picture filled with one colour (0xAARRGGBB as the texel reads in memory order).
  ComPtr<ID3D11Texture2D> SolidTexture(int width, int height, uint32_t texel) {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, texel);
    D3D11_SUBRESOURCE_DATA data{pixels.data(), static_cast<UINT>(width * 4), 0};
    ComPtr<ID3D11Texture2D> texture;
    device->CreateTexture2D(&desc, &data, &texture);
    return texture;
  }

  void Fill(ID3D11Texture2D* texture, uint32_t texel) {
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    std::vector<uint32_t> pixels(static_cast<size_t>(desc.Width) * desc.Height, texel);
    context->UpdateSubresource(texture, 0, nullptr, pixels.data(), desc.Width * 4, 0);
  }

  // Every texel of `texture`, read back through a staging copy (row-major, no padding).
  std::vector<uint32_t> ReadBack(ID3D11Texture2D* texture) {
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    ComPtr<ID3D11Texture2D> staging;
    if (FAILED(device->CreateTexture2D(&desc, nullptr, &staging))) return {};
    context->CopyResource(staging.Get(), texture);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) return {};
    std::vector<uint32_t> out(static_cast<size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y) {
      const auto* row = static_cast<const uint8_t*>(mapped.pData) + y * mapped.RowPitch;
      std::memcpy(&out[y * desc.Width], row, desc.Width * 4);
    }
    context->Unmap(staging.Get(), 0);
    return out;
  }
};

}  // namespace halvex::test

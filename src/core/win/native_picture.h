#pragma once
// A picture on Windows is a reference to a B8G8R8A8 texture on the capture device, with the
// device context it is drawn on; copies of it (into the encoder's slots) run on that context too.
#include <d3d11.h>
#include <wrl/client.h>

#include <memory>
#include <utility>

#include "core/picture.h"

namespace halvex {

struct NativePicture {
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
};

// The picture of `texture`, width × height; empty without a texture.
inline Picture WrapTexture(Microsoft::WRL::ComPtr<ID3D11Texture2D> texture,
                           Microsoft::WRL::ComPtr<ID3D11DeviceContext> context, int width,
                           int height) {
  if (!texture) return Picture{};
  return Picture{std::make_shared<const NativePicture>(
                     NativePicture{std::move(texture), std::move(context)}),
                 width, height};
}

// Null for an empty picture.
inline ID3D11Texture2D* TextureOf(const Picture& picture) {
  const NativePicture* native = picture.Native();
  return native ? native->texture.Get() : nullptr;
}

// Null for an empty picture or one made without a context.
inline ID3D11DeviceContext* ContextOf(const Picture& picture) {
  const NativePicture* native = picture.Native();
  return native ? native->context.Get() : nullptr;
}

}  // namespace halvex

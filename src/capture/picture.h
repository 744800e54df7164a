#pragma once
// One captured or prepared picture. Cheap to copy: copies share the pixels (Linux) or hold a
// reference to the same texture (Windows). Portable code only passes pictures along.
#include "encode/slot_backend.h"

#ifdef _WIN32
#include <d3d11.h>
#include <wrl/client.h>
#else
#include "encode/cpu_picture.h"
#endif

namespace halvex {

struct Picture {
#ifdef _WIN32
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
#else
  CpuPicture image;
#endif
  int width = 0;
  int height = 0;

  bool empty() const {
#ifdef _WIN32
    return !texture;
#else
    return image.empty();
#endif
  }
};

}  // namespace halvex

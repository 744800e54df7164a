#pragma once
// Shared Direct3D helpers for the capture tests: one device bundle per test binary, textures
// filled from memory and read back through a staging texture.
#include <cstdint>
#include <vector>

#include "capture/win/d3d_devices.h"

namespace halvex::test {

// The devices, created once (logging the start-up lines); null device when creation failed.
D3dDevices& Devices();

struct Bgra {
  uint8_t b, g, r, a;
};
inline constexpr Bgra kRed{0, 0, 255, 255};
inline constexpr Bgra kGreen{0, 255, 0, 255};
inline constexpr Bgra kBlue{255, 0, 0, 255};
inline constexpr Bgra kBlack{0, 0, 0, 255};

// Writes a width × height image (row-major) into a default-usage texture of that size.
void Upload(ID3D11Texture2D* texture, int width, int height, const std::vector<Bgra>& pixels);

// The whole texture, row-major.
std::vector<Bgra> ReadBack(ID3D11Texture2D* texture, int& width, int& height);

// Channel-wise equality within `tolerance`.
bool Near(Bgra a, Bgra b, int tolerance = 10);

}  // namespace halvex::test

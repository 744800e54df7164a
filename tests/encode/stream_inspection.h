#pragma once
// Reading encoded pictures back in tests: unit types in the bytes, decoding to BGRA, and the
// synthetic pictures fed to the encoders.
#include <cstdint>
#include <vector>

#include "core/encoded_packet.h"
#include "core/linux/cpu_picture.h"
#include "encode/encoder.h"

namespace halvex::test {

// NAL unit types of an Annex-B picture (H.264 or HEVC); empty when a start code is missing.
std::vector<int> AnnexBNalTypes(const PacketBytes& bytes, VideoCodec codec);

struct ObuList {
  std::vector<int> types;
  bool allSized = true;  // every OBU carries its size field (low-overhead format)
  bool wellFormed = true;
};
ObuList Av1Obus(const PacketBytes& bytes);

// Decodes the pictures in order with libavcodec and converts them to BGRA; empty on failure.
std::vector<CpuPicture> DecodeToBgra(VideoCodec codec, const std::vector<PacketBytes>& pictures);

// Peak signal-to-noise ratio over the B, G and R channels of every picture pair.
double PsnrBgra(const std::vector<CpuPicture>& reference, const std::vector<CpuPicture>& decoded);

// Smooth moving gradients and a moving disc; `noisy` adds per-pixel noise that no encoder can
// squeeze into a small bit rate.
CpuPicture SyntheticPicture(int width, int height, int index, bool noisy = false);

}  // namespace halvex::test

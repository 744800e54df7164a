#include "encode/win/windows_video_worker.h"

#include "encode/win/d3d11_slot_backend.h"
#include "encode/win/nvenc_encoder.h"

namespace halvex {

std::unique_ptr<VideoEncoderWorker> MakeWindowsVideoWorker(ID3D11Device* device) {
  return std::make_unique<VideoEncoderWorker>(std::make_unique<NvencEncoder>(device),
                                              std::make_unique<D3D11SlotBackend>(device));
}

}  // namespace halvex

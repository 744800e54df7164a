#pragma once
// The Windows video encoder worker: NVENC on the capture device, with D3D11 texture slots.
#include <d3d11.h>

#include <memory>

#include "encode/video_encoder_worker.h"

namespace halvex {

std::unique_ptr<VideoEncoderWorker> MakeWindowsVideoWorker(ID3D11Device* device);

}  // namespace halvex

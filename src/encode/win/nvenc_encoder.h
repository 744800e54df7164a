#pragma once
// IEncoder on the NVIDIA hardware encoder: the vendor library is loaded at run time, the session is
// opened on the capture D3D11 device, and every picture is encoded synchronously (no B-frames), so
// each call returns the bytes of exactly the picture it was given.
#include <d3d11.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>

#include "encode/encoder.h"

namespace halvex {

class NvencEncoder : public IEncoder {
 public:
  explicit NvencEncoder(ID3D11Device* device);
  ~NvencEncoder() override;
  NvencEncoder(const NvencEncoder&) = delete;
  NvencEncoder& operator=(const NvencEncoder&) = delete;

  // Whether the vendor library can be loaded at all (it is freed again at once).
  static bool IsAvailable();

  using IEncoder::EncodeFrame;
  using IEncoder::Initialize;
  bool Initialize(int width, int height, int fps, int kbps, VideoCodec codec) override;
  bool EncodeFrame(const Picture& surface, PacketBytes& bytes, bool& isKeyframe,
                   bool forceKeyframe) override;
  void Shutdown() override;

  // The API version the session was opened with (the API's own encoding); 0 when closed.
  uint32_t ApiVersion() const { return apiVersion_; }
  bool IsOpen() const { return session_ != nullptr; }

 private:
  struct Api;  // the vendor function table

  bool Fail(const char* what, int status);

  Microsoft::WRL::ComPtr<ID3D11Device> device_;
  HMODULE library_ = nullptr;
  std::unique_ptr<Api> api_;
  void* session_ = nullptr;
  void* bitstream_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  VideoCodec codec_ = VideoCodec::H264;
  uint32_t apiVersion_ = 0;
};

}  // namespace halvex

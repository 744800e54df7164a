#pragma once
// Pool slots as private D3D11 textures on the capture device. Each copy is a GPU CopyResource with
// an event query issued behind it, so the capture loop never waits for the GPU; the worker polls
// the query before it lets the encoder read the slot.
#include <d3d11.h>
#include <d3d11_4.h>
#include <wrl/client.h>

#include <vector>

#include "core/win/native_picture.h"
#include "encode/slot_backend.h"

namespace halvex {

class D3D11SlotBackend final : public ISlotBackend {
 public:
  explicit D3D11SlotBackend(ID3D11Device* device);
  ~D3D11SlotBackend() override;

  bool CreateSlots(int width, int height, int count) override;
  void ReleaseSlots() override;
  bool Accepts(const Picture& source) const override;
  bool AttachContext(const Picture& source) override;
  void DetachContext() override;
  void CopyIntoSlot(int slot, const Picture& source) override;
  CopyState PollCopy(int slot) override;
  Picture Surface(int slot) override;

  int SlotCount() const { return static_cast<int>(slots_.size()); }
  ID3D11Query* Query(int slot) const { return slots_[static_cast<size_t>(slot)].query.Get(); }

 private:
  struct Slot {
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    Microsoft::WRL::ComPtr<ID3D11Query> query;
    Picture picture;  // the texture as the encoder reads it
  };

  bool ValidSlot(int slot) const { return slot >= 0 && static_cast<size_t>(slot) < slots_.size(); }

  Microsoft::WRL::ComPtr<ID3D11Device> device_;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
  Microsoft::WRL::ComPtr<ID3D11Multithread> multithread_;
  std::vector<Slot> slots_;
  UINT width_ = 0;
  UINT height_ = 0;
};

}  // namespace halvex

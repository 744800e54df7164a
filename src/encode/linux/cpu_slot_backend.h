#pragma once
// Pool slots as private BGRA pictures: the capture loop's picture is copied in on submission, so
// the capture side may reuse its own buffer at once. The copy is finished when CopyIntoSlot returns.
#include <vector>

#include "encode/slot_backend.h"

namespace halvex {

class CpuSlotBackend final : public ISlotBackend {
 public:
  bool CreateSlots(int width, int height, int count) override;
  void ReleaseSlots() override;
  bool Accepts(const FrameSource& source) const override;
  bool AttachContext(const FrameSource&) override { return true; }
  std::string SyncDescription() const override { return "copia de CPU sin sincronizacion de GPU"; }
  void DetachContext() override {}
  void CopyIntoSlot(int slot, const FrameSource& source) override;
  CopyState PollCopy(int slot) override;
  EncoderSurface Surface(int slot) override;

 private:
  std::vector<CpuPicture> slots_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace halvex

#pragma once
// Pool slots as private BGRA pictures: the capture loop's picture is copied in on submission, so
// the capture side may reuse its own buffer at once. The copy is finished when CopyIntoSlot returns.
#include <vector>

#include "core/linux/native_picture.h"
#include "encode/slot_backend.h"

namespace halvex {

class CpuSlotBackend final : public ISlotBackend {
 public:
  bool CreateSlots(int width, int height, int count) override;
  void ReleaseSlots() override;
  bool Accepts(const Picture& source) const override;
  bool AttachContext(const Picture&) override { return true; }
  std::string SyncDescription() const override { return "copia de CPU sin sincronizacion de GPU"; }
  void DetachContext() override {}
  void CopyIntoSlot(int slot, const Picture& source) override;
  CopyState PollCopy(int slot) override;
  Picture Surface(int slot) override;

 private:
  bool ValidSlot(int slot) const { return slot >= 0 && static_cast<size_t>(slot) < slots_.size(); }

  std::vector<Picture> slots_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace halvex

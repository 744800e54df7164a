#include "encode/linux/cpu_slot_backend.h"

#include <cstring>
#include <string>

#include "core/log.h"

namespace halvex {

bool CpuSlotBackend::CreateSlots(int width, int height, int count) {
  ReleaseSlots();
  if (width <= 0 || height <= 0 || count <= 0) {
    log::Line("[VIDEO] AVISO: tamano de slot invalido para el encoder (" + std::to_string(width) +
              "x" + std::to_string(height) + ").");
    return false;
  }
  slots_.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) slots_.push_back(WrapImage(CpuPicture::Allocate(width, height)));
  width_ = width;
  height_ = height;
  return true;
}

void CpuSlotBackend::ReleaseSlots() {
  slots_.clear();
  width_ = 0;
  height_ = 0;
}

bool CpuSlotBackend::Accepts(const Picture& source) const {
  const CpuPicture& p = ImageOf(source);
  return !p.empty() && p.width == width_ && p.height == height_ && p.stride >= 4 * p.width;
}

void CpuSlotBackend::CopyIntoSlot(int slot, const Picture& source) {
  const CpuPicture& dst = ImageOf(slots_[static_cast<size_t>(slot)]);
  const CpuPicture& src = ImageOf(source);
  if (src.stride == dst.stride) {
    std::memcpy(dst.pixels.get(), src.pixels.get(), dst.ByteSize());
    return;
  }
  const size_t rowBytes = static_cast<size_t>(dst.width) * 4;
  for (int y = 0; y < dst.height; ++y) std::memcpy(dst.Row(y), src.Row(y), rowBytes);
}

ISlotBackend::CopyState CpuSlotBackend::PollCopy(int slot) {
  return ValidSlot(slot) ? CopyState::Done : CopyState::Failed;
}

Picture CpuSlotBackend::Surface(int slot) {
  return ValidSlot(slot) ? slots_[static_cast<size_t>(slot)] : Picture{};
}

}  // namespace halvex

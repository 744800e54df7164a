#include "encode/win/d3d11_slot_backend.h"

#include <string>

#include "core/log.h"
#include "core/win/hresult_text.h"

namespace halvex {

D3D11SlotBackend::D3D11SlotBackend(ID3D11Device* device) : device_(device) {}

D3D11SlotBackend::~D3D11SlotBackend() { ReleaseSlots(); }

bool D3D11SlotBackend::CreateSlots(int width, int height, int count) {
  ReleaseSlots();
  if (!device_) return false;

  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = static_cast<UINT>(width > 0 ? width : 0);
  desc.Height = static_cast<UINT>(height > 0 ? height : 0);
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.SampleDesc.Quality = 0;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  desc.CPUAccessFlags = 0;
  desc.MiscFlags = 0;

  D3D11_QUERY_DESC queryDesc{};
  queryDesc.Query = D3D11_QUERY_EVENT;
  queryDesc.MiscFlags = 0;

  slots_.resize(static_cast<size_t>(count > 0 ? count : 0));
  for (Slot& slot : slots_) {
    HRESULT hr = device_->CreateTexture2D(&desc, nullptr, &slot.texture);
    if (FAILED(hr)) {
      log::Line("V19: no se pudo crear un slot de textura para el encoder (hr=0x" + HrHex(hr) + ")");
      ReleaseSlots();
      return false;
    }
    hr = device_->CreateQuery(&queryDesc, &slot.query);
    if (FAILED(hr)) {
      log::Line("V19: no se pudo crear el query de sincronizacion GPU (hr=0x" + HrHex(hr) + ")");
      ReleaseSlots();
      return false;
    }
    slot.picture = WrapTexture(slot.texture, nullptr, static_cast<int>(desc.Width),
                               static_cast<int>(desc.Height));
  }
  width_ = desc.Width;
  height_ = desc.Height;
  return true;
}

void D3D11SlotBackend::ReleaseSlots() {
  DetachContext();
  slots_.clear();
  width_ = 0;
  height_ = 0;
}

bool D3D11SlotBackend::Accepts(const Picture& source) const {
  ID3D11Texture2D* texture = TextureOf(source);
  if (!ContextOf(source) || !texture) return false;
  // CopyResource silently does nothing between textures of different size or format, which would
  // hand the encoder whatever the slot held before; such a frame is refused instead.
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  return desc.Width == width_ && desc.Height == height_ && desc.Format == DXGI_FORMAT_B8G8R8A8_UNORM &&
         desc.SampleDesc.Count == 1;
}

bool D3D11SlotBackend::AttachContext(const Picture& source) {
  DetachContext();
  context_ = ContextOf(source);
  if (!context_ || FAILED(context_.As(&multithread_))) {
    multithread_.Reset();
    context_.Reset();
    log::Line("V19 FIXED7: no se pudo habilitar proteccion multihilo de D3D11.");
    return false;
  }
  multithread_->SetMultithreadProtected(TRUE);
  log::Line("V19 FIXED7: D3D11 multithread protection habilitada.");
  return true;
}

void D3D11SlotBackend::DetachContext() {
  if (multithread_) multithread_->SetMultithreadProtected(FALSE);
  multithread_.Reset();
  context_.Reset();
}

void D3D11SlotBackend::CopyIntoSlot(int slot, const Picture& source) {
  ID3D11DeviceContext* context = ContextOf(source);
  ID3D11Texture2D* texture = TextureOf(source);
  if (!ValidSlot(slot) || !context || !texture) return;
  const Slot& s = slots_[static_cast<size_t>(slot)];
  context->CopyResource(s.texture.Get(), texture);
  context->End(s.query.Get());
}

ISlotBackend::CopyState D3D11SlotBackend::PollCopy(int slot) {
  if (!context_ || !ValidSlot(slot) || !slots_[static_cast<size_t>(slot)].query) {
    return CopyState::Failed;
  }
  BOOL done = FALSE;
  const HRESULT hr =
      context_->GetData(slots_[static_cast<size_t>(slot)].query.Get(), &done, sizeof(done), 0);
  if (FAILED(hr)) {
    log::Line("V19 FIXED7: GetData de query GPU fallo (hr=0x" + HrHex(hr) + ")");
    return CopyState::Failed;
  }
  return hr == S_OK && done ? CopyState::Done : CopyState::Pending;
}

Picture D3D11SlotBackend::Surface(int slot) {
  return ValidSlot(slot) ? slots_[static_cast<size_t>(slot)].picture : Picture{};
}

}  // namespace halvex

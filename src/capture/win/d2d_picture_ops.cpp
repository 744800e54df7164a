#include "capture/win/d2d_picture_ops.h"

#include <algorithm>
#include <dxgi.h>

#include "core/log.h"
#include "core/win/hresult_text.h"

namespace halvex {

using Microsoft::WRL::ComPtr;

namespace {

void TextureSize(ID3D11Texture2D* texture, int& width, int& height) {
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  width = static_cast<int>(desc.Width);
  height = static_cast<int>(desc.Height);
}

}  // namespace

D2dPictureOps::D2dPictureOps(ID3D11Device* device, ID3D11DeviceContext* context,
                             ID2D1DeviceContext* d2dContext)
    : device_(device), context_(context), d2d_(d2dContext) {}

D2dPictureOps::~D2dPictureOps() {
  ReleaseOutputResources();
  ReleaseCaptureResources();
}

Picture D2dPictureOps::Wrap(const ComPtr<ID3D11Texture2D>& texture, int width,
                            int height) const {
  return WrapTexture(texture, context_, width, height);
}

ComPtr<ID3D11Texture2D> D2dPictureOps::CreateBlackTexture(int width, int height,
                                                          UINT extraBindFlags) const {
  if (!device_ || !context_ || width < 1 || height < 1) return nullptr;
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = static_cast<UINT>(width);
  desc.Height = static_cast<UINT>(height);
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_RENDER_TARGET | extraBindFlags;
  ComPtr<ID3D11Texture2D> texture;
  if (FAILED(device_->CreateTexture2D(&desc, nullptr, &texture))) return nullptr;
  ComPtr<ID3D11RenderTargetView> view;
  if (FAILED(device_->CreateRenderTargetView(texture.Get(), nullptr, &view))) return nullptr;
  const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  context_->ClearRenderTargetView(view.Get(), black);
  return texture;
}

HRESULT D2dPictureOps::CreateBitmap(ID3D11Texture2D* texture, bool target,
                                    ComPtr<ID2D1Bitmap1>& bitmap) const {
  bitmap.Reset();
  if (!d2d_ || !texture) return E_POINTER;
  ComPtr<IDXGISurface> surface;
  HRESULT hr = texture->QueryInterface(IID_PPV_ARGS(&surface));
  if (FAILED(hr)) return hr;
  const D2D1_BITMAP_PROPERTIES1 props = D2D1::BitmapProperties1(
      target ? D2D1_BITMAP_OPTIONS_TARGET : D2D1_BITMAP_OPTIONS_NONE,
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE), 96.0f, 96.0f);
  return d2d_->CreateBitmapFromDxgiSurface(surface.Get(), &props, &bitmap);
}

bool D2dPictureOps::CreateCaptureResources(int width, int height) {
  ReleaseOutputResources();
  ReleaseCaptureResources();
  width_ = width;
  height_ = height;
  privacy_ = CreateBlackTexture(width, height, 0);
  if (!privacy_) {
    log::Error("no se pudo crear la textura negra de privacidad.");
    return false;
  }
  capture_ = CreateBlackTexture(width, height, D3D11_BIND_SHADER_RESOURCE);
  if (!capture_) {
    log::Error("no se pudo crear la textura de captura.");
    return false;
  }
  canvas_ = CreateBlackTexture(width, height, D3D11_BIND_SHADER_RESOURCE);
  if (!canvas_) {
    log::Error("no se pudo crear el canvas de recorte para modo ventana.");
    return false;
  }
  HRESULT hr = CreateBitmap(capture_.Get(), false, captureBitmap_);
  if (FAILED(hr)) {
    log::Error("no se pudo crear el bitmap D2D de origen (hr=0x" + HrHex(hr) + ").");
    return false;
  }
  hr = CreateBitmap(canvas_.Get(), true, canvasBitmap_);
  if (FAILED(hr)) {
    log::Error("no se pudo crear el bitmap D2D destino (hr=0x" + HrHex(hr) + ").");
    return false;
  }
  return true;
}

void D2dPictureOps::ReleaseCaptureResources() {
  if (d2d_) d2d_->SetTarget(nullptr);
  foreignBitmap_.Reset();
  foreign_.Reset();
  canvasBitmap_.Reset();
  captureBitmap_.Reset();
  canvas_.Reset();
  capture_.Reset();
  privacy_.Reset();
}

void D2dPictureOps::ReleaseOutputResources() {
  if (d2d_) d2d_->SetTarget(nullptr);
  outputBitmap_.Reset();
  outputBlack_.Reset();
  output_.Reset();
  outputWidth_ = width_;
  outputHeight_ = height_;
}

bool D2dPictureOps::CreateOutputResources(int width, int height) {
  ReleaseOutputResources();
  if (width < 1) width = width_;
  if (height < 1) height = height_;
  if (width == width_ && height == height_) return true;
  const UINT bind = D3D11_BIND_SHADER_RESOURCE;
  output_ = CreateBlackTexture(width, height, bind);
  outputBlack_ = CreateBlackTexture(width, height, bind);
  if (!output_ || !outputBlack_ || FAILED(CreateBitmap(output_.Get(), true, outputBitmap_))) {
    ReleaseOutputResources();
    return false;
  }
  outputWidth_ = width;
  outputHeight_ = height;
  return true;
}

ComPtr<ID2D1Bitmap1> D2dPictureOps::SourceBitmapFor(const Picture& picture) {
  // ComPtr has no equality of its own here (it would compare as booleans): compare pointers.
  ID3D11Texture2D* texture = TextureOf(picture);
  if (texture == capture_.Get() && captureBitmap_) return captureBitmap_;
  if (texture == canvas_.Get() && canvasBitmap_) return canvasBitmap_;
  if (texture != foreign_.Get() || !foreignBitmap_) {
    foreign_ = texture;
    if (FAILED(CreateBitmap(texture, false, foreignBitmap_))) foreign_.Reset();
  }
  return foreignBitmap_;
}

HRESULT D2dPictureOps::Draw(ID2D1Bitmap1* target, int targetWidth, int targetHeight,
                            ID2D1Bitmap1* source, const D2D1_RECT_F* sourceArea) {
  if (!d2d_ || !target || !source) return E_POINTER;
  d2d_->SetTarget(target);
  d2d_->BeginDraw();
  const D2D1_RECT_F destination =
      D2D1::RectF(0.0f, 0.0f, static_cast<float>(targetWidth), static_cast<float>(targetHeight));
  d2d_->DrawBitmap(source, &destination, 1.0f, D2D1_INTERPOLATION_MODE_HIGH_QUALITY_CUBIC,
                   sourceArea, nullptr);
  const HRESULT hr = d2d_->EndDraw();
  d2d_->SetTarget(nullptr);
  return hr;
}

Picture D2dPictureOps::CropToCanvas(const Picture& capture, const Rect& area) {
  if (capture.empty() || !canvasBitmap_) return capture;
  int width = 0, height = 0;
  TextureSize(TextureOf(capture), width, height);
  // Only the part of the area that lies on the picture can be drawn.
  const Rect clamped{std::clamp(area.left, 0, width), std::clamp(area.top, 0, height),
                     std::clamp(area.right, 0, width), std::clamp(area.bottom, 0, height)};
  if (clamped.Empty()) return capture;
  ComPtr<ID2D1Bitmap1> source = SourceBitmapFor(capture);
  const D2D1_RECT_F sourceArea = D2D1::RectF(
      static_cast<float>(clamped.left), static_cast<float>(clamped.top),
      static_cast<float>(clamped.right), static_cast<float>(clamped.bottom));
  if (FAILED(Draw(canvasBitmap_.Get(), width_, height_, source.Get(), &sourceArea)))
    return capture;
  return CanvasPicture();
}

Picture D2dPictureOps::StretchToCapture(const Picture& frame) {
  if (frame.empty() || !canvasBitmap_) return frame;
  int width = 0, height = 0;
  TextureSize(TextureOf(frame), width, height);
  if (width == width_ && height == height_) return frame;
  ComPtr<ID2D1Bitmap1> source = SourceBitmapFor(frame);
  if (FAILED(Draw(canvasBitmap_.Get(), width_, height_, source.Get(), nullptr))) return frame;
  return CanvasPicture();
}

Picture D2dPictureOps::ScaleToOutput(const Picture& picture) {
  if (picture.empty() || !outputBitmap_) return picture;
  int width = 0, height = 0;
  TextureSize(TextureOf(picture), width, height);
  if (width == outputWidth_ && height == outputHeight_) return picture;
  ComPtr<ID2D1Bitmap1> source = SourceBitmapFor(picture);
  const HRESULT hr = Draw(outputBitmap_.Get(), outputWidth_, outputHeight_, source.Get(), nullptr);
  if (FAILED(hr)) {
    log::Error("Direct2D EndDraw fallo al preparar la resolucion de salida (hr=0x" + HrHex(hr) +
               ")");
    return picture;
  }
  return Wrap(output_, outputWidth_, outputHeight_);
}

Picture D2dPictureOps::BlackPicture() const {
  if (outputBlack_) return Wrap(outputBlack_, outputWidth_, outputHeight_);
  return PrivacyPicture();
}

}  // namespace halvex

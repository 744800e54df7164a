#pragma once
// Privacy, capture and crop textures at the capture size, the output-size textures, and the
// Direct2D drawing that crops a windowed game and scales pictures to the output size. Main
// thread only (the Direct2D context is single-threaded).
#include <d2d1_1.h>
#include <d3d11.h>
#include <wrl/client.h>

#include "capture/capture_sources.h"
#include "core/win/native_picture.h"

namespace halvex {

class D2dPictureOps final : public IPictureOps {
 public:
  D2dPictureOps(ID3D11Device* device, ID3D11DeviceContext* context,
                ID2D1DeviceContext* d2dContext);
  ~D2dPictureOps() override;

  // A B8G8R8A8 texture with render-target binding plus `extraBindFlags`, cleared to opaque
  // black; null on failure.
  Microsoft::WRL::ComPtr<ID3D11Texture2D> CreateBlackTexture(int width, int height,
                                                             UINT extraBindFlags) const;

  bool CreateCaptureResources(int width, int height) override;
  bool CreateOutputResources(int width, int height) override;
  Picture CropToCanvas(const Picture& capture, const Rect& area) override;
  Picture StretchToCapture(const Picture& frame) override;
  Picture ScaleToOutput(const Picture& picture) override;
  Picture BlackPicture() const override;

  // The texture desktop duplication copies into.
  Picture CapturePicture() const { return Wrap(capture_, width_, height_); }
  Picture CanvasPicture() const { return Wrap(canvas_, width_, height_); }
  Picture PrivacyPicture() const { return Wrap(privacy_, width_, height_); }
  bool HasOutputResources() const { return output_ != nullptr; }

 private:
  // One of our textures as a picture drawn on (and copied from) our context.
  Picture Wrap(const Microsoft::WRL::ComPtr<ID3D11Texture2D>& texture, int width,
               int height) const;
  HRESULT CreateBitmap(ID3D11Texture2D* texture, bool target,
                       Microsoft::WRL::ComPtr<ID2D1Bitmap1>& bitmap) const;
  // A bitmap to draw `picture` from: one of ours when it is one of our textures, else one over
  // its surface, kept while the same texture keeps coming (the window-capture copy texture).
  Microsoft::WRL::ComPtr<ID2D1Bitmap1> SourceBitmapFor(const Picture& picture);
  // Draws `source` (the `sourceArea` part, or all of it) onto all of `target`.
  HRESULT Draw(ID2D1Bitmap1* target, int targetWidth, int targetHeight, ID2D1Bitmap1* source,
               const D2D1_RECT_F* sourceArea);
  void ReleaseOutputResources();
  void ReleaseCaptureResources();

  Microsoft::WRL::ComPtr<ID3D11Device> device_;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
  Microsoft::WRL::ComPtr<ID2D1DeviceContext> d2d_;
  int width_ = 0;
  int height_ = 0;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> privacy_;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> capture_;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> canvas_;
  Microsoft::WRL::ComPtr<ID2D1Bitmap1> captureBitmap_;  // source
  Microsoft::WRL::ComPtr<ID2D1Bitmap1> canvasBitmap_;   // target (also drawn from when scaling)
  Microsoft::WRL::ComPtr<ID3D11Texture2D> foreign_;
  Microsoft::WRL::ComPtr<ID2D1Bitmap1> foreignBitmap_;
  int outputWidth_ = 0;
  int outputHeight_ = 0;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> output_;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> outputBlack_;
  Microsoft::WRL::ComPtr<ID2D1Bitmap1> outputBitmap_;
};

}  // namespace halvex

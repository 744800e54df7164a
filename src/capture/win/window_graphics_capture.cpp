#include "capture/win/window_graphics_capture.h"

#include <roapi.h>
#include <winstring.h>

#include <string>

#include "core/log.h"
#include "core/text.h"
#include "core/win/hresult_text.h"
#include "core/win/native_picture.h"
#include "core/win/os_build.h"

namespace halvex {

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kPoolBuffers = 3;
constexpr uint32_t kBorderlessBuild = 20348;

template <typename Factory, size_t N>
HRESULT GetFactory(const wchar_t (&className)[N], ComPtr<Factory>& factory) {
  HSTRING_HEADER header{};
  HSTRING name = nullptr;
  HRESULT hr = WindowsCreateStringReference(className, N - 1, &header, &name);
  if (FAILED(hr)) return hr;
  return RoGetActivationFactory(name, __uuidof(Factory),
                                reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
}

template <typename T>
void CloseQuietly(const ComPtr<T>& object) {
  if (!object) return;
  ComPtr<wgc::IClosable> closable;
  if (SUCCEEDED(object.As(&closable))) closable->Close();
}

std::string HandleHex(HWND window) {
  return text::LowerHex(reinterpret_cast<uintptr_t>(window));
}

}  // namespace

WindowGraphicsCapture::WindowGraphicsCapture(ID3D11Device* device, ID3D11DeviceContext* context,
                                             IDXGIDevice* dxgiDevice)
    : device_(device), context_(context), dxgiDevice_(dxgiDevice) {}

WindowGraphicsCapture::~WindowGraphicsCapture() { Stop(); }

bool WindowGraphicsCapture::Initialize() {
  winrtDevice_.Reset();
  if (!device_ || !context_ || !dxgiDevice_) return false;

  // Not every d3d11.dll has it (and mingw-w64's import library does not), so it is bound by name.
  HMODULE d3d11 = GetModuleHandleW(L"d3d11.dll");
  if (!d3d11) d3d11 = LoadLibraryW(L"d3d11.dll");
  const auto create = d3d11 ? reinterpret_cast<wgc::CreateDirect3D11DeviceFromDXGIDeviceFn>(
                                  reinterpret_cast<void*>(GetProcAddress(
                                      d3d11, "CreateDirect3D11DeviceFromDXGIDevice")))
                            : nullptr;
  HRESULT hr = create ? S_OK : HRESULT_FROM_WIN32(GetLastError());
  if (SUCCEEDED(hr) && !create) hr = E_NOINTERFACE;
  ComPtr<IInspectable> inspectable;
  if (create) hr = create(dxgiDevice_.Get(), &inspectable);
  if (FAILED(hr) || !inspectable) {
    log::Line("[WGC] CreateDirect3D11DeviceFromDXGIDevice fallo (hr=0x" +
              HrHex(FAILED(hr) ? hr : E_POINTER) + ")");
    return false;
  }
  hr = inspectable.As(&winrtDevice_);
  if (FAILED(hr)) {
    log::Line("[WGC] Inicializacion WinRT fallo (hr=0x" + HrHex(hr) + ")");
    return false;
  }
  return true;
}

bool WindowGraphicsCapture::Start(WindowId window) {
  Stop();
  const HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
  if (!winrtDevice_ || !hwnd || !::IsWindow(hwnd)) return false;

  ComPtr<wgc::IGraphicsCaptureItemInterop> interop;
  HRESULT hr = GetFactory(wgc::kGraphicsCaptureItemClass, interop);
  if (SUCCEEDED(hr)) {
    hr = interop->CreateForWindow(hwnd, __uuidof(wgc::IGraphicsCaptureItem),
                                  reinterpret_cast<void**>(item_.GetAddressOf()));
  }
  wgc::SizeInt32 size{0, 0};
  if (SUCCEEDED(hr) && item_) hr = item_->get_Size(&size);
  if (FAILED(hr) || !item_) {
    log::Line("[WGC] CreateForWindow fallo (hwnd=0x" + HandleHex(hwnd) + ", hr=0x" +
              HrHex(FAILED(hr) ? hr : E_POINTER) + ")");
    item_.Reset();
    return false;
  }
  window_ = hwnd;
  itemSize_ = size;

  if (FAILED(CreatePoolAndSession(size))) {
    Stop();
    return false;
  }
  hr = session_->StartCapture();
  if (FAILED(hr)) {
    log::Line("[WGC] StartCapture fallo (hr=0x" + HrHex(hr) + ")");
    Stop();
    return false;
  }
  running_ = true;
  log::Line("[WGC] Captura de ventana iniciada: " + std::to_string(size.Width) + "x" +
            std::to_string(size.Height) + " (hwnd=0x" + HandleHex(hwnd) + ")");
  return true;
}

HRESULT WindowGraphicsCapture::CreatePoolAndSession(wgc::SizeInt32 size) {
  HRESULT hr = S_OK;
  ClosePool();
  if (size.Width < 1 || size.Height < 1) hr = E_INVALIDARG;

  ComPtr<wgc::IDirect3D11CaptureFramePoolStatics2> statics;
  if (SUCCEEDED(hr)) hr = GetFactory(wgc::kCaptureFramePoolClass, statics);
  if (SUCCEEDED(hr)) {
    hr = statics->CreateFreeThreaded(winrtDevice_.Get(), wgc::B8G8R8A8UIntNormalized,
                                     kPoolBuffers, size, &pool_);
  }
  if (SUCCEEDED(hr)) hr = pool_->CreateCaptureSession(item_.Get(), &session_);
  ComPtr<wgc::IGraphicsCaptureSession2> session2;
  if (SUCCEEDED(hr)) hr = session_.As(&session2);
  if (SUCCEEDED(hr)) hr = session2->put_IsCursorCaptureEnabled(false);
  if (FAILED(hr)) {
    log::Line("[WGC] No se pudo crear el frame pool (hr=0x" + HrHex(hr) + ")");
    return hr;
  }

  // The border notices never make the start fail.
  const uint32_t build = OsBuildNumber();
  if (build >= kBorderlessBuild) {
    ComPtr<wgc::IGraphicsCaptureSession3> session3;
    HRESULT borderHr = session_.As(&session3);
    if (SUCCEEDED(borderHr)) borderHr = session3->put_IsBorderRequired(false);
    if (FAILED(borderHr)) {
      log::Line("[WGC] No se pudo solicitar captura sin borde (hr=0x" + HrHex(borderHr) + ").");
    } else {
      boolean required = true;
      if (FAILED(session3->get_IsBorderRequired(&required)) || required) {
        log::Line("[WGC] Solicitud sin borde aceptada, pero Windows aun mantiene el borde "
                  "(permiso/capacidad requerida).");
      } else {
        log::Line("[WGC] Borde amarillo desactivado.");
      }
    }
  } else {
    log::Line("[WGC] Windows build " + std::to_string(build) +
              " no admite el modo sin borde; en W10 el programa evita WGC mientras el juego tiene "
              "el foco.");
  }
  poolSize_ = size;
  return S_OK;
}

void WindowGraphicsCapture::ClosePool() {
  CloseQuietly(pool_);
  pool_.Reset();
}

std::optional<Picture> WindowGraphicsCapture::AcquireLatest() {
  if (!running_ || !pool_) return std::nullopt;

  // Only the newest frame matters; older queued ones go back to the pool.
  ComPtr<wgc::IDirect3D11CaptureFrame> frame;
  for (;;) {
    ComPtr<wgc::IDirect3D11CaptureFrame> next;
    if (FAILED(pool_->TryGetNextFrame(&next)) || !next) break;
    CloseQuietly(frame);
    frame = next;
  }
  if (!frame) return std::nullopt;

  std::optional<Picture> result;
  wgc::SizeInt32 content{0, 0};
  if (SUCCEEDED(frame->get_ContentSize(&content)) && content.Width >= 1 && content.Height >= 1) {
    bool ok = true;
    if (content.Width != poolSize_.Width || content.Height != poolSize_.Height) {
      // The window was resized: later frames come at the new size.
      ok = SUCCEEDED(pool_->Recreate(winrtDevice_.Get(), wgc::B8G8R8A8UIntNormalized,
                                     kPoolBuffers, content));
      if (ok) poolSize_ = content;
    }
    ComPtr<wgc::IDirect3DSurface> surface;
    ComPtr<wgc::IDirect3DDxgiInterfaceAccess> access;
    ComPtr<ID3D11Texture2D> texture;
    ok = ok && SUCCEEDED(frame->get_Surface(&surface)) && surface &&
         SUCCEEDED(surface.As(&access)) &&
         SUCCEEDED(access->GetInterface(__uuidof(ID3D11Texture2D),
                                        reinterpret_cast<void**>(texture.GetAddressOf())));
    if (ok) {
      D3D11_TEXTURE2D_DESC desc{};
      texture->GetDesc(&desc);
      D3D11_TEXTURE2D_DESC have{};
      if (copy_) copy_->GetDesc(&have);
      if (!copy_ || have.Width != desc.Width || have.Height != desc.Height ||
          have.Format != desc.Format) {
        copy_.Reset();
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
        desc.CPUAccessFlags = 0;
        desc.MiscFlags = 0;
        ok = SUCCEEDED(device_->CreateTexture2D(&desc, nullptr, &copy_));
      }
      if (ok) {
        context_->CopyResource(copy_.Get(), texture.Get());
        result = WrapTexture(copy_, context_, static_cast<int>(desc.Width),
                             static_cast<int>(desc.Height));
      }
    }
  }
  CloseQuietly(frame);
  return result;
}

void WindowGraphicsCapture::Stop() {
  running_ = false;
  CloseQuietly(session_);
  CloseQuietly(pool_);
  session_.Reset();
  pool_.Reset();
  item_.Reset();
  copy_.Reset();
  window_ = nullptr;
  itemSize_ = {0, 0};
  poolSize_ = {0, 0};
}

}  // namespace halvex

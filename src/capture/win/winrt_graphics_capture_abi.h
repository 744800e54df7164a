#pragma once
// The few Windows.Graphics.Capture ABI interfaces window capture calls. mingw-w64 ships no
// WinRT headers for them, so they are declared here as the Windows SDK declares them in
// windows.graphics.capture.h (ABI::Windows::Graphics::Capture), windows.graphics.capture.interop.h
// (IGraphicsCaptureItemInterop), windows.graphics.directx.direct3d11.h / .interop.h
// (IDirect3DDevice, IDirect3DSurface, IDirect3DDxgiInterfaceAccess,
// CreateDirect3D11DeviceFromDXGIDevice) and windows.foundation.h (IClosable). Method order is the
// vtable order; methods the program never calls keep their slots with opaque parameter types.
#include <windows.h>
#include <dxgi.h>
#include <inspectable.h>

namespace halvex::wgc {

// Windows.Graphics.SizeInt32
struct SizeInt32 {
  INT32 Width;
  INT32 Height;
};

// Windows.Foundation.TimeSpan (100 ns units)
struct TimeSpan {
  INT64 Duration;
};

// EventRegistrationToken
struct EventToken {
  INT64 value;
};

// Windows.Graphics.DirectX.DirectXPixelFormat (same numbering as DXGI_FORMAT)
enum DirectXPixelFormat : INT32 { B8G8R8A8UIntNormalized = 87 };

// Windows.Foundation.IClosable
struct IClosable : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

// Windows.Graphics.DirectX.Direct3D11.IDirect3DDevice
struct IDirect3DDevice : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Trim() = 0;
};

// Windows.Graphics.DirectX.Direct3D11.IDirect3DSurface
struct IDirect3DSurface : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Description(void* value) = 0;
};

// Windows::Graphics::DirectX::Direct3D11::IDirect3DDxgiInterfaceAccess (a classic COM interface)
struct IDirect3DDxgiInterfaceAccess : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInterface(REFIID iid, void** object) = 0;
};

struct IGraphicsCaptureSession;
struct IDirect3D11CaptureFrame;

// Windows.Graphics.Capture.IGraphicsCaptureItem
struct IGraphicsCaptureItem : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_DisplayName(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Size(SizeInt32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_Closed(IUnknown* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_Closed(EventToken token) = 0;
};

// IGraphicsCaptureItemInterop (the activation factory of GraphicsCaptureItem answers it)
struct IGraphicsCaptureItemInterop : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateForWindow(HWND window, REFIID iid, void** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateForMonitor(HMONITOR monitor, REFIID iid,
                                                     void** result) = 0;
};

// Windows.Graphics.Capture.IDirect3D11CaptureFrame
struct IDirect3D11CaptureFrame : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Surface(IDirect3DSurface** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SystemRelativeTime(TimeSpan* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContentSize(SizeInt32* value) = 0;
};

// Windows.Graphics.Capture.IDirect3D11CaptureFramePool
struct IDirect3D11CaptureFramePool : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Recreate(IDirect3DDevice* device,
                                             DirectXPixelFormat pixelFormat,
                                             INT32 numberOfBuffers, SizeInt32 size) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryGetNextFrame(IDirect3D11CaptureFrame** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_FrameArrived(IUnknown* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameArrived(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateCaptureSession(IGraphicsCaptureItem* item,
                                                         IGraphicsCaptureSession** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DispatcherQueue(IInspectable** value) = 0;
};

// Windows.Graphics.Capture.IDirect3D11CaptureFramePoolStatics
struct IDirect3D11CaptureFramePoolStatics : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Create(IDirect3DDevice* device,
                                           DirectXPixelFormat pixelFormat,
                                           INT32 numberOfBuffers, SizeInt32 size,
                                           IDirect3D11CaptureFramePool** result) = 0;
};

// Windows.Graphics.Capture.IDirect3D11CaptureFramePoolStatics2
struct IDirect3D11CaptureFramePoolStatics2 : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateFreeThreaded(IDirect3DDevice* device,
                                                       DirectXPixelFormat pixelFormat,
                                                       INT32 numberOfBuffers, SizeInt32 size,
                                                       IDirect3D11CaptureFramePool** result) = 0;
};

// Windows.Graphics.Capture.IGraphicsCaptureSession
struct IGraphicsCaptureSession : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE StartCapture() = 0;
};

// Windows.Graphics.Capture.IGraphicsCaptureSession2
struct IGraphicsCaptureSession2 : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_IsCursorCaptureEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsCursorCaptureEnabled(boolean value) = 0;
};

// Windows.Graphics.Capture.IGraphicsCaptureSession3
struct IGraphicsCaptureSession3 : public IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_IsBorderRequired(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsBorderRequired(boolean value) = 0;
};

// d3d11.dll export, looked up by name (not in mingw-w64's import library).
using CreateDirect3D11DeviceFromDXGIDeviceFn = HRESULT(WINAPI*)(IDXGIDevice* dxgiDevice,
                                                                 IInspectable** graphicsDevice);

inline constexpr wchar_t kGraphicsCaptureItemClass[] =
    L"Windows.Graphics.Capture.GraphicsCaptureItem";
inline constexpr wchar_t kCaptureFramePoolClass[] =
    L"Windows.Graphics.Capture.Direct3D11CaptureFramePool";

}  // namespace halvex::wgc

// Interface identifiers, as in the Windows SDK metadata.
__CRT_UUID_DECL(halvex::wgc::IClosable, 0x30d5a829, 0x7fa4, 0x4026, 0x83, 0xbb, 0xd7, 0x5b, 0xae,
                0x4e, 0xa9, 0x9e)
__CRT_UUID_DECL(halvex::wgc::IDirect3DDevice, 0xa37624ab, 0x8d5f, 0x4650, 0x9d, 0x3e, 0x9e, 0xae,
                0x3d, 0x9b, 0xc6, 0x70)
__CRT_UUID_DECL(halvex::wgc::IDirect3DSurface, 0x0bf4a146, 0x13c1, 0x4694, 0xbe, 0xe3, 0x7a, 0xbf,
                0x15, 0xea, 0xf5, 0x86)
__CRT_UUID_DECL(halvex::wgc::IDirect3DDxgiInterfaceAccess, 0xa9b3d012, 0x3df2, 0x4ee3, 0xb8, 0xd1,
                0x86, 0x95, 0xf4, 0x57, 0xd3, 0xc1)
__CRT_UUID_DECL(halvex::wgc::IGraphicsCaptureItem, 0x79c3f95b, 0x31f7, 0x4ec2, 0xa4, 0x64, 0x63,
                0x2e, 0xf5, 0xd3, 0x07, 0x60)
__CRT_UUID_DECL(halvex::wgc::IGraphicsCaptureItemInterop, 0x3628e81b, 0x3cac, 0x4c60, 0xb7, 0xf4,
                0x23, 0xce, 0x0e, 0x0c, 0x33, 0x56)
__CRT_UUID_DECL(halvex::wgc::IDirect3D11CaptureFrame, 0xfa50c623, 0x38da, 0x4b32, 0xac, 0xf3, 0xfa,
                0x97, 0x34, 0xad, 0x80, 0x0e)
__CRT_UUID_DECL(halvex::wgc::IDirect3D11CaptureFramePool, 0x24eb6d22, 0x1975, 0x422e, 0x82, 0xe7,
                0x78, 0x0d, 0xbd, 0x8d, 0xdf, 0x24)
__CRT_UUID_DECL(halvex::wgc::IDirect3D11CaptureFramePoolStatics, 0x7784056a, 0x67aa, 0x4d53, 0xae,
                0x54, 0x10, 0x88, 0xd5, 0xa8, 0xca, 0x21)
__CRT_UUID_DECL(halvex::wgc::IDirect3D11CaptureFramePoolStatics2, 0x589b103f, 0x6bbc, 0x5df5, 0xa9,
                0x91, 0x02, 0xe2, 0x8b, 0x3b, 0x66, 0xd5)
__CRT_UUID_DECL(halvex::wgc::IGraphicsCaptureSession, 0x814e42a9, 0xf70f, 0x4ad7, 0x93, 0x9b, 0xfd,
                0xdc, 0xc6, 0xeb, 0x88, 0x0d)
__CRT_UUID_DECL(halvex::wgc::IGraphicsCaptureSession2, 0x2c39ae40, 0x7d2e, 0x5044, 0x80, 0x4e, 0x8b,
                0x67, 0x99, 0xd4, 0xcf, 0x9e)
__CRT_UUID_DECL(halvex::wgc::IGraphicsCaptureSession3, 0xf2cdd966, 0x22ae, 0x5ea1, 0x95, 0x96, 0x3a,
                0x28, 0x93, 0x44, 0xc3, 0xbe)

#pragma once
// Completion handler for ActivateAudioInterfaceAsync: keeps the activation's result and the
// activated interface, and signals its own event. Agile, so the system may call it from any thread.
#include <mmdeviceapi.h>
#include <objidl.h>
#include <wrl/client.h>

#include <atomic>

namespace halvex::wasapi {

class ActivationHandler final : public IActivateAudioInterfaceCompletionHandler,
                                public IAgileObject {
 public:
  // Reference count starts at 1 (the creator's).
  static ActivationHandler* Create();

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP ActivateCompleted(IActivateAudioInterfaceAsyncOperation* operation) override;

  // Waits for the completion; false on time-out (the result is then E_PENDING-like and unusable).
  bool Wait(DWORD timeoutMs) const;
  HRESULT Result() const { return result_; }
  // The activated interface (valid after a successful Wait with a successful Result).
  IUnknown* Interface() const { return activated_.Get(); }

 private:
  ActivationHandler();
  ~ActivationHandler();

  std::atomic<ULONG> refs_{1};
  HANDLE done_ = nullptr;
  HRESULT result_ = E_FAIL;
  Microsoft::WRL::ComPtr<IUnknown> activated_;
};

// ActivateAudioInterfaceAsync from mmdevapi.dll, looked up at run time (older systems and some
// import libraries lack it). Returns E_NOTIMPL when the function is missing.
HRESULT ActivateAudioInterface(LPCWSTR path, REFIID riid, PROPVARIANT* params,
                               IActivateAudioInterfaceCompletionHandler* handler,
                               IActivateAudioInterfaceAsyncOperation** operation);

}  // namespace halvex::wasapi

#include "audio/win/activation_handler.h"

namespace halvex::wasapi {

ActivationHandler* ActivationHandler::Create() { return new ActivationHandler(); }

ActivationHandler::ActivationHandler() { done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

ActivationHandler::~ActivationHandler() {
  if (done_) CloseHandle(done_);
}

STDMETHODIMP ActivationHandler::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, __uuidof(IUnknown)) ||
      IsEqualIID(riid, __uuidof(IActivateAudioInterfaceCompletionHandler))) {
    *object = static_cast<IActivateAudioInterfaceCompletionHandler*>(this);
  } else if (IsEqualIID(riid, __uuidof(IAgileObject))) {
    *object = static_cast<IAgileObject*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) ActivationHandler::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) ActivationHandler::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP ActivationHandler::ActivateCompleted(IActivateAudioInterfaceAsyncOperation* op) {
  HRESULT activateResult = E_FAIL;
  Microsoft::WRL::ComPtr<IUnknown> unknown;
  HRESULT hr = op ? op->GetActivateResult(&activateResult, &unknown) : E_POINTER;
  if (SUCCEEDED(hr)) hr = activateResult;
  if (SUCCEEDED(hr) && !unknown) hr = E_NOINTERFACE;
  activated_ = unknown;
  result_ = hr;
  SetEvent(done_);
  return S_OK;
}

bool ActivationHandler::Wait(DWORD timeoutMs) const {
  return done_ && WaitForSingleObject(done_, timeoutMs) == WAIT_OBJECT_0;
}

HRESULT ActivateAudioInterface(LPCWSTR path, REFIID riid, PROPVARIANT* params,
                               IActivateAudioInterfaceCompletionHandler* handler,
                               IActivateAudioInterfaceAsyncOperation** operation) {
  using Fn = HRESULT(WINAPI*)(LPCWSTR, REFIID, PROPVARIANT*,
                              IActivateAudioInterfaceCompletionHandler*,
                              IActivateAudioInterfaceAsyncOperation**);
  static const Fn fn = [] {
    HMODULE dll = LoadLibraryW(L"mmdevapi.dll");
    return dll ? reinterpret_cast<Fn>(
                     reinterpret_cast<void*>(GetProcAddress(dll, "ActivateAudioInterfaceAsync")))
               : nullptr;
  }();
  if (!fn) return E_NOTIMPL;
  return fn(path, riid, params, handler, operation);
}

}  // namespace halvex::wasapi

#include "audio/win/wasapi_device_list.h"

#include <mmdeviceapi.h>
#include <propidl.h>
#include <propsys.h>
#include <wrl/client.h>

#include "audio/win/wasapi_format.h"
#include "core/log.h"
#include "core/text.h"
#include "core/win/com_apartment.h"
#include "core/win/hresult_text.h"
#include "core/win/wide_text.h"

namespace halvex::wasapi {
namespace {

using Microsoft::WRL::ComPtr;

// PKEY_Device_FriendlyName, spelled out: mingw only declares it.
constexpr PROPERTYKEY kFriendlyName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

std::string FriendlyName(IMMDevice* device) {
  ComPtr<IPropertyStore> store;
  if (FAILED(device->OpenPropertyStore(STGM_READ, &store))) return {};
  PROPVARIANT value;
  PropVariantInit(&value);
  std::string name;
  if (SUCCEEDED(store->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR) {
    name = text::FromWideZ(value.pwszVal);
  }
  PropVariantClear(&value);
  return name;
}

std::vector<AudioDevice> List(EDataFlow flow, const char* fallbackName) {
  std::vector<AudioDevice> devices;
  ComApartment com;
  if (!com.Ok()) {
    log::Line("WASAPI: CoInitializeEx fallo (hr=0x" + HrHex(com.Result()) + ")");
    return devices;
  }
  ComPtr<IMMDeviceEnumerator> enumerator;
  HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&enumerator));
  if (FAILED(hr)) {
    log::Line("WASAPI: no se pudo crear el enumerador de dispositivos (hr=0x" + HrHex(hr) + ")");
    return devices;
  }
  ComPtr<IMMDeviceCollection> collection;
  hr = enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &collection);
  UINT count = 0;
  if (FAILED(hr) || FAILED(collection->GetCount(&count))) return devices;
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IMMDevice> device;
    if (FAILED(collection->Item(i, &device))) continue;
    LPWSTR id = nullptr;
    if (FAILED(device->GetId(&id)) || !id) continue;
    AudioDevice entry{text::FromWideZ(id), FriendlyName(device.Get())};
    CoTaskMemFree(id);
    if (entry.name.empty()) entry.name = fallbackName;
    devices.push_back(std::move(entry));
  }
  return devices;
}

}  // namespace

std::vector<AudioDevice> WasapiDeviceList::Outputs() { return List(eRender, kDefaultOutputName); }
std::vector<AudioDevice> WasapiDeviceList::Inputs() { return List(eCapture, kDefaultInputName); }

}  // namespace halvex::wasapi

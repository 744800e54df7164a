// Test double of the NVIDIA encoder library: the vendor function table over a fake driver that
// records every call and structure, checks structure versions and handles like the driver does,
// and produces one recognisable Annex-B picture per submitted frame.
#include <d3d11.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstring>
#include <vector>

#include "fake_nvenc_state.h"

#define FAKE_EXPORT extern "C" __declspec(dllexport)

#ifdef FAKE_NVENC_WITHOUT_CREATE_INSTANCE
// Without the table export the driver functions are unreachable, which is the point.
#pragma GCC diagnostic ignored "-Wunused-function"
#endif

namespace halvex::test {
namespace {

using Microsoft::WRL::ComPtr;

FakeNvencState g_state;

// Handles are addresses of these, so a stale or foreign handle is recognisable.
struct Session {
  ID3D11Device* device = nullptr;
  uint32_t idrPeriod = 0;
  bool repeatParameterSets = false;
  bool hevc = false;
  bool initialized = false;
  int sinceIdr = 0;
};
struct Bitstream {
  std::vector<uint8_t> bytes;
  NV_ENC_PIC_TYPE type = NV_ENC_PIC_TYPE_UNKNOWN;
  bool ready = false;
  bool locked = false;
};
struct Registration {
  ID3D11Texture2D* texture = nullptr;
  bool mapped = false;
};

Session g_session;
Bitstream g_bitstream;
Registration g_registrations[16];

bool Record(NvCall call) {
  if (g_state.callCount < FakeNvencState::kMaxCalls) g_state.calls[g_state.callCount] = call;
  ++g_state.callCount;
  return g_state.failCall == call;
}

bool VersionOk(uint32_t given, uint32_t expected) {
  if (given == expected) return true;
  ++g_state.versionErrors;
  return false;
}

bool IsSession(void* encoder) { return encoder == &g_session && g_state.liveSessions > 0; }

Registration* RegistrationOf(void* handle) {
  for (Registration& r : g_registrations) {
    if (handle == &r && r.texture) return &r;
  }
  return nullptr;
}

uint32_t ReadTexel(ID3D11Texture2D* texture) {
  ComPtr<ID3D11Device> device;
  texture->GetDevice(&device);
  ComPtr<ID3D11DeviceContext> context;
  device->GetImmediateContext(&context);
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  desc.Width = 1;
  desc.Height = 1;
  desc.Usage = D3D11_USAGE_STAGING;
  desc.BindFlags = 0;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  desc.MiscFlags = 0;
  ComPtr<ID3D11Texture2D> staging;
  if (FAILED(device->CreateTexture2D(&desc, nullptr, &staging))) return 0;
  const D3D11_BOX box{0, 0, 0, 1, 1, 1};
  context->CopySubresourceRegion(staging.Get(), 0, 0, 0, 0, texture, 0, &box);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) return 0;
  uint32_t texel = 0;
  std::memcpy(&texel, mapped.pData, sizeof texel);
  context->Unmap(staging.Get(), 0);
  return texel;
}

void PutNal(std::vector<uint8_t>& out, uint8_t header) {
  out.insert(out.end(), {0, 0, 0, 1, header});
}

NVENCSTATUS NVENCAPI OpenSessionEx(NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS* params, void** encoder) {
  const bool fail = Record(NvCall::OpenSession);
  if (!params || !encoder) return NV_ENC_ERR_INVALID_PTR;
  g_state.open = *params;
  if (fail) {
    if (g_state.sessionOnFailedOpen) {
      g_session = {};
      ++g_state.liveSessions;
      *encoder = &g_session;
    }
    return g_state.failStatus;
  }
  if (!VersionOk(params->version, NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER)) {
    return NV_ENC_ERR_INVALID_VERSION;
  }
  // The driver serves any client API up to its own.
  const uint32_t major = params->apiVersion & 0xFF;
  const uint32_t minor = params->apiVersion >> 24;
  if ((major << 4 | minor) > g_state.maxSupportedVersion) return NV_ENC_ERR_INVALID_VERSION;
  if (params->deviceType != NV_ENC_DEVICE_TYPE_DIRECTX || !params->device) {
    return NV_ENC_ERR_INVALID_DEVICE;
  }
  if (g_state.liveSessions > 0) return NV_ENC_ERR_OUT_OF_MEMORY;  // one session at a time here
  g_session = {};
  g_session.device = static_cast<ID3D11Device*>(params->device);
  ++g_state.liveSessions;
  *encoder = &g_session;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI GetPresetConfigEx(void* encoder, GUID codec, GUID preset,
                                       NV_ENC_TUNING_INFO tuning, NV_ENC_PRESET_CONFIG* out) {
  const bool fail = Record(NvCall::GetPresetConfigEx);
  if (!IsSession(encoder) || !out) return NV_ENC_ERR_INVALID_PTR;
  g_state.presetCodec = codec;
  g_state.presetGuid = preset;
  g_state.presetTuning = tuning;
  g_state.presetVersion = out->version;
  g_state.presetConfigVersion = out->presetCfg.version;
  if (fail) return g_state.failStatus;
  if (!VersionOk(out->version, NV_ENC_PRESET_CONFIG_VER) ||
      !VersionOk(out->presetCfg.version, NV_ENC_CONFIG_VER)) {
    return NV_ENC_ERR_INVALID_VERSION;
  }
  const bool hevc = std::memcmp(&codec, &NV_ENC_CODEC_HEVC_GUID, sizeof codec) == 0;
  if (!hevc && std::memcmp(&codec, &NV_ENC_CODEC_H264_GUID, sizeof codec) != 0) {
    return NV_ENC_ERR_UNSUPPORTED_PARAM;
  }
  // Recognisable preset values: whatever the client does not set must come back unchanged.
  NV_ENC_CONFIG& c = out->presetCfg;
  c.profileGUID = hevc ? NV_ENC_HEVC_PROFILE_MAIN_GUID : NV_ENC_H264_PROFILE_HIGH_GUID;
  c.gopLength = 250;
  c.frameIntervalP = 3;
  c.mvPrecision = NV_ENC_MV_PRECISION_QUARTER_PEL;
  c.rcParams.rateControlMode = NV_ENC_PARAMS_RC_VBR;
  c.rcParams.averageBitRate = 5;
  c.rcParams.maxBitRate = 123456;
  c.rcParams.enableAQ = 1;
  c.rcParams.multiPass = NV_ENC_TWO_PASS_QUARTER_RESOLUTION;
  if (hevc) {
    NV_ENC_CONFIG_HEVC& h = c.encodeCodecConfig.hevcConfig;
    h.level = NV_ENC_LEVEL_HEVC_51;
    h.idrPeriod = 250;
    h.disableSPSPPS = 1;
    h.chromaFormatIDC = 3;
    h.pixelBitDepthMinus8 = 2;
    h.maxNumRefFramesInDPB = 4;
  } else {
    NV_ENC_CONFIG_H264& h = c.encodeCodecConfig.h264Config;
    h.level = NV_ENC_LEVEL_H264_42;
    h.idrPeriod = 250;
    h.disableSPSPPS = 1;
    h.maxNumRefFrames = 3;
  }
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI InitializeEncoder(void* encoder, NV_ENC_INITIALIZE_PARAMS* params) {
  const bool fail = Record(NvCall::InitializeEncoder);
  if (!IsSession(encoder) || !params) return NV_ENC_ERR_INVALID_PTR;
  g_state.init = *params;
  if (params->encodeConfig) g_state.initConfig = *params->encodeConfig;
  if (fail) return g_state.failStatus;
  if (!VersionOk(params->version, NV_ENC_INITIALIZE_PARAMS_VER) || !params->encodeConfig ||
      !VersionOk(params->encodeConfig->version, NV_ENC_CONFIG_VER)) {
    return NV_ENC_ERR_INVALID_VERSION;
  }
  g_session.hevc = std::memcmp(&params->encodeGUID, &NV_ENC_CODEC_HEVC_GUID, sizeof(GUID)) == 0;
  const NV_ENC_CODEC_CONFIG& codec = params->encodeConfig->encodeCodecConfig;
  g_session.idrPeriod = g_session.hevc ? codec.hevcConfig.idrPeriod : codec.h264Config.idrPeriod;
  g_session.repeatParameterSets =
      g_session.hevc ? codec.hevcConfig.repeatSPSPPS : codec.h264Config.repeatSPSPPS;
  g_session.initialized = true;
  g_session.sinceIdr = 0;
  g_state.pictures = 0;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI CreateBitstream(void* encoder, NV_ENC_CREATE_BITSTREAM_BUFFER* params) {
  const bool fail = Record(NvCall::CreateBitstream);
  if (!IsSession(encoder) || !params) return NV_ENC_ERR_INVALID_PTR;
  if (fail) return g_state.failStatus;
  if (!VersionOk(params->version, NV_ENC_CREATE_BITSTREAM_BUFFER_VER)) {
    return NV_ENC_ERR_INVALID_VERSION;
  }
  if (!g_session.initialized) return NV_ENC_ERR_ENCODER_NOT_INITIALIZED;
  if (g_state.liveBitstreams > 0) return NV_ENC_ERR_OUT_OF_MEMORY;
  g_bitstream = {};
  ++g_state.liveBitstreams;
  params->bitstreamBuffer = &g_bitstream;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI DestroyBitstream(void* encoder, NV_ENC_OUTPUT_PTR buffer) {
  const bool fail = Record(NvCall::DestroyBitstream);
  g_state.destroyedBitstream = buffer;
  if (!IsSession(encoder) || buffer != &g_bitstream || g_state.liveBitstreams == 0) {
    return NV_ENC_ERR_INVALID_PTR;
  }
  --g_state.liveBitstreams;
  return fail ? g_state.failStatus : NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI RegisterResource(void* encoder, NV_ENC_REGISTER_RESOURCE* params) {
  const bool fail = Record(NvCall::RegisterResource);
  if (!IsSession(encoder) || !params) return NV_ENC_ERR_INVALID_PTR;
  g_state.reg = *params;
  if (fail) return g_state.failStatus;
  if (!VersionOk(params->version, NV_ENC_REGISTER_RESOURCE_VER)) return NV_ENC_ERR_INVALID_VERSION;
  if (params->resourceType != NV_ENC_INPUT_RESOURCE_TYPE_DIRECTX || !params->resourceToRegister) {
    return NV_ENC_ERR_INVALID_PARAM;
  }
  for (Registration& r : g_registrations) {
    if (!r.texture) {
      r.texture = static_cast<ID3D11Texture2D*>(params->resourceToRegister);
      r.mapped = false;
      ++g_state.liveRegistrations;
      params->registeredResource = &r;
      return NV_ENC_SUCCESS;
    }
  }
  return NV_ENC_ERR_RESOURCE_REGISTER_FAILED;
}

NVENCSTATUS NVENCAPI UnregisterResource(void* encoder, NV_ENC_REGISTERED_PTR handle) {
  Record(NvCall::UnregisterResource);
  g_state.unregistered = handle;
  Registration* r = RegistrationOf(handle);
  if (!IsSession(encoder) || !r || r->mapped) return NV_ENC_ERR_INVALID_PTR;
  *r = {};
  --g_state.liveRegistrations;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI MapInput(void* encoder, NV_ENC_MAP_INPUT_RESOURCE* params) {
  const bool fail = Record(NvCall::MapInput);
  if (!IsSession(encoder) || !params) return NV_ENC_ERR_INVALID_PTR;
  g_state.map = *params;
  if (fail) return g_state.failStatus;
  if (!VersionOk(params->version, NV_ENC_MAP_INPUT_RESOURCE_VER)) return NV_ENC_ERR_INVALID_VERSION;
  Registration* r = RegistrationOf(params->registeredResource);
  if (!r || r->mapped) return NV_ENC_ERR_RESOURCE_NOT_REGISTERED;
  r->mapped = true;
  ++g_state.liveMappings;
  // Mapped handle = registration handle; the format is the registered one.
  params->mappedResource = r;
  params->mappedBufferFmt = g_state.reg.bufferFormat;
  g_state.map = *params;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnmapInput(void* encoder, NV_ENC_INPUT_PTR mapped) {
  Record(NvCall::UnmapInput);
  g_state.unmapped = mapped;
  Registration* r = RegistrationOf(mapped);
  if (!IsSession(encoder) || !r || !r->mapped) return NV_ENC_ERR_RESOURCE_NOT_MAPPED;
  r->mapped = false;
  --g_state.liveMappings;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI EncodePicture(void* encoder, NV_ENC_PIC_PARAMS* params) {
  const bool fail = Record(NvCall::EncodePicture);
  if (!IsSession(encoder) || !params) return NV_ENC_ERR_INVALID_PTR;
  g_state.pic = *params;
  if (fail) return g_state.failStatus;
  if (!VersionOk(params->version, NV_ENC_PIC_PARAMS_VER)) return NV_ENC_ERR_INVALID_VERSION;
  Registration* r = RegistrationOf(params->inputBuffer);
  if (!g_session.initialized || !r || !r->mapped || params->outputBitstream != &g_bitstream ||
      g_state.liveBitstreams == 0 || g_bitstream.locked) {
    return NV_ENC_ERR_INVALID_PARAM;
  }

  const bool forced = (params->encodePicFlags & NV_ENC_PIC_FLAG_FORCEIDR) != 0;
  const bool idr = forced || g_state.pictures == 0 ||
                   (g_session.idrPeriod > 0 && g_session.sinceIdr >= static_cast<int>(g_session.idrPeriod));
  g_session.sinceIdr = idr ? 1 : g_session.sinceIdr + 1;
  const bool parameterSets =
      idr && (g_session.repeatParameterSets || (params->encodePicFlags & NV_ENC_PIC_FLAG_OUTPUT_SPSPPS));

  std::vector<uint8_t>& out = g_bitstream.bytes;
  out.clear();
  if (parameterSets) {
    if (g_session.hevc) PutNal(out, 0x40);  // VPS
    PutNal(out, g_session.hevc ? 0x42 : 0x67);
    PutNal(out, g_session.hevc ? 0x44 : 0x68);
  }
  PutNal(out, g_session.hevc ? (idr ? 0x26 : 0x02) : (idr ? 0x65 : 0x41));
  const uint32_t number = static_cast<uint32_t>(g_state.pictures);
  out.insert(out.end(), {uint8_t(number >> 24), uint8_t(number >> 16), uint8_t(number >> 8),
                         uint8_t(number)});
  if (g_state.readTexel) {
    g_state.lastTexel = ReadTexel(r->texture);
    const uint8_t* t = reinterpret_cast<const uint8_t*>(&g_state.lastTexel);
    out.insert(out.end(), t, t + 4);
  }
  g_bitstream.type = idr ? NV_ENC_PIC_TYPE_IDR : NV_ENC_PIC_TYPE_P;
  g_bitstream.ready = true;
  ++g_state.pictures;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI LockBitstream(void* encoder, NV_ENC_LOCK_BITSTREAM* params) {
  const bool fail = Record(NvCall::LockBitstream);
  if (!IsSession(encoder) || !params) return NV_ENC_ERR_INVALID_PTR;
  g_state.lock = *params;
  if (fail) return g_state.failStatus;
  if (!VersionOk(params->version, NV_ENC_LOCK_BITSTREAM_VER)) return NV_ENC_ERR_INVALID_VERSION;
  if (params->outputBitstream != &g_bitstream || !g_bitstream.ready || g_bitstream.locked) {
    return NV_ENC_ERR_INVALID_PARAM;
  }
  g_bitstream.locked = true;
  params->bitstreamBufferPtr = g_bitstream.bytes.data();
  params->bitstreamSizeInBytes = static_cast<uint32_t>(g_bitstream.bytes.size());
  params->pictureType = g_bitstream.type;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI UnlockBitstream(void* encoder, NV_ENC_OUTPUT_PTR buffer) {
  Record(NvCall::UnlockBitstream);
  if (!IsSession(encoder) || buffer != &g_bitstream || !g_bitstream.locked) {
    return NV_ENC_ERR_INVALID_PARAM;
  }
  g_bitstream.locked = false;
  g_bitstream.ready = false;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI DestroyEncoder(void* encoder) {
  Record(NvCall::DestroyEncoder);
  g_state.destroyedSession = encoder;
  if (!IsSession(encoder)) return NV_ENC_ERR_INVALID_PTR;
  --g_state.liveSessions;
  g_session = {};
  return NV_ENC_SUCCESS;
}

}  // namespace
}  // namespace halvex::test

using namespace halvex::test;

FAKE_EXPORT FakeNvencState* FakeNvencGetState() { return &g_state; }
FAKE_EXPORT void FakeNvencReset() {
  g_state = FakeNvencState{};
  g_session = {};
  g_bitstream = {};
  for (auto& r : g_registrations) r = {};
}

#ifndef FAKE_NVENC_WITHOUT_MAX_VERSION
FAKE_EXPORT NVENCSTATUS NVENCAPI NvEncodeAPIGetMaxSupportedVersion(uint32_t* version) {
  const bool fail = Record(NvCall::GetMaxSupportedVersion);
  if (!version) return NV_ENC_ERR_INVALID_PTR;
  if (fail) return g_state.failStatus;
  *version = g_state.maxSupportedVersion;
  return NV_ENC_SUCCESS;
}
#endif

#ifndef FAKE_NVENC_WITHOUT_CREATE_INSTANCE
FAKE_EXPORT NVENCSTATUS NVENCAPI NvEncodeAPICreateInstance(NV_ENCODE_API_FUNCTION_LIST* list) {
  const bool fail = Record(NvCall::CreateInstance);
  if (!list) return NV_ENC_ERR_INVALID_PTR;
  g_state.functionListVersion = list->version;
  if (fail) return g_state.failStatus;
  if (!VersionOk(list->version, NV_ENCODE_API_FUNCTION_LIST_VER)) return NV_ENC_ERR_INVALID_VERSION;
  list->nvEncOpenEncodeSessionEx = OpenSessionEx;
  list->nvEncGetEncodePresetConfigEx = GetPresetConfigEx;
  list->nvEncInitializeEncoder = InitializeEncoder;
  list->nvEncCreateBitstreamBuffer = CreateBitstream;
  list->nvEncDestroyBitstreamBuffer = DestroyBitstream;
  list->nvEncRegisterResource = RegisterResource;
  list->nvEncUnregisterResource = UnregisterResource;
  list->nvEncMapInputResource = MapInput;
  list->nvEncUnmapInputResource = UnmapInput;
  list->nvEncEncodePicture = EncodePicture;
  list->nvEncLockBitstream = LockBitstream;
  list->nvEncUnlockBitstream = UnlockBitstream;
  list->nvEncDestroyEncoder = DestroyEncoder;
  return NV_ENC_SUCCESS;
}
#endif

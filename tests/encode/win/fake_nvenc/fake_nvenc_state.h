#pragma once
// What the test double of nvEncodeAPI64.dll records and how a test steers it. The DLL exports
// FakeNvencGetState() (the one instance, alive while the DLL is loaded) and FakeNvencReset().
#include <nvEncodeAPI.h>

#include <cstdint>

namespace halvex::test {

enum class NvCall : int32_t {
  None = 0,
  GetMaxSupportedVersion,
  CreateInstance,
  OpenSession,
  GetPresetConfigEx,
  InitializeEncoder,
  CreateBitstream,
  DestroyBitstream,
  RegisterResource,
  MapInput,
  EncodePicture,
  LockBitstream,
  UnlockBitstream,
  UnmapInput,
  UnregisterResource,
  DestroyEncoder,
};

struct FakeNvencState {
  // Steering.
  uint32_t maxSupportedVersion = (13u << 4) | 0u;  // what the driver reports (major<<4 | minor)
  NvCall failCall = NvCall::None;                  // this call answers failStatus (every time)
  NVENCSTATUS failStatus = NV_ENC_ERR_GENERIC;
  bool sessionOnFailedOpen = false;  // a failed open still hands back a session
  bool readTexel = false;            // each picture carries texel (0,0) of its input texture

  // Record of every call, in order (the first kMaxCalls).
  static constexpr int kMaxCalls = 8192;
  int32_t callCount = 0;
  NvCall calls[kMaxCalls] = {};
  int32_t versionErrors = 0;  // structures that came with a version other than the headers'

  // Every structure as last passed in.
  uint32_t functionListVersion = 0;
  NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS open = {};
  GUID presetCodec = {};
  GUID presetGuid = {};
  NV_ENC_TUNING_INFO presetTuning = NV_ENC_TUNING_INFO_UNDEFINED;
  uint32_t presetVersion = 0;
  uint32_t presetConfigVersion = 0;
  NV_ENC_INITIALIZE_PARAMS init = {};
  NV_ENC_CONFIG initConfig = {};  // *init.encodeConfig
  NV_ENC_REGISTER_RESOURCE reg = {};
  NV_ENC_MAP_INPUT_RESOURCE map = {};
  NV_ENC_PIC_PARAMS pic = {};
  NV_ENC_LOCK_BITSTREAM lock = {};
  void* unmapped = nullptr;
  void* unregistered = nullptr;
  void* destroyedBitstream = nullptr;
  void* destroyedSession = nullptr;

  // What is alive in the fake driver right now.
  int32_t liveSessions = 0;
  int32_t liveBitstreams = 0;
  int32_t liveRegistrations = 0;
  int32_t liveMappings = 0;
  int32_t pictures = 0;  // encoded since the last InitializeEncoder
  uint32_t lastTexel = 0;

  int Count(NvCall call) const {
    int n = 0;
    for (int i = 0; i < callCount && i < kMaxCalls; ++i) n += calls[i] == call;
    return n;
  }
};

using FakeNvencStateFn = FakeNvencState* (*)();
using FakeNvencResetFn = void (*)();

}  // namespace halvex::test

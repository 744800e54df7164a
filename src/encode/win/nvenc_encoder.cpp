#include "encode/win/nvenc_encoder.h"

#include <nvEncodeAPI.h>

#include <algorithm>
#include <string>

#include "core/log.h"
#include "core/win/native_picture.h"

namespace halvex {

struct NvencEncoder::Api {
  NV_ENCODE_API_FUNCTION_LIST fn{};
};

namespace {

constexpr wchar_t kLibraryName[] = L"nvEncodeAPI64.dll";

using GetMaxSupportedVersionFn = NVENCSTATUS(NVENCAPI*)(uint32_t*);
using CreateInstanceFn = NVENCSTATUS(NVENCAPI*)(NV_ENCODE_API_FUNCTION_LIST*);

template <typename Fn>
Fn LookUp(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

std::string Version(uint32_t major, uint32_t minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

// The version a session is opened with: the driver's highest, but never above the headers this
// file is compiled against. Every structure we fill carries the compiled version, and a newer
// driver reads a structure by the API version of the session, so asking for more than we compiled
// would make it read fields we never wrote. Older client versions are accepted by newer drivers.
uint32_t SessionApiVersion(uint32_t driverMajor, uint32_t driverMinor) {
  uint32_t major = driverMajor;
  uint32_t minor = driverMinor;
  if (major > NVENCAPI_MAJOR_VERSION ||
      (major == NVENCAPI_MAJOR_VERSION && minor > NVENCAPI_MINOR_VERSION)) {
    major = NVENCAPI_MAJOR_VERSION;
    minor = NVENCAPI_MINOR_VERSION;
  }
  return major | (minor << 24);
}

bool CanEncode(VideoCodec codec) {
#if NVENCAPI_MAJOR_VERSION >= 13
  return true;
#else
  return codec != VideoCodec::Av1;  // these headers predate AV1
#endif
}

GUID CodecGuid(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::Hevc:
      return NV_ENC_CODEC_HEVC_GUID;
#if NVENCAPI_MAJOR_VERSION >= 13
    case VideoCodec::Av1:
      return NV_ENC_CODEC_AV1_GUID;
#endif
    default:
      return NV_ENC_CODEC_H264_GUID;
  }
}

// The preset's configuration with only the stream-shape fields changed: constant bit rate with a
// four-second buffer, a keyframe every two seconds (the period the worker's schedule forces too),
// no B-frames, parameter sets on every keyframe.
void ShapeConfig(NV_ENC_CONFIG& config, VideoCodec codec, uint32_t fps, uint32_t kbps) {
  config.gopLength = 2 * fps;
  config.frameIntervalP = 1;
  config.rcParams.rateControlMode = NV_ENC_PARAMS_RC_CBR;
  config.rcParams.averageBitRate = kbps * 1000;
  config.rcParams.vbvBufferSize = kbps * 4000;
  config.rcParams.vbvInitialDelay = kbps * 2000;
  config.rcParams.strictGOPTarget = 1;
  switch (codec) {
    case VideoCodec::Hevc: {
      NV_ENC_CONFIG_HEVC& hevc = config.encodeCodecConfig.hevcConfig;
      hevc.idrPeriod = 2 * fps;
      hevc.repeatSPSPPS = 1;
      hevc.disableSPSPPS = 0;
      hevc.chromaFormatIDC = 1;
      hevc.enableFillerDataInsertion = 1;
#if NVENCAPI_MAJOR_VERSION >= 13
      hevc.inputBitDepth = NV_ENC_BIT_DEPTH_8;
      hevc.outputBitDepth = NV_ENC_BIT_DEPTH_8;
#else
      hevc.pixelBitDepthMinus8 = 0;  // 8-bit in, 8-bit out
#endif
      break;
    }
#if NVENCAPI_MAJOR_VERSION >= 13
    case VideoCodec::Av1: {
      NV_ENC_CONFIG_AV1& av1 = config.encodeCodecConfig.av1Config;
      av1.idrPeriod = 2 * fps;
      av1.repeatSeqHdr = 1;
      av1.disableSeqHdr = 0;
      av1.outputAnnexBFormat = 0;
      av1.chromaFormatIDC = 1;
      av1.inputBitDepth = NV_ENC_BIT_DEPTH_8;
      av1.outputBitDepth = NV_ENC_BIT_DEPTH_8;
      break;
    }
#endif
    default: {
      NV_ENC_CONFIG_H264& h264 = config.encodeCodecConfig.h264Config;
      h264.idrPeriod = 2 * fps;
      h264.repeatSPSPPS = 1;
      h264.disableSPSPPS = 0;
      h264.enableFillerDataInsertion = 1;
      break;
    }
  }
}

}  // namespace

NvencEncoder::NvencEncoder(ID3D11Device* device) : device_(device) {}

NvencEncoder::~NvencEncoder() { Shutdown(); }

bool NvencEncoder::IsAvailable() {
  HMODULE library = LoadLibraryW(kLibraryName);
  if (!library) return false;
  FreeLibrary(library);
  return true;
}

bool NvencEncoder::Fail(const char* what, int status) {
  log::Line(std::string("NVENC: ") + what + VideoCodecDisplayName(codec_) +
            " (status=" + std::to_string(status) + ")");
  Shutdown();
  return false;
}

bool NvencEncoder::Initialize(int width, int height, int fps, int kbps, VideoCodec codec) {
  Shutdown();
  width_ = static_cast<uint32_t>(std::max(width, 0));
  height_ = static_cast<uint32_t>(std::max(height, 0));
  codec_ = VideoCodecFromInt(static_cast<int64_t>(codec));
  const char* name = VideoCodecDisplayName(codec_);

  library_ = LoadLibraryW(kLibraryName);
  if (!library_) {
    log::Line("NVENC: no se encontro nvEncodeAPI64.dll");
    return false;
  }

  apiVersion_ = NVENCAPI_VERSION;
  if (auto getMax = LookUp<GetMaxSupportedVersionFn>(library_, "NvEncodeAPIGetMaxSupportedVersion")) {
    uint32_t driver = 0;
    if (getMax(&driver) == NV_ENC_SUCCESS) {
      const uint32_t major = driver >> 4;
      const uint32_t minor = driver & 0xF;
      log::Line("NVENC: driver soporta hasta API " + Version(major, minor) +
                " - usando esa version en vez de la del SDK (" +
                Version(NVENCAPI_MAJOR_VERSION, NVENCAPI_MINOR_VERSION) + ")");
      apiVersion_ = SessionApiVersion(major, minor);
    }
  }

  auto createInstance = LookUp<CreateInstanceFn>(library_, "NvEncodeAPICreateInstance");
  if (!createInstance) {
    log::Line("NVENC: no se encontro NvEncodeAPICreateInstance en la DLL");
    Shutdown();
    return false;
  }
  api_ = std::make_unique<Api>();
  api_->fn.version = NV_ENCODE_API_FUNCTION_LIST_VER;
  const NVENCSTATUS created = createInstance(&api_->fn);
  if (created != NV_ENC_SUCCESS) {
    log::Line("NVENC: NvEncodeAPICreateInstance fallo (status=" + std::to_string(created) + ")");
    Shutdown();
    return false;
  }
  const NV_ENCODE_API_FUNCTION_LIST& fn = api_->fn;

  if (!CanEncode(codec_)) {
    log::Line(std::string("NVENC: ") + name + " no esta disponible con la API " +
              Version(NVENCAPI_MAJOR_VERSION, NVENCAPI_MINOR_VERSION) +
              " de esta compilacion");
    Shutdown();
    return false;
  }

  NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS open{};
  open.version = NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER;
  open.deviceType = NV_ENC_DEVICE_TYPE_DIRECTX;
  open.device = device_.Get();
  open.apiVersion = apiVersion_;
  // A failed open may still hand back a session, which then has to be destroyed (Shutdown does).
  const NVENCSTATUS opened = fn.nvEncOpenEncodeSessionEx(&open, &session_);
  if (opened != NV_ENC_SUCCESS) return Fail("no se pudo abrir sesion para ", opened);

  const GUID codecGuid = CodecGuid(codec_);
  auto preset = std::make_unique<NV_ENC_PRESET_CONFIG>();
  *preset = {};
  preset->version = NV_ENC_PRESET_CONFIG_VER;
  preset->presetCfg.version = NV_ENC_CONFIG_VER;
  const NVENCSTATUS presetStatus = fn.nvEncGetEncodePresetConfigEx(
      session_, codecGuid, NV_ENC_PRESET_P1_GUID, NV_ENC_TUNING_INFO_LOW_LATENCY, preset.get());
  if (presetStatus != NV_ENC_SUCCESS) {
    return Fail("nvEncGetEncodePresetConfig fallo para ", presetStatus);
  }

  const uint32_t fpsUsed = static_cast<uint32_t>(std::max(fps, 1));
  const uint32_t kbpsUsed = static_cast<uint32_t>(std::max(kbps, 1));
  auto config = std::make_unique<NV_ENC_CONFIG>(preset->presetCfg);
  config->version = NV_ENC_CONFIG_VER;
  ShapeConfig(*config, codec_, fpsUsed, kbpsUsed);

  NV_ENC_INITIALIZE_PARAMS init{};
  init.version = NV_ENC_INITIALIZE_PARAMS_VER;
  init.encodeGUID = codecGuid;
  init.presetGUID = NV_ENC_PRESET_P1_GUID;
  init.encodeWidth = width_;
  init.encodeHeight = height_;
  init.darWidth = width_;
  init.darHeight = height_;
  init.frameRateNum = fpsUsed;
  init.frameRateDen = 1;
  init.enableEncodeAsync = 0;
  init.enablePTD = 1;
  init.tuningInfo = NV_ENC_TUNING_INFO_LOW_LATENCY;
  init.encodeConfig = config.get();
  const NVENCSTATUS initialized = fn.nvEncInitializeEncoder(session_, &init);
  if (initialized != NV_ENC_SUCCESS) return Fail("nvEncInitializeEncoder fallo para ", initialized);

  NV_ENC_CREATE_BITSTREAM_BUFFER buffer{};
  buffer.version = NV_ENC_CREATE_BITSTREAM_BUFFER_VER;
  const NVENCSTATUS bufferStatus = fn.nvEncCreateBitstreamBuffer(session_, &buffer);
  if (bufferStatus != NV_ENC_SUCCESS) {
    return Fail("nvEncCreateBitstreamBuffer fallo para ", bufferStatus);
  }
  bitstream_ = buffer.bitstreamBuffer;

  log::Line(std::string("NVENC inicializado correctamente: ") + name + " (" +
            std::to_string(width) + "x" + std::to_string(height) + " @ " + std::to_string(fps) +
            "fps, " + std::to_string(kbps) + " kbps, CBR + filler para adherencia de bitrate)");
  return true;
}

bool NvencEncoder::EncodeFrame(const Picture& surface, PacketBytes& bytes, bool& isKeyframe,
                               bool forceKeyframe) {
  bytes.clear();
  isKeyframe = false;
  ID3D11Texture2D* texture = TextureOf(surface);
  if (!session_ || !bitstream_ || !texture) return false;
  const NV_ENCODE_API_FUNCTION_LIST& fn = api_->fn;

  NV_ENC_REGISTER_RESOURCE reg{};
  reg.version = NV_ENC_REGISTER_RESOURCE_VER;
  reg.resourceType = NV_ENC_INPUT_RESOURCE_TYPE_DIRECTX;
  reg.resourceToRegister = texture;
  reg.width = width_;
  reg.height = height_;
  reg.pitch = 0;
  reg.bufferFormat = NV_ENC_BUFFER_FORMAT_ARGB;
  reg.bufferUsage = NV_ENC_INPUT_IMAGE;
  if (fn.nvEncRegisterResource(session_, &reg) != NV_ENC_SUCCESS) return false;

  NV_ENC_MAP_INPUT_RESOURCE map{};
  map.version = NV_ENC_MAP_INPUT_RESOURCE_VER;
  map.registeredResource = reg.registeredResource;
  if (fn.nvEncMapInputResource(session_, &map) != NV_ENC_SUCCESS) {
    fn.nvEncUnregisterResource(session_, reg.registeredResource);
    return false;
  }

  NV_ENC_PIC_PARAMS pic{};
  pic.version = NV_ENC_PIC_PARAMS_VER;
  pic.inputWidth = width_;
  pic.inputHeight = height_;
  pic.inputBuffer = map.mappedResource;
  pic.bufferFmt = map.mappedBufferFmt;
  pic.outputBitstream = bitstream_;
  pic.pictureStruct = NV_ENC_PIC_STRUCT_FRAME;
  pic.inputTimeStamp = 0;
  pic.encodePicFlags =
      forceKeyframe ? static_cast<uint32_t>(NV_ENC_PIC_FLAG_FORCEIDR | NV_ENC_PIC_FLAG_OUTPUT_SPSPPS)
                    : 0u;

  bool produced = false;
  if (fn.nvEncEncodePicture(session_, &pic) == NV_ENC_SUCCESS) {
    NV_ENC_LOCK_BITSTREAM lock{};
    lock.version = NV_ENC_LOCK_BITSTREAM_VER;
    lock.outputBitstream = bitstream_;
    lock.doNotWait = 0;
    if (fn.nvEncLockBitstream(session_, &lock) == NV_ENC_SUCCESS) {
      const auto* data = static_cast<const uint8_t*>(lock.bitstreamBufferPtr);
      if (data && lock.bitstreamSizeInBytes > 0) bytes.assign(data, data + lock.bitstreamSizeInBytes);
      isKeyframe = lock.pictureType == NV_ENC_PIC_TYPE_IDR;
      fn.nvEncUnlockBitstream(session_, bitstream_);
      produced = true;
    }
  }

  fn.nvEncUnmapInputResource(session_, map.mappedResource);
  fn.nvEncUnregisterResource(session_, reg.registeredResource);
  return produced;
}

void NvencEncoder::Shutdown() {
  if (api_ && session_) {
    if (bitstream_) api_->fn.nvEncDestroyBitstreamBuffer(session_, bitstream_);
    api_->fn.nvEncDestroyEncoder(session_);
  }
  bitstream_ = nullptr;
  session_ = nullptr;
  api_.reset();
  if (library_) FreeLibrary(library_);
  library_ = nullptr;
  apiVersion_ = 0;
}

}  // namespace halvex

// NvencEncoder against the test double of the vendor library: the configuration it asks for, the
// version it opens the session with, the calls around every picture and every failure path.
#include "encode/win/nvenc_encoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/win/native_picture.h"
#include "encode/win/d3d11_test_device.h"
#include "encode/win/fake_nvenc_library.h"

namespace halvex {
namespace {

using test::FakeNvencLibrary;
using test::NvCall;

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const std::string kSdk =
    std::to_string(NVENCAPI_MAJOR_VERSION) + "." + std::to_string(NVENCAPI_MINOR_VERSION);

class NvencTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gpu_.Create()) << "no D3D11 device (hardware nor WARP)";
    ASSERT_FALSE(test::NvencLibraryLoaded()) << "a previous test left the library loaded";
    if (LoadsFake()) {
      ASSERT_TRUE(fake_.Load(Variant()));
    }
    encoder_ = std::make_unique<NvencEncoder>(gpu_.device.Get());
  }

  void TearDown() override {
    encoder_.reset();
    if (fake_.loaded()) {
      EXPECT_TRUE(fake_.Unload()) << "the encoder kept nvEncodeAPI64.dll loaded";
    }
  }

  virtual bool LoadsFake() const { return true; }
  virtual std::wstring Variant() const { return {}; }

  test::FakeNvencState& nv() { return fake_.state(); }
  std::vector<NvCall> CallsSince(int first) {
    return std::vector<NvCall>(nv().calls + first, nv().calls + nv().callCount);
  }

  test::TestDevice gpu_;
  log::Capture capture_;
  FakeNvencLibrary fake_;
  std::unique_ptr<NvencEncoder> encoder_;
};

TEST_F(NvencTest, H264IsConfiguredOnTopOfTheLowLatencyP1Preset) {
  ASSERT_TRUE(encoder_->Initialize(1920, 1080, 60, 8000, VideoCodec::H264));
  EXPECT_TRUE(capture_.Contains("NVENC inicializado correctamente: H.264 / AVC (1920x1080 @ 60fps, "
                                "8000 kbps, CBR + filler para adherencia de bitrate)"));
  EXPECT_EQ(nv().versionErrors, 0);
  EXPECT_EQ(nv().functionListVersion, NV_ENCODE_API_FUNCTION_LIST_VER);
  EXPECT_EQ(nv().open.deviceType, NV_ENC_DEVICE_TYPE_DIRECTX);
  EXPECT_EQ(nv().open.device, gpu_.device.Get());

  EXPECT_TRUE(SameGuid(nv().presetCodec, NV_ENC_CODEC_H264_GUID));
  EXPECT_TRUE(SameGuid(nv().presetGuid, NV_ENC_PRESET_P1_GUID));
  EXPECT_EQ(nv().presetTuning, NV_ENC_TUNING_INFO_LOW_LATENCY);

  const NV_ENC_INITIALIZE_PARAMS& init = nv().init;
  EXPECT_TRUE(SameGuid(init.encodeGUID, NV_ENC_CODEC_H264_GUID));
  EXPECT_TRUE(SameGuid(init.presetGUID, NV_ENC_PRESET_P1_GUID));
  EXPECT_EQ(init.encodeWidth, 1920u);
  EXPECT_EQ(init.encodeHeight, 1080u);
  EXPECT_EQ(init.darWidth, 1920u);
  EXPECT_EQ(init.darHeight, 1080u);
  EXPECT_EQ(init.frameRateNum, 60u);
  EXPECT_EQ(init.frameRateDen, 1u);
  EXPECT_EQ(init.enableEncodeAsync, 0u);
  EXPECT_EQ(init.enablePTD, 1u);
  EXPECT_EQ(init.tuningInfo, NV_ENC_TUNING_INFO_LOW_LATENCY);

  const NV_ENC_CONFIG& c = nv().initConfig;
  EXPECT_EQ(c.gopLength, 120u);
  EXPECT_EQ(c.frameIntervalP, 1);
  EXPECT_EQ(c.rcParams.rateControlMode, NV_ENC_PARAMS_RC_CBR);
  EXPECT_EQ(c.rcParams.averageBitRate, 8000000u);
  EXPECT_EQ(c.rcParams.vbvBufferSize, 32000000u);
  EXPECT_EQ(c.rcParams.vbvInitialDelay, 16000000u);
  EXPECT_EQ(c.rcParams.strictGOPTarget, 1u);
  const NV_ENC_CONFIG_H264& h = c.encodeCodecConfig.h264Config;
  EXPECT_EQ(h.idrPeriod, 120u);
  EXPECT_EQ(h.repeatSPSPPS, 1u);
  EXPECT_EQ(h.disableSPSPPS, 0u);
  EXPECT_EQ(h.enableFillerDataInsertion, 1u);
  // Everything else is the preset's.
  EXPECT_EQ(c.rcParams.maxBitRate, 123456u);
  EXPECT_EQ(c.rcParams.enableAQ, 1u);
  EXPECT_EQ(c.rcParams.multiPass, NV_ENC_TWO_PASS_QUARTER_RESOLUTION);
  EXPECT_EQ(c.mvPrecision, NV_ENC_MV_PRECISION_QUARTER_PEL);
  EXPECT_TRUE(SameGuid(c.profileGUID, NV_ENC_H264_PROFILE_HIGH_GUID));
  EXPECT_EQ(h.level, static_cast<uint32_t>(NV_ENC_LEVEL_H264_42));
  EXPECT_EQ(h.maxNumRefFrames, 3u);

  EXPECT_EQ(nv().liveSessions, 1);
  EXPECT_EQ(nv().liveBitstreams, 1);
}

TEST_F(NvencTest, HevcGetsFourTwoZeroEightBitAndInBandParameterSets) {
  ASSERT_TRUE(encoder_->Initialize(1280, 720, 30, 6000, VideoCodec::Hevc));
  EXPECT_TRUE(capture_.Contains("NVENC inicializado correctamente: H.265 / HEVC (1280x720 @ 30fps, "
                                "6000 kbps, CBR + filler para adherencia de bitrate)"));
  EXPECT_EQ(nv().versionErrors, 0);
  EXPECT_TRUE(SameGuid(nv().presetCodec, NV_ENC_CODEC_HEVC_GUID));
  EXPECT_TRUE(SameGuid(nv().init.encodeGUID, NV_ENC_CODEC_HEVC_GUID));
  EXPECT_EQ(nv().init.frameRateNum, 30u);

  const NV_ENC_CONFIG& c = nv().initConfig;
  EXPECT_EQ(c.gopLength, 60u);
  EXPECT_EQ(c.frameIntervalP, 1);
  EXPECT_EQ(c.rcParams.rateControlMode, NV_ENC_PARAMS_RC_CBR);
  EXPECT_EQ(c.rcParams.averageBitRate, 6000000u);
  EXPECT_EQ(c.rcParams.maxBitRate, 123456u);
  const NV_ENC_CONFIG_HEVC& h = c.encodeCodecConfig.hevcConfig;
  EXPECT_EQ(h.idrPeriod, 60u);
  EXPECT_EQ(h.repeatSPSPPS, 1u);
  EXPECT_EQ(h.disableSPSPPS, 0u);
  EXPECT_EQ(h.chromaFormatIDC, 1u);
  EXPECT_EQ(h.pixelBitDepthMinus8, 0u);
  EXPECT_EQ(h.enableFillerDataInsertion, 1u);
  EXPECT_EQ(h.level, static_cast<uint32_t>(NV_ENC_LEVEL_HEVC_51));
  EXPECT_EQ(h.maxNumRefFramesInDPB, 4u);
}

TEST_F(NvencTest, UnknownCodecValueIsH264) {
  ASSERT_TRUE(encoder_->Initialize(640, 360, 30, 2000, static_cast<VideoCodec>(7)));
  EXPECT_TRUE(SameGuid(nv().init.encodeGUID, NV_ENC_CODEC_H264_GUID));
  EXPECT_TRUE(capture_.Contains("NVENC inicializado correctamente: H.264 / AVC (640x360"));
}

TEST_F(NvencTest, Av1FailsCleanlyWithTheseHeadersAndH264StillOpens) {
  if (NVENCAPI_MAJOR_VERSION >= 13) GTEST_SKIP() << "these headers can encode AV1";
  EXPECT_FALSE(encoder_->Initialize(1920, 1080, 60, 8000, VideoCodec::Av1));
  EXPECT_TRUE(capture_.Contains("NVENC: AV1 no esta disponible con la API " + kSdk +
                                " de esta compilacion"));
  EXPECT_EQ(nv().Count(NvCall::OpenSession), 0);
  EXPECT_FALSE(encoder_->IsOpen());
  EXPECT_FALSE(capture_.Contains("NVENC inicializado correctamente"));

  ASSERT_TRUE(encoder_->Initialize(1920, 1080, 60, 8000, VideoCodec::H264));
  EXPECT_TRUE(capture_.Contains("NVENC inicializado correctamente: H.264 / AVC"));
}

TEST_F(NvencTest, FrameRateAndBitRateBelowOneAreUsedAsOneButLoggedAsGiven) {
  ASSERT_TRUE(encoder_->Initialize(640, 360, 0, -5, VideoCodec::H264));
  EXPECT_TRUE(capture_.Contains("NVENC inicializado correctamente: H.264 / AVC (640x360 @ 0fps, "
                                "-5 kbps, CBR + filler para adherencia de bitrate)"));
  const NV_ENC_CONFIG& c = nv().initConfig;
  EXPECT_EQ(c.gopLength, 2u);
  EXPECT_EQ(c.encodeCodecConfig.h264Config.idrPeriod, 2u);
  EXPECT_EQ(c.rcParams.averageBitRate, 1000u);
  EXPECT_EQ(c.rcParams.vbvBufferSize, 4000u);
  EXPECT_EQ(c.rcParams.vbvInitialDelay, 2000u);
  EXPECT_EQ(nv().init.frameRateNum, 1u);
  EXPECT_EQ(nv().init.frameRateDen, 1u);
}

TEST_F(NvencTest, SessionOpensAtTheDriverVersionButNeverAboveTheCompiledOne) {
  struct Case {
    uint32_t driver;  // major << 4 | minor
    const char* shown;
    uint32_t opened;  // the API's encoding: major | minor << 24
  };
  const Case cases[] = {
      {(13u << 4) | 0u, "13.0", NVENCAPI_VERSION},  // newer driver: our structures' version
      {(NVENCAPI_MAJOR_VERSION << 4) | NVENCAPI_MINOR_VERSION, nullptr, NVENCAPI_VERSION},
      {(10u << 4) | 0u, "10.0", 10u},  // older driver: its own version
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.driver);
    nv().maxSupportedVersion = c.driver;
    capture_.Clear();
    ASSERT_TRUE(encoder_->Initialize(320, 240, 30, 1000, VideoCodec::H264));
    EXPECT_EQ(nv().open.apiVersion, c.opened);
    EXPECT_EQ(encoder_->ApiVersion(), c.opened);
    const std::string shown = c.shown ? c.shown : kSdk;
    EXPECT_TRUE(capture_.Contains("NVENC: driver soporta hasta API " + shown +
                                  " - usando esa version en vez de la del SDK (" + kSdk + ")"));
    encoder_->Shutdown();
  }

  // A driver that cannot answer is treated like one without the query.
  nv().maxSupportedVersion = (13u << 4) | 0u;
  nv().failCall = NvCall::GetMaxSupportedVersion;
  capture_.Clear();
  ASSERT_TRUE(encoder_->Initialize(320, 240, 30, 1000, VideoCodec::H264));
  EXPECT_EQ(nv().open.apiVersion, NVENCAPI_VERSION);
  EXPECT_FALSE(capture_.Contains("driver soporta"));
}

class NvencWithoutVersionQueryTest : public NvencTest {
  std::wstring Variant() const override { return L"no_max_version"; }
};

TEST_F(NvencWithoutVersionQueryTest, OpensAtTheCompiledVersionWithoutAVersionLine) {
  ASSERT_TRUE(encoder_->Initialize(320, 240, 30, 1000, VideoCodec::H264));
  EXPECT_EQ(nv().Count(NvCall::GetMaxSupportedVersion), 0);
  EXPECT_EQ(nv().open.apiVersion, NVENCAPI_VERSION);
  EXPECT_FALSE(capture_.Contains("driver soporta"));
}

class NvencWithoutCreateInstanceTest : public NvencTest {
  std::wstring Variant() const override { return L"no_create_instance"; }
};

TEST_F(NvencWithoutCreateInstanceTest, FailsWithItsLine) {
  EXPECT_FALSE(encoder_->Initialize(320, 240, 30, 1000, VideoCodec::H264));
  EXPECT_TRUE(capture_.Contains("NVENC: no se encontro NvEncodeAPICreateInstance en la DLL"));
}

class NvencWithoutLibraryTest : public NvencTest {
  bool LoadsFake() const override { return false; }
};

TEST_F(NvencWithoutLibraryTest, AvailabilityFollowsWhetherTheLibraryCanBeFound) {
  EXPECT_TRUE(NvencEncoder::IsAvailable());  // the double beside the binary
  EXPECT_FALSE(test::NvencLibraryLoaded()) << "IsAvailable must free the library again";

  // Searching only the system folder hides the double.
  ASSERT_TRUE(SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32));
  EXPECT_FALSE(NvencEncoder::IsAvailable());
  EXPECT_FALSE(encoder_->Initialize(320, 240, 30, 1000, VideoCodec::H264));
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  EXPECT_TRUE(capture_.Contains("NVENC: no se encontro nvEncodeAPI64.dll"));
  EXPECT_TRUE(NvencEncoder::IsAvailable());
}

struct InitFailure {
  NvCall call;
  VideoCodec codec;
  const char* line;  // status appended
};

class NvencInitFailureTest : public NvencTest,
                             public ::testing::WithParamInterface<InitFailure> {};

TEST_P(NvencInitFailureTest, LogsItsLineAndReleasesEverything) {
  const InitFailure& f = GetParam();
  nv().failCall = f.call;
  nv().failStatus = NV_ENC_ERR_OUT_OF_MEMORY;
  nv().sessionOnFailedOpen = true;  // a driver may hand back a session it could not open
  EXPECT_FALSE(encoder_->Initialize(1920, 1080, 60, 8000, f.codec));
  EXPECT_TRUE(capture_.Contains(std::string(f.line) + " (status=" +
                                std::to_string(NV_ENC_ERR_OUT_OF_MEMORY) + ")"))
      << f.line;
  EXPECT_FALSE(capture_.Contains("NVENC inicializado correctamente"));
  EXPECT_FALSE(encoder_->IsOpen());
  EXPECT_EQ(nv().liveSessions, 0);
  EXPECT_EQ(nv().liveBitstreams, 0);

  // Nothing stale is left behind: the next attempt opens normally.
  nv().failCall = NvCall::None;
  EXPECT_TRUE(encoder_->Initialize(1920, 1080, 60, 8000, f.codec));
}

INSTANTIATE_TEST_SUITE_P(
    EveryCall, NvencInitFailureTest,
    ::testing::Values(
        InitFailure{NvCall::CreateInstance, VideoCodec::H264, "NVENC: NvEncodeAPICreateInstance fallo"},
        InitFailure{NvCall::OpenSession, VideoCodec::H264,
                    "NVENC: no se pudo abrir sesion para H.264 / AVC"},
        InitFailure{NvCall::OpenSession, VideoCodec::Hevc,
                    "NVENC: no se pudo abrir sesion para H.265 / HEVC"},
        InitFailure{NvCall::GetPresetConfigEx, VideoCodec::H264,
                    "NVENC: nvEncGetEncodePresetConfig fallo para H.264 / AVC"},
        InitFailure{NvCall::InitializeEncoder, VideoCodec::Hevc,
                    "NVENC: nvEncInitializeEncoder fallo para H.265 / HEVC"},
        InitFailure{NvCall::CreateBitstream, VideoCodec::H264,
                    "NVENC: nvEncCreateBitstreamBuffer fallo para H.264 / AVC"}));

// Opened at 2 fps: an IDR every 4 pictures unless one is forced.
class NvencFrameTest : public NvencTest {
 protected:
  void SetUp() override {
    NvencTest::SetUp();
    ASSERT_TRUE(encoder_->Initialize(64, 32, 2, 1000, VideoCodec::H264));
    texture_ = gpu_.SolidTexture(64, 32, 0xFF102030u);
    ASSERT_TRUE(texture_);
    surface_ = WrapTexture(texture_, nullptr, 64, 32);
  }
  test::ComPtr<ID3D11Texture2D> texture_;
  Picture surface_;
};

TEST_F(NvencFrameTest, EachPictureIsRegisteredMappedEncodedLockedAndReleased) {
  const int first = nv().callCount;
  PacketBytes bytes;
  bool key = false;
  ASSERT_TRUE(encoder_->EncodeFrame(surface_, bytes, key, true));
  EXPECT_EQ(CallsSince(first),
            (std::vector<NvCall>{NvCall::RegisterResource, NvCall::MapInput, NvCall::EncodePicture,
                                 NvCall::LockBitstream, NvCall::UnlockBitstream, NvCall::UnmapInput,
                                 NvCall::UnregisterResource}));
  EXPECT_EQ(nv().versionErrors, 0);

  const NV_ENC_REGISTER_RESOURCE& reg = nv().reg;
  EXPECT_EQ(reg.resourceType, NV_ENC_INPUT_RESOURCE_TYPE_DIRECTX);
  EXPECT_EQ(reg.resourceToRegister, texture_.Get());
  EXPECT_EQ(reg.width, 64u);
  EXPECT_EQ(reg.height, 32u);
  EXPECT_EQ(reg.pitch, 0u);
  EXPECT_EQ(reg.bufferFormat, NV_ENC_BUFFER_FORMAT_ARGB);
  EXPECT_EQ(reg.bufferUsage, NV_ENC_INPUT_IMAGE);

  const NV_ENC_PIC_PARAMS& pic = nv().pic;
  EXPECT_EQ(pic.inputWidth, 64u);
  EXPECT_EQ(pic.inputHeight, 32u);
  EXPECT_EQ(pic.inputBuffer, nv().map.mappedResource);
  EXPECT_EQ(pic.bufferFmt, nv().map.mappedBufferFmt);
  EXPECT_NE(pic.outputBitstream, nullptr);
  EXPECT_EQ(pic.outputBitstream, nv().lock.outputBitstream);
  EXPECT_EQ(pic.pictureStruct, NV_ENC_PIC_STRUCT_FRAME);
  EXPECT_EQ(pic.inputTimeStamp, 0u);
  EXPECT_EQ(pic.encodePicFlags,
            static_cast<uint32_t>(NV_ENC_PIC_FLAG_FORCEIDR | NV_ENC_PIC_FLAG_OUTPUT_SPSPPS));
  EXPECT_EQ(nv().lock.doNotWait, 0u);
  EXPECT_EQ(nv().unmapped, nv().map.mappedResource);
  EXPECT_EQ(nv().unregistered, nv().map.registeredResource);
  EXPECT_EQ(nv().liveRegistrations, 0);
  EXPECT_EQ(nv().liveMappings, 0);

  EXPECT_TRUE(key);
  EXPECT_EQ(bytes, (PacketBytes{0, 0, 0, 1, 0x67, 0, 0, 0, 1, 0x68, 0, 0, 0, 1, 0x65, 0, 0, 0, 0}));
}

TEST_F(NvencFrameTest, ForcedPicturesAreIdrsAndOthersFollowThePeriod) {
  const bool force[] = {true, false, false, true, false, false, false, false, false};
  const bool expected[] = {true, false, false, true, false, false, false, true, false};
  for (size_t i = 0; i < std::size(force); ++i) {
    SCOPED_TRACE(i);
    PacketBytes bytes;
    bool key = !expected[i];
    ASSERT_TRUE(encoder_->EncodeFrame(surface_, bytes, key, force[i]));
    EXPECT_EQ(key, expected[i]);
    EXPECT_EQ(nv().pic.encodePicFlags, force[i] ? 6u : 0u);
    ASSERT_GE(bytes.size(), 9u);
    EXPECT_EQ(bytes[bytes.size() - 1], static_cast<uint8_t>(i));  // its own picture's bytes
    // Every IDR carries the parameter sets in band (forced or not).
    EXPECT_EQ(bytes[4] == 0x67, expected[i]);
  }
  EXPECT_EQ(nv().Count(NvCall::RegisterResource), 9);
  EXPECT_EQ(nv().Count(NvCall::UnregisterResource), 9);
}

struct FrameFailure {
  NvCall call;
  std::vector<NvCall> calls;
};

class NvencFrameFailureTest : public NvencFrameTest,
                              public ::testing::WithParamInterface<FrameFailure> {};

TEST_P(NvencFrameFailureTest, ProducesNothingSilentlyAndReleasesTheInput) {
  nv().failCall = GetParam().call;
  const int first = nv().callCount;
  capture_.Clear();
  PacketBytes bytes{1, 2, 3};
  bool key = true;
  EXPECT_FALSE(encoder_->EncodeFrame(surface_, bytes, key, true));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(key);
  EXPECT_EQ(CallsSince(first), GetParam().calls);
  EXPECT_EQ(nv().liveRegistrations, 0);
  EXPECT_EQ(nv().liveMappings, 0);
  EXPECT_TRUE(capture_.Lines().empty());

  nv().failCall = NvCall::None;
  EXPECT_TRUE(encoder_->EncodeFrame(surface_, bytes, key, false));
  EXPECT_FALSE(bytes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryCall, NvencFrameFailureTest,
    ::testing::Values(
        FrameFailure{NvCall::RegisterResource, {NvCall::RegisterResource}},
        FrameFailure{NvCall::MapInput,
                     {NvCall::RegisterResource, NvCall::MapInput, NvCall::UnregisterResource}},
        FrameFailure{NvCall::EncodePicture,
                     {NvCall::RegisterResource, NvCall::MapInput, NvCall::EncodePicture,
                      NvCall::UnmapInput, NvCall::UnregisterResource}},
        FrameFailure{NvCall::LockBitstream,
                     {NvCall::RegisterResource, NvCall::MapInput, NvCall::EncodePicture,
                      NvCall::LockBitstream, NvCall::UnmapInput, NvCall::UnregisterResource}}));

TEST_F(NvencFrameTest, ShutdownReleasesBufferThenSessionOnceAndReopens) {
  const int first = nv().callCount;
  encoder_->Shutdown();
  EXPECT_EQ(CallsSince(first),
            (std::vector<NvCall>{NvCall::DestroyBitstream, NvCall::DestroyEncoder}));
  EXPECT_EQ(nv().liveSessions, 0);
  EXPECT_EQ(nv().liveBitstreams, 0);
  encoder_->Shutdown();
  EXPECT_EQ(nv().callCount, first + 2);

  PacketBytes bytes;
  bool key = false;
  EXPECT_FALSE(encoder_->EncodeFrame(surface_, bytes, key, true));
  EXPECT_EQ(nv().callCount, first + 2);

  // Initialize on an open encoder closes the old session first (the driver allows one here).
  ASSERT_TRUE(encoder_->Initialize(64, 32, 30, 1000, VideoCodec::Hevc));
  ASSERT_TRUE(encoder_->Initialize(64, 32, 30, 1000, VideoCodec::H264));
  EXPECT_EQ(nv().liveSessions, 1);
  EXPECT_TRUE(encoder_->EncodeFrame(surface_, bytes, key, true));
}

}  // namespace
}  // namespace halvex

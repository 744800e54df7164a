// The whole Windows worker on a real (Wine) D3D11 device with the test double of NVENC: frames go
// through GPU copies into the slots, are encoded from the slots and land in the history in order.
#include "encode/win/windows_video_worker.h"

#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/log.h"
#include "core/win/native_picture.h"
#include "encode/win/d3d11_test_device.h"
#include "encode/win/fake_nvenc_library.h"

namespace halvex {
namespace {

uint32_t Colour(int i) { return 0xFF000000u | static_cast<uint32_t>(i * 0x0A1F37 + 0x102030); }

uint32_t TexelOf(const EncodedPacket& p) {
  uint32_t texel = 0;
  std::memcpy(&texel, p.data() + p.size() - 4, 4);
  return texel;
}

class WindowsWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gpu_.Create()) << "no D3D11 device (hardware nor WARP)";
    ASSERT_TRUE(fake_.Load());
    fake_.state().readTexel = true;
    worker_ = MakeWindowsVideoWorker(gpu_.device.Get());
    source_ = gpu_.SolidTexture(64, 32, 0);
  }
  void TearDown() override {
    worker_.reset();
    EXPECT_TRUE(fake_.Unload());
  }

  bool Submit(int i) {
    gpu_.Fill(source_.Get(), Colour(i));
    return worker_->SubmitFrame(WrapTexture(source_, gpu_.context, 64, 32), 1000 * (i + 1));
  }

  ManualClock clock_{0};
  ScopedClockSource clockScope_{&clock_};
  log::Capture capture_;
  PacketHistory history_{60.0};
  test::TestDevice gpu_;
  test::FakeNvencLibrary fake_;
  test::ComPtr<ID3D11Texture2D> source_;
  std::unique_ptr<VideoEncoderWorker> worker_;
};

TEST_F(WindowsWorkerTest, EveryCapturedPictureIsEncodedFromItsSlotInOrder) {
  ASSERT_TRUE(worker_->Start(64, 32, 30, 2000, &history_, 8, VideoCodec::H264));
  EXPECT_TRUE(capture_.Contains("V24: worker de video iniciado (codec=H.264 / AVC, pool=8, sync GPU "
                                "por ID3D11_QUERY_EVENT, captura y NVENC desacoplados)."));
  // A burst that fills the pool, then single frames.
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(Submit(i)) << i;
  ASSERT_TRUE(worker_->WaitForBacklog(30000));
  for (int i = 8; i < 12; ++i) {
    ASSERT_TRUE(Submit(i)) << i;
    ASSERT_TRUE(worker_->WaitForBacklog(30000));
  }
  EXPECT_TRUE(capture_.Contains("V19 FIXED7: D3D11 multithread protection habilitada."));
  test::ComPtr<ID3D11Multithread> multithread;
  ASSERT_TRUE(SUCCEEDED(gpu_.context.As(&multithread)));
  EXPECT_TRUE(multithread->GetMultithreadProtected());

  worker_->Stop();
  EXPECT_EQ(fake_.state().liveSessions, 0);
  EXPECT_EQ(fake_.state().liveRegistrations, 0);
  EXPECT_EQ(worker_->FramesSubmitted(), 12u);
  EXPECT_EQ(worker_->FramesEncoded(), 12u);
  EXPECT_EQ(worker_->FramesDropped(), 0u);

  const std::vector<EncodedPacket> packets = history_.SnapshotFrom(INT64_MIN);
  ASSERT_EQ(packets.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    SCOPED_TRACE(i);
    const EncodedPacket& p = packets[static_cast<size_t>(i)];
    EXPECT_EQ(p.timestampNs, 1000 * (i + 1));
    EXPECT_EQ(p.keyframe, i == 0);  // forced first picture; the period is 60 pictures
    ASSERT_GE(p.size(), 9u);
    EXPECT_EQ(TexelOf(p), Colour(i)) << "picture " << i << " was not encoded from its own copy";
  }
}

TEST_F(WindowsWorkerTest, EncoderThatCannotOpenFailsStart) {
  fake_.state().failCall = test::NvCall::InitializeEncoder;
  EXPECT_FALSE(worker_->Start(64, 32, 30, 2000, &history_, 8, VideoCodec::H264));
  EXPECT_TRUE(capture_.Contains("V19: el worker no pudo inicializar NVENC en su propio hilo."));
  EXPECT_FALSE(worker_->Running());
  EXPECT_FALSE(worker_->SubmitFrame(WrapTexture(source_, gpu_.context, 64, 32), 1));
  EXPECT_EQ(fake_.state().liveSessions, 0);
}

}  // namespace
}  // namespace halvex

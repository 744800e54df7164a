// The D3D11 slots on a real (Wine) device: texture and query shape, GPU copies read back, and the
// sharing of the capture context.
#include "encode/win/d3d11_slot_backend.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "encode/win/d3d11_test_device.h"

namespace halvex {
namespace {

using test::ComPtr;

class D3D11SlotTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(gpu_.Create()) << "no D3D11 device (hardware nor WARP)"; }

  ISlotBackend::CopyState WaitForCopy(D3D11SlotBackend& slots, int slot) {
    for (int i = 0; i < 1000000; ++i) {
      const auto state = slots.PollCopy(slot);
      if (state != ISlotBackend::CopyState::Pending) return state;
      Sleep(0);
    }
    return ISlotBackend::CopyState::Pending;
  }

  test::TestDevice gpu_;
  log::Capture capture_;
};

TEST_F(D3D11SlotTest, SlotsArePrivateBgraTexturesWithAnEventQueryEach) {
  D3D11SlotBackend slots(gpu_.device.Get());
  ASSERT_TRUE(slots.CreateSlots(320, 180, 3));
  ASSERT_EQ(slots.SlotCount(), 3);
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(TextureOf(slots.Surface(i)), nullptr);
    D3D11_TEXTURE2D_DESC desc{};
    TextureOf(slots.Surface(i))->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 320u);
    EXPECT_EQ(desc.Height, 180u);
    EXPECT_EQ(desc.MipLevels, 1u);
    EXPECT_EQ(desc.ArraySize, 1u);
    EXPECT_EQ(desc.Format, DXGI_FORMAT_B8G8R8A8_UNORM);
    EXPECT_EQ(desc.SampleDesc.Count, 1u);
    EXPECT_EQ(desc.Usage, D3D11_USAGE_DEFAULT);
    EXPECT_EQ(desc.BindFlags, static_cast<UINT>(D3D11_BIND_SHADER_RESOURCE));
    EXPECT_EQ(desc.CPUAccessFlags, 0u);
    EXPECT_EQ(desc.MiscFlags, 0u);
    D3D11_QUERY_DESC query{};
    slots.Query(i)->GetDesc(&query);
    EXPECT_EQ(query.Query, D3D11_QUERY_EVENT);
    EXPECT_EQ(query.MiscFlags, 0u);
  }
  EXPECT_NE(TextureOf(slots.Surface(0)), TextureOf(slots.Surface(1)));
  EXPECT_EQ(TextureOf(slots.Surface(3)), nullptr);

  slots.ReleaseSlots();
  EXPECT_EQ(slots.SlotCount(), 0);
}

TEST_F(D3D11SlotTest, TextureThatCannotBeMadeFailsWithItsLineAndLeavesNoSlots) {
  D3D11SlotBackend slots(gpu_.device.Get());
  EXPECT_FALSE(slots.CreateSlots(0, 0, 4));
  EXPECT_TRUE(capture_.Contains("V19: no se pudo crear un slot de textura para el encoder (hr=0x"));
  EXPECT_EQ(slots.SlotCount(), 0);

  D3D11SlotBackend noDevice(nullptr);
  capture_.Clear();
  EXPECT_FALSE(noDevice.CreateSlots(64, 64, 2));
  EXPECT_TRUE(capture_.Lines().empty());
}

TEST_F(D3D11SlotTest, CopyLandsInTheSlotAndIsReportedDoneByItsQuery) {
  D3D11SlotBackend slots(gpu_.device.Get());
  ASSERT_TRUE(slots.CreateSlots(64, 32, 2));
  ComPtr<ID3D11Texture2D> red = gpu_.SolidTexture(64, 32, 0xFFFF0000u);
  ComPtr<ID3D11Texture2D> blue = gpu_.SolidTexture(64, 32, 0xFF0000FFu);
  const Picture first = WrapTexture(red, gpu_.context, 64, 32);
  const Picture second = WrapTexture(blue, gpu_.context, 64, 32);
  ASSERT_TRUE(slots.Accepts(first));
  ASSERT_TRUE(slots.AttachContext(first));

  slots.CopyIntoSlot(1, first);
  slots.CopyIntoSlot(0, second);
  ASSERT_EQ(WaitForCopy(slots, 1), ISlotBackend::CopyState::Done);
  ASSERT_EQ(WaitForCopy(slots, 0), ISlotBackend::CopyState::Done);

  const std::vector<uint32_t> one = gpu_.ReadBack(TextureOf(slots.Surface(1)));
  const std::vector<uint32_t> zero = gpu_.ReadBack(TextureOf(slots.Surface(0)));
  ASSERT_EQ(one.size(), 64u * 32u);
  ASSERT_EQ(zero.size(), 64u * 32u);
  EXPECT_EQ(one, std::vector<uint32_t>(64 * 32, 0xFFFF0000u));
  EXPECT_EQ(zero, std::vector<uint32_t>(64 * 32, 0xFF0000FFu));

  // A slot is reused: the new picture replaces the old one.
  gpu_.Fill(red.Get(), 0xFF00FF00u);
  slots.CopyIntoSlot(1, first);
  ASSERT_EQ(WaitForCopy(slots, 1), ISlotBackend::CopyState::Done);
  EXPECT_EQ(gpu_.ReadBack(TextureOf(slots.Surface(1))),
            std::vector<uint32_t>(64 * 32, 0xFF00FF00u));
}

TEST_F(D3D11SlotTest, SourcesThatCannotBeCopiedAreRefused) {
  D3D11SlotBackend slots(gpu_.device.Get());
  ASSERT_TRUE(slots.CreateSlots(64, 32, 2));
  ComPtr<ID3D11Texture2D> right = gpu_.SolidTexture(64, 32, 0);
  ComPtr<ID3D11Texture2D> wrongSize = gpu_.SolidTexture(32, 32, 0);
  EXPECT_TRUE(slots.Accepts(WrapTexture(right, gpu_.context, 64, 32)));
  EXPECT_FALSE(slots.Accepts(WrapTexture(wrongSize, gpu_.context, 32, 32)));
  EXPECT_FALSE(slots.Accepts(WrapTexture(right, nullptr, 64, 32)));
  EXPECT_FALSE(slots.Accepts(WrapTexture(nullptr, gpu_.context, 64, 32)));
}

TEST_F(D3D11SlotTest, AttachingTurnsMultithreadProtectionOnAndDetachingOff) {
  ComPtr<ID3D11Multithread> multithread;
  ASSERT_TRUE(SUCCEEDED(gpu_.context.As(&multithread)));
  multithread->SetMultithreadProtected(FALSE);
  // Wine's device is always protected and reports so; the switching is then not observable.
  const bool observable = !multithread->GetMultithreadProtected();

  D3D11SlotBackend slots(gpu_.device.Get());
  ASSERT_TRUE(slots.CreateSlots(16, 16, 2));
  // Without an attached context no copy can be waited for.
  EXPECT_EQ(slots.PollCopy(0), ISlotBackend::CopyState::Failed);

  ComPtr<ID3D11Texture2D> source = gpu_.SolidTexture(16, 16, 0);
  ASSERT_TRUE(slots.AttachContext(WrapTexture(source, gpu_.context, 16, 16)));
  EXPECT_TRUE(capture_.Contains("V19 FIXED7: D3D11 multithread protection habilitada."));
  EXPECT_TRUE(multithread->GetMultithreadProtected());
  EXPECT_EQ(slots.PollCopy(5), ISlotBackend::CopyState::Failed);

  slots.DetachContext();
  if (observable) {
    EXPECT_FALSE(multithread->GetMultithreadProtected());
  }
  EXPECT_EQ(slots.PollCopy(0), ISlotBackend::CopyState::Failed);

  // Releasing the slots lets go of the context as well.
  ASSERT_TRUE(slots.AttachContext(WrapTexture(source, gpu_.context, 16, 16)));
  slots.ReleaseSlots();
  if (observable) {
    EXPECT_FALSE(multithread->GetMultithreadProtected());
  }

  capture_.Clear();
  EXPECT_FALSE(slots.AttachContext(WrapTexture(source, nullptr, 16, 16)));
  EXPECT_TRUE(capture_.Contains("V19 FIXED7: no se pudo habilitar proteccion multihilo de D3D11."));
}

}  // namespace
}  // namespace halvex

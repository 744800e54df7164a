#include "core/win/com_apartment.h"

#include <gtest/gtest.h>

#include <thread>

namespace halvex {
namespace {

// Each case on a thread of its own, so the test runner's apartment plays no part.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(ComApartment, NestedApartmentsAreEachUndoneAndLeaveTheThreadAsFound) {
  OnFreshThread([] {
    {
      ComApartment outer;
      EXPECT_EQ(outer.Result(), S_OK);
      EXPECT_TRUE(outer.Owns());
      EXPECT_TRUE(outer.Ok());
      ComApartment inner;
      EXPECT_EQ(inner.Result(), S_FALSE);
      EXPECT_TRUE(inner.Owns());
      EXPECT_TRUE(inner.Ok());
    }
    // Both were undone: the thread may now enter a single-threaded apartment.
    const HRESULT sta = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(sta, S_OK);
    if (SUCCEEDED(sta)) CoUninitialize();
  });
}

TEST(ComApartment, ThreadInAnotherApartmentIsUsableButNotOurs) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    {
      ComApartment com;
      EXPECT_EQ(com.Result(), RPC_E_CHANGED_MODE);
      EXPECT_FALSE(com.Owns());
      EXPECT_TRUE(com.Ok());
    }
    // The single-threaded apartment is still there, untouched by the object's end.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  });
}

}  // namespace
}  // namespace halvex

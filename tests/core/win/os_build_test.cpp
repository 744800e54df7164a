#include "core/win/os_build.h"

#include <gtest/gtest.h>

namespace halvex {
namespace {

TEST(OsBuildTest, BuildNumberIsRead) {
  // Wine reports the Windows version its prefix imitates; any real system has a build above 0.
  EXPECT_GT(OsBuildNumber(), 0u);
}

}  // namespace
}  // namespace halvex

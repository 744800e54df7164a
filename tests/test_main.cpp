// Shared entry point of every test binary.
#include <gtest/gtest.h>

#include "core/log.h"

int main(int argc, char** argv) {
  halvex::log::InitConsole();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include <gtest/gtest.h>

#include "harness/emulation.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return tw::test::TestExitCode(RUN_ALL_TESTS());
}

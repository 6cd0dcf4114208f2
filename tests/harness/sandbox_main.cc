#include <gtest/gtest.h>

#include "harness/emulation.h"
#include "harness/sandbox.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  tw::test::EnterSandbox();
  return tw::test::TestExitCode(RUN_ALL_TESTS());
}

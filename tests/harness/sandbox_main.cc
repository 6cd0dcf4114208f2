#include <gtest/gtest.h>

#include "harness/sandbox.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  tw::test::EnterSandbox();
  return RUN_ALL_TESTS();
}

#include "base/at_exit.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"

int wmain(int argc, wchar_t** argv) {
  // Process-wide objects register their clean-up here, as in the programs.
  base::AtExitManager exit_manager;
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}

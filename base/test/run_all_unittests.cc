#include "gmock/gmock.h"
#include "gtest/gtest.h"

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}

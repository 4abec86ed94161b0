#include "base/cpu.h"

#include <string.h>

#include "gtest/gtest.h"

namespace base {
namespace {

// What the leaves of a processor described by a test answer: the highest
// leaf, the signature and EDX of leaf 1, the highest extended leaf and EDX
// of leaf 0x80000007.
uint32_t g_leaves[5];

void FakeCpuid(uint32_t leaf, uint32_t registers[4]) {
  memset(registers, 0, 4 * sizeof(uint32_t));
  if (leaf == 0) {
    registers[0] = g_leaves[0];
    memcpy(&registers[1], "AuthcAMDenti", 12);  // EBX, ECX, EDX.
  } else if (leaf == 1) {
    registers[0] = g_leaves[1];
    registers[3] = g_leaves[2];
  } else if (leaf == 0x80000000) {
    registers[0] = g_leaves[3];
  } else if (leaf == 0x80000007) {
    registers[3] = g_leaves[4];
  }
}

TEST(CPUTest, ReadsOnlyTheLeavesTheProcessorHas) {
  const uint32_t kSse2 = 1u << 26, kCounter = 1u << 8;
  const struct {
    uint32_t leaves[5];
    int family;
    bool sse2, non_stop_counter;
  } kProcessors[] = {
      // Extended family 0xA over base family 0xF: only the base counts.
      {{0x16, 0x00A20F12, kSse2, 0x80000008, kCounter}, 15, true, true},
      {{0x16, 0x000906EA, ~kSse2, 0x80000008, ~kCounter}, 6, false, false},
      {{0, 0x00000F00, kSse2, 0x80000006, kCounter}, 0, false, false},
      {{1, 0x00000600, kSse2, 0x80000007, kCounter}, 6, true, true},
  };
  for (const auto& processor : kProcessors) {
    memcpy(g_leaves, processor.leaves, sizeof(g_leaves));
    CPU cpu(&FakeCpuid);
    EXPECT_EQ("AuthenticAMD", cpu.vendor_name());
    EXPECT_EQ(processor.family, cpu.family()) << processor.leaves[1];
    EXPECT_EQ(processor.sse2, cpu.has_sse2()) << processor.leaves[2];
    EXPECT_EQ(processor.non_stop_counter, cpu.has_non_stop_time_stamp_counter())
        << processor.leaves[3];
  }
  CPU real;
  EXPECT_EQ(12u, real.vendor_name().size());
  EXPECT_NE("unknown", real.vendor_name());
  EXPECT_TRUE(real.has_sse2());  // Every x64 processor has it.
}

}  // namespace
}  // namespace base

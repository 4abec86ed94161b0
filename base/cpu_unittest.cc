#include "base/cpu.h"

#include <string.h>

#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// What the fake processor answers, and which leaves were asked for.
struct FakeCpuidState {
  uint32_t highest_leaf;
  char vendor[13];
  uint32_t signature;
  uint32_t leaf1_edx;
  uint32_t highest_extended_leaf;
  uint32_t leaf80000007_edx;
  std::vector<uint32_t> leaves_asked;
};
FakeCpuidState g_state;

void FakeCpuid(uint32_t leaf, uint32_t registers[4]) {
  g_state.leaves_asked.push_back(leaf);
  registers[0] = registers[1] = registers[2] = registers[3] = 0;
  if (leaf == 0) {
    registers[0] = g_state.highest_leaf;
    memcpy(&registers[1], g_state.vendor, 4);      // EBX
    memcpy(&registers[3], g_state.vendor + 4, 4);  // EDX
    memcpy(&registers[2], g_state.vendor + 8, 4);  // ECX
  } else if (leaf == 1) {
    registers[0] = g_state.signature;
    registers[3] = g_state.leaf1_edx;
  } else if (leaf == 0x80000000) {
    registers[0] = g_state.highest_extended_leaf;
  } else if (leaf == 0x80000007) {
    registers[3] = g_state.leaf80000007_edx;
  }
}

void ResetState() {
  g_state = FakeCpuidState();
  g_state.highest_leaf = 0x16;
  memcpy(g_state.vendor, "GenuineIntel", 13);
  g_state.highest_extended_leaf = 0x80000008;
}

bool Asked(uint32_t leaf) {
  for (uint32_t asked : g_state.leaves_asked) {
    if (asked == leaf)
      return true;
  }
  return false;
}

TEST(CPUTest, ReadsVendorFromEbxEdxEcx) {
  ResetState();
  memcpy(g_state.vendor, "AuthenticAMD", 13);
  CPU cpu(&FakeCpuid);
  EXPECT_EQ("AuthenticAMD", cpu.vendor_name());
  EXPECT_EQ(12u, cpu.vendor_name().size());
}

TEST(CPUTest, FamilyIsTheBaseFamilyOnly) {
  ResetState();
  // Extended family 0xA over base family 0xF, model and stepping around.
  g_state.signature = 0x00A20F12;
  EXPECT_EQ(15, CPU(&FakeCpuid).family());
  ResetState();
  g_state.signature = 0x000906EA;
  EXPECT_EQ(6, CPU(&FakeCpuid).family());
}

TEST(CPUTest, Sse2AndNonStopCounterBits) {
  ResetState();
  g_state.leaf1_edx = 1u << 26;
  g_state.leaf80000007_edx = 1u << 8;
  CPU both(&FakeCpuid);
  EXPECT_TRUE(both.has_sse2());
  EXPECT_TRUE(both.has_non_stop_time_stamp_counter());

  ResetState();
  g_state.leaf1_edx = ~(1u << 26);
  g_state.leaf80000007_edx = ~(1u << 8);
  CPU neither(&FakeCpuid);
  EXPECT_FALSE(neither.has_sse2());
  EXPECT_FALSE(neither.has_non_stop_time_stamp_counter());
}

TEST(CPUTest, AsksOnlyForLeavesTheProcessorHas) {
  // No standard leaf beyond 0: no family, no SSE2.
  ResetState();
  g_state.highest_leaf = 0;
  g_state.signature = 0x00000F00;
  g_state.leaf1_edx = 1u << 26;
  CPU no_signature(&FakeCpuid);
  EXPECT_FALSE(Asked(1));
  EXPECT_EQ(0, no_signature.family());
  EXPECT_FALSE(no_signature.has_sse2());

  // Extended leaves end before 0x80000007: the counter bit is not read.
  ResetState();
  g_state.highest_extended_leaf = 0x80000006;
  g_state.leaf80000007_edx = 1u << 8;
  CPU no_power_leaf(&FakeCpuid);
  EXPECT_FALSE(Asked(0x80000007));
  EXPECT_FALSE(no_power_leaf.has_non_stop_time_stamp_counter());

  ResetState();
  g_state.highest_extended_leaf = 0x80000007;
  g_state.leaf80000007_edx = 1u << 8;
  EXPECT_TRUE(CPU(&FakeCpuid).has_non_stop_time_stamp_counter());
}

TEST(CPUTest, RealProcessor) {
  CPU cpu;
  EXPECT_EQ(12u, cpu.vendor_name().size());
  EXPECT_NE("unknown", cpu.vendor_name());
  // Every x64 processor has SSE2.
  EXPECT_TRUE(cpu.has_sse2());
  EXPECT_GE(cpu.family(), 0);
  EXPECT_LE(cpu.family(), 15);
}

}  // namespace
}  // namespace base

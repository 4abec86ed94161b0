#include "base/cpu.h"

#include <cpuid.h>
#include <string.h>

namespace base {

namespace {

enum Register { kEax = 0, kEbx = 1, kEcx = 2, kEdx = 3 };

constexpr uint32_t kVendorLeaf = 0;
constexpr uint32_t kSignatureLeaf = 1;
constexpr uint32_t kExtendedRangeLeaf = 0x80000000;
constexpr uint32_t kPowerManagementLeaf = 0x80000007;

constexpr uint32_t kSse2Bit = 1u << 26;         // EDX of leaf 1.
constexpr uint32_t kInvariantTscBit = 1u << 8;  // EDX of 0x80000007.

void RunCpuid(uint32_t leaf, uint32_t registers[4]) {
  __cpuid(leaf, registers[kEax], registers[kEbx], registers[kEcx],
          registers[kEdx]);
}

}  // namespace

CPU::CPU() {
  Initialize(&RunCpuid);
}

CPU::CPU(CpuidFunction cpuid) {
  Initialize(cpuid);
}

void CPU::Initialize(CpuidFunction cpuid) {
  uint32_t registers[4] = {};
  cpuid(kVendorLeaf, registers);
  uint32_t highest_leaf = registers[kEax];
  // The vendor string is spread over EBX, EDX and ECX, in that order.
  char vendor[12];
  memcpy(vendor, &registers[kEbx], 4);
  memcpy(vendor + 4, &registers[kEdx], 4);
  memcpy(vendor + 8, &registers[kEcx], 4);
  vendor_.assign(vendor, sizeof(vendor));

  if (highest_leaf > 0) {
    cpuid(kSignatureLeaf, registers);
    family_ = (registers[kEax] >> 8) & 0xF;
    has_sse2_ = (registers[kEdx] & kSse2Bit) != 0;
  }

  cpuid(kExtendedRangeLeaf, registers);
  if (registers[kEax] >= kPowerManagementLeaf) {
    cpuid(kPowerManagementLeaf, registers);
    has_non_stop_time_stamp_counter_ =
        (registers[kEdx] & kInvariantTscBit) != 0;
  }
}

}  // namespace base

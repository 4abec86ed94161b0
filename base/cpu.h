#ifndef BASE_CPU_H_
#define BASE_CPU_H_

#include <stdint.h>

#include <string>

namespace base {

// The processor facts that the system tests, read with CPUID when the object
// is built. Cheap enough to build wherever it is needed.
class CPU {
 public:
  // Runs CPUID |leaf| and stores EAX, EBX, ECX and EDX in |registers|.
  using CpuidFunction = void (*)(uint32_t leaf, uint32_t registers[4]);

  CPU();
  // Reads the facts through |cpuid| instead of the processor, so that tests
  // can describe any processor.
  explicit CPU(CpuidFunction cpuid);

  // The 12 characters of the vendor string, such as "GenuineIntel".
  const std::string& vendor_name() const { return vendor_; }
  // The base family (bits 8 to 11 of the signature), without the extended
  // family.
  int family() const { return family_; }
  bool has_sse2() const { return has_sse2_; }
  // Whether the time-stamp counter runs at a constant rate in every power
  // state, so that it can serve as a clock.
  bool has_non_stop_time_stamp_counter() const {
    return has_non_stop_time_stamp_counter_;
  }

 private:
  void Initialize(CpuidFunction cpuid);

  std::string vendor_ = "unknown";
  int family_ = 0;
  bool has_sse2_ = false;
  bool has_non_stop_time_stamp_counter_ = false;
};

}  // namespace base

#endif  // BASE_CPU_H_

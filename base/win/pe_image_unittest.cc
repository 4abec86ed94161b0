#include "base/win/pe_image.h"

#include <windows.h>

#include <string.h>

#include "gtest/gtest.h"

// A section whose name fills the whole 8-byte name field, so that the
// header holds it without a terminating zero.
__attribute__((section(".vxprobe"), used)) const char kProbeData[] = "probe";

namespace base {
namespace win {

namespace {

// The section of |image| named |name| holds |address|.
bool SectionHolds(const PEImage& image, const char* name, const void* address) {
  const IMAGE_SECTION_HEADER* section = image.GetImageSectionHeaderByName(name);
  if (!section || strncmp(reinterpret_cast<const char*>(section->Name), name,
                          IMAGE_SIZEOF_SHORT_NAME) != 0) {
    return false;
  }
  const char* start =
      static_cast<const char*>(image.RVAToAddr(section->VirtualAddress));
  const char* target = static_cast<const char*>(address);
  return start <= target && target < start + section->Misc.VirtualSize;
}

}  // namespace

TEST(PEImageTest, FindsSectionsByTheirWholeName) {
  PEImage image(::GetModuleHandleW(nullptr));
  EXPECT_TRUE(SectionHolds(image, ".text",
                           reinterpret_cast<const void*>(&SectionHolds)));
  EXPECT_TRUE(SectionHolds(image, ".vxprobe", kProbeData));
  EXPECT_FALSE(SectionHolds(image, ".text", kProbeData));
  for (const char* name : {".vxprob", ".vxprobe1", ".tex", ".nosuch", ""})
    EXPECT_EQ(nullptr, image.GetImageSectionHeaderByName(name)) << name;
  EXPECT_EQ(nullptr, image.GetImageSectionHeaderByName(nullptr));

  // Other modules too.
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  PEImage other(kernel32);
  EXPECT_EQ(kernel32, other.module());
  EXPECT_TRUE(SectionHolds(
      other, ".text",
      reinterpret_cast<const void*>(::GetProcAddress(kernel32, "Sleep"))));
  EXPECT_EQ(nullptr, other.RVAToAddr(0));
  EXPECT_EQ(reinterpret_cast<char*>(kernel32) + 0x1000,
            other.RVAToAddr(0x1000));
}

}  // namespace win
}  // namespace base

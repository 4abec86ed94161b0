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

bool SectionHolds(const PEImage& image,
                  const IMAGE_SECTION_HEADER* section,
                  const void* address) {
  const char* start =
      static_cast<const char*>(image.RVAToAddr(section->VirtualAddress));
  const char* target = static_cast<const char*>(address);
  return start <= target && target < start + section->Misc.VirtualSize;
}

}  // namespace

TEST(PEImageTest, FindsSectionsOfTheLoadedModuleByName) {
  PEImage image(::GetModuleHandleW(nullptr));

  PIMAGE_SECTION_HEADER text = image.GetImageSectionHeaderByName(".text");
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(0, memcmp(text->Name, ".text\0\0\0", 8));
  EXPECT_TRUE(
      SectionHolds(image, text, reinterpret_cast<const void*>(&SectionHolds)));

  PIMAGE_SECTION_HEADER probe = image.GetImageSectionHeaderByName(".vxprobe");
  ASSERT_NE(nullptr, probe);
  EXPECT_EQ(0, memcmp(probe->Name, ".vxprobe", 8));
  EXPECT_TRUE(SectionHolds(image, probe, kProbeData));
  EXPECT_FALSE(SectionHolds(image, text, kProbeData));

  // Names match whole: neither a prefix nor a longer name finds a section.
  EXPECT_EQ(nullptr, image.GetImageSectionHeaderByName(".vxprob"));
  EXPECT_EQ(nullptr, image.GetImageSectionHeaderByName(".vxprobe1"));
  EXPECT_EQ(nullptr, image.GetImageSectionHeaderByName(".tex"));
  EXPECT_EQ(nullptr, image.GetImageSectionHeaderByName(".nosuch"));
  EXPECT_EQ(nullptr, image.GetImageSectionHeaderByName(""));
  EXPECT_EQ(nullptr, image.GetImageSectionHeaderByName(nullptr));
}

TEST(PEImageTest, WorksOnOtherModulesAndMapsAddresses) {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(nullptr, kernel32);
  PEImage image(kernel32);
  EXPECT_EQ(kernel32, image.module());
  PIMAGE_SECTION_HEADER text = image.GetImageSectionHeaderByName(".text");
  ASSERT_NE(nullptr, text);
  EXPECT_TRUE(SectionHolds(
      image, text,
      reinterpret_cast<const void*>(::GetProcAddress(kernel32, "Sleep"))));

  EXPECT_EQ(nullptr, image.RVAToAddr(0));
  EXPECT_EQ(reinterpret_cast<char*>(kernel32) + 0x1000,
            image.RVAToAddr(0x1000));
}

}  // namespace win
}  // namespace base

#include "base/win/pe_image.h"

#include <string.h>

namespace base {
namespace win {

PEImage::~PEImage() = default;

PIMAGE_NT_HEADERS PEImage::GetNTHeaders() const {
  auto dos_header = reinterpret_cast<const IMAGE_DOS_HEADER*>(module_);
  return reinterpret_cast<PIMAGE_NT_HEADERS>(reinterpret_cast<char*>(module_) +
                                             dos_header->e_lfanew);
}

PIMAGE_SECTION_HEADER PEImage::GetImageSectionHeaderByName(
    const char* section_name) const {
  if (!section_name || strlen(section_name) > IMAGE_SIZEOF_SHORT_NAME)
    return nullptr;
  PIMAGE_NT_HEADERS nt_headers = GetNTHeaders();
  PIMAGE_SECTION_HEADER section = IMAGE_FIRST_SECTION(nt_headers);
  const WORD section_count = nt_headers->FileHeader.NumberOfSections;
  for (WORD i = 0; i < section_count; ++i, ++section) {
    if (strncmp(reinterpret_cast<const char*>(section->Name), section_name,
                IMAGE_SIZEOF_SHORT_NAME) == 0) {
      return section;
    }
  }
  return nullptr;
}

PVOID PEImage::RVAToAddr(DWORD rva) const {
  if (rva == 0)
    return nullptr;
  return reinterpret_cast<char*>(module_) + rva;
}

}  // namespace win
}  // namespace base

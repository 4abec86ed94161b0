#ifndef BASE_WIN_PE_IMAGE_H_
#define BASE_WIN_PE_IMAGE_H_

#include <windows.h>

namespace base {
namespace win {

// Reads the headers of a module loaded into this process.
class PEImage {
 public:
  explicit PEImage(HMODULE module) : module_(module) {}
  explicit PEImage(const void* module)
      : module_(reinterpret_cast<HMODULE>(const_cast<void*>(module))) {}
  PEImage(const PEImage&) = delete;
  PEImage& operator=(const PEImage&) = delete;
  virtual ~PEImage();

  // The header of the section named |section_name|, or null when no section
  // has that name. Section names are at most 8 bytes, so a longer name
  // finds nothing.
  PIMAGE_SECTION_HEADER GetImageSectionHeaderByName(
      const char* section_name) const;

  // The address of relative virtual address |rva| in the loaded image; null
  // for 0.
  virtual PVOID RVAToAddr(DWORD rva) const;

  HMODULE module() const { return module_; }

 private:
  PIMAGE_NT_HEADERS GetNTHeaders() const;

  HMODULE module_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_PE_IMAGE_H_

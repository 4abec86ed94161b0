#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_IMAGE_FILE_VIEW_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_IMAGE_FILE_VIEW_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace vexlo {
namespace crash_reporter {

// The headers and tables of an executable image read from its file bytes
// (as stored on disk, not as loaded). The file may be damaged or hostile:
// every relative address goes through the section table and every read is
// checked against the file's size, so that no value in the file can lead a
// read outside it.
class ImageFileView {
 public:
  ImageFileView(const uint8_t* data, size_t size);
  ImageFileView(const ImageFileView&) = delete;
  ImageFileView& operator=(const ImageFileView&) = delete;

  // Finds the image headers and the section table; false when they are
  // missing, truncated or not those of a 32-bit or 64-bit image.
  bool Initialize();

  uint32_t time_stamp() const { return time_stamp_; }
  uint32_t base_of_code() const { return base_of_code_; }
  uint32_t size_of_code() const { return size_of_code_; }

  // The bytes of data directory |index| ({null, 0} when the image has no
  // such directory or it lies outside the file).
  const uint8_t* GetDirectory(uint32_t index, uint32_t* size) const;
  // The relative address of directory |index|; 0 when absent.
  uint32_t GetDirectoryAddress(uint32_t index) const;

  // The |size| bytes at relative address |rva|, or null unless they lie
  // wholly inside one section's stored data (or the headers).
  const uint8_t* GetBytes(uint32_t rva, uint32_t size) const;

  // The NUL-terminated text at |rva|, at most |max_length| characters;
  // false when it starts or runs outside the stored data.
  bool GetText(uint32_t rva, size_t max_length, std::string* text) const;

 private:
  // The file offset of |size| bytes at |rva|; false outside the file.
  bool RvaToOffset(uint32_t rva, uint32_t size, uint64_t* offset) const;
  // Where |rva| lies in the file and how many bytes of its section (or of
  // the headers) the file holds from there; false outside the file.
  bool Locate(uint32_t rva, uint64_t* offset, uint64_t* available) const;
  // The file's bytes at |offset|, or null unless |size| of them exist.
  const uint8_t* At(uint64_t offset, uint64_t size) const;

  const uint8_t* const data_;
  const size_t size_;
  const IMAGE_SECTION_HEADER* sections_ = nullptr;
  uint32_t section_count_ = 0;
  uint32_t size_of_headers_ = 0;
  const IMAGE_DATA_DIRECTORY* directories_ = nullptr;
  uint32_t directory_count_ = 0;
  uint32_t time_stamp_ = 0;
  uint32_t base_of_code_ = 0;
  uint32_t size_of_code_ = 0;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_IMAGE_FILE_VIEW_H_

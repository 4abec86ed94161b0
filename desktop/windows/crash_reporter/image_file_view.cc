#include "desktop/windows/crash_reporter/image_file_view.h"

#include <string.h>

#include <algorithm>

namespace vexlo {
namespace crash_reporter {

namespace {

// Where the data-directory count and the table start in the two optional
// header forms.
struct OptionalHeaderLayout {
  WORD magic;
  size_t directory_count_offset;
  size_t directories_offset;
};
constexpr OptionalHeaderLayout kLayouts[] = {
    {IMAGE_NT_OPTIONAL_HDR64_MAGIC,
     offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes),
     offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)},
    {IMAGE_NT_OPTIONAL_HDR32_MAGIC,
     offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes),
     offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)},
};

template <typename Field>
Field ReadField(const uint8_t* bytes) {
  Field value;
  memcpy(&value, bytes, sizeof(value));
  return value;
}

}  // namespace

ImageFileView::ImageFileView(const uint8_t* data, size_t size)
    : data_(data), size_(size) {}

bool ImageFileView::Initialize() {
  const uint8_t* dos = At(0, sizeof(IMAGE_DOS_HEADER));
  if (!dos || ReadField<WORD>(dos) != IMAGE_DOS_SIGNATURE)
    return false;
  const uint64_t nt_offset = static_cast<uint32_t>(
      ReadField<LONG>(dos + offsetof(IMAGE_DOS_HEADER, e_lfanew)));
  const uint64_t file_header_offset = nt_offset + sizeof(DWORD);
  const uint8_t* signature = At(nt_offset, sizeof(DWORD));
  const uint8_t* file_header_bytes =
      At(file_header_offset, sizeof(IMAGE_FILE_HEADER));
  if (!signature || ReadField<DWORD>(signature) != IMAGE_NT_SIGNATURE ||
      !file_header_bytes) {
    return false;
  }
  const IMAGE_FILE_HEADER file_header =
      ReadField<IMAGE_FILE_HEADER>(file_header_bytes);
  const uint64_t optional_offset =
      file_header_offset + sizeof(IMAGE_FILE_HEADER);
  const uint32_t optional_size = file_header.SizeOfOptionalHeader;
  const uint8_t* optional = At(optional_offset, optional_size);
  if (!optional || optional_size < sizeof(IMAGE_OPTIONAL_HEADER32))
    return false;
  const OptionalHeaderLayout* layout = nullptr;
  for (const OptionalHeaderLayout& candidate : kLayouts) {
    if (ReadField<WORD>(optional) == candidate.magic)
      layout = &candidate;
  }
  if (!layout || optional_size < layout->directories_offset)
    return false;
  directory_count_ = std::min<uint64_t>(
      ReadField<DWORD>(optional + layout->directory_count_offset),
      (optional_size - layout->directories_offset) /
          sizeof(IMAGE_DATA_DIRECTORY));
  directories_ = reinterpret_cast<const IMAGE_DATA_DIRECTORY*>(
      optional + layout->directories_offset);
  section_count_ = file_header.NumberOfSections;
  sections_ = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
      At(optional_offset + optional_size,
         uint64_t{section_count_} * sizeof(IMAGE_SECTION_HEADER)));
  if (!sections_)
    return false;
  time_stamp_ = file_header.TimeDateStamp;
  base_of_code_ = ReadField<DWORD>(
      optional + offsetof(IMAGE_OPTIONAL_HEADER64, BaseOfCode));
  size_of_code_ = ReadField<DWORD>(
      optional + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfCode));
  size_of_headers_ = ReadField<DWORD>(
      optional + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfHeaders));
  return true;
}

uint32_t ImageFileView::GetDirectoryAddress(uint32_t index) const {
  if (index >= directory_count_)
    return 0;
  return ReadField<IMAGE_DATA_DIRECTORY>(
             reinterpret_cast<const uint8_t*>(&directories_[index]))
      .VirtualAddress;
}

const uint8_t* ImageFileView::GetDirectory(uint32_t index,
                                           uint32_t* size) const {
  *size = 0;
  if (index >= directory_count_)
    return nullptr;
  const IMAGE_DATA_DIRECTORY directory = ReadField<IMAGE_DATA_DIRECTORY>(
      reinterpret_cast<const uint8_t*>(&directories_[index]));
  if (directory.VirtualAddress == 0 || directory.Size == 0)
    return nullptr;
  const uint8_t* bytes = GetBytes(directory.VirtualAddress, directory.Size);
  if (bytes)
    *size = directory.Size;
  return bytes;
}

const uint8_t* ImageFileView::GetBytes(uint32_t rva, uint32_t size) const {
  uint64_t offset = 0;
  return RvaToOffset(rva, size, &offset) ? At(offset, size) : nullptr;
}

bool ImageFileView::GetText(uint32_t rva,
                            size_t max_length,
                            std::string* text) const {
  text->clear();
  uint64_t offset = 0;
  uint64_t available = 0;
  if (!Locate(rva, &offset, &available))
    return false;
  for (uint64_t i = 0; i < available; ++i) {
    const char character = static_cast<char>(data_[offset + i]);
    if (character == '\0')
      return true;
    if (text->size() < max_length)
      text->push_back(character);
  }
  text->clear();
  return false;
}

bool ImageFileView::RvaToOffset(uint32_t rva,
                                uint32_t size,
                                uint64_t* offset) const {
  uint64_t available = 0;
  return Locate(rva, offset, &available) && size <= available;
}

bool ImageFileView::Locate(uint32_t rva,
                           uint64_t* offset,
                           uint64_t* available) const {
  uint64_t region_end = 0;
  if (rva < size_of_headers_) {
    *offset = rva;
    region_end = size_of_headers_;
  } else {
    uint32_t i = 0;
    IMAGE_SECTION_HEADER section = {};
    for (; i < section_count_; ++i) {
      section = ReadField<IMAGE_SECTION_HEADER>(
          reinterpret_cast<const uint8_t*>(&sections_[i]));
      if (rva >= section.VirtualAddress &&
          rva - section.VirtualAddress < section.SizeOfRawData) {
        break;
      }
    }
    if (i == section_count_)
      return false;
    *offset =
        uint64_t{section.PointerToRawData} + (rva - section.VirtualAddress);
    region_end = uint64_t{section.VirtualAddress} + section.SizeOfRawData;
  }
  if (*offset >= size_)
    return false;
  *available = std::min<uint64_t>(region_end - rva, size_ - *offset);
  return true;
}

const uint8_t* ImageFileView::At(uint64_t offset, uint64_t size) const {
  if (offset > size_ || size > size_ - offset)
    return nullptr;
  return data_ + offset;
}

}  // namespace crash_reporter
}  // namespace vexlo

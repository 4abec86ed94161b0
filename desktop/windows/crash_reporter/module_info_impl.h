#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"

namespace vexlo {
namespace crash_reporter {

// One module of a crashed process as listed in its "modules" crash key.
struct ModuleListEntry {
  base::string16 name;
  base::string16 path;
  uint64_t base = 0;
  uint32_t size = 0;
};

// Parses "name:BASE:size:path::" records; the list ends at the first record
// with a missing or empty field or a base or size that is not hexadecimal.
std::vector<ModuleListEntry> ParseModuleList(const base::string16& text);

// Searches a version resource's bytes for |key| (upper-case ASCII letters)
// stored as 8-bit or UTF-16 text in any letter case, and returns the text
// stored after it, at most 127 characters; empty when the key is absent.
std::string FindVersionText(const uint8_t* data, size_t size, const char* key);

// What the crash log shows of one module: its names and version read from
// its file, and where it lies in the crashed process.
class ModuleInfoImpl {
 public:
  static constexpr size_t kMaxTextLength = 127;

  // Reads the module file at |path|; |process| and |base| serve the mapped
  // file's name when the file holds none. A file that cannot be read leaves
  // the texts empty.
  ModuleInfoImpl(HANDLE process,
                 const base::string16& listed_name,
                 const base::string16& path,
                 uint64_t base,
                 uint32_t image_size);
  ModuleInfoImpl(const ModuleInfoImpl&) = delete;
  ModuleInfoImpl& operator=(const ModuleInfoImpl&) = delete;

  const std::string& name() const { return name_; }
  const base::string16& path() const { return path_; }
  uint64_t base() const { return base_; }
  uint32_t image_size() const { return image_size_; }
  // From the module's base to the end of its code; 0 when unknown.
  uint64_t code_extent() const { return code_end_ - base_; }
  const std::string& version() const { return version_; }
  uint32_t time_stamp() const { return time_stamp_; }

  bool ContainsCode(uint64_t address) const {
    return address >= base_ && address < code_end_;
  }

 private:
  void ReadFile(const base::string16& listed_name);
  void ReadImage(const uint8_t* data, size_t size);
  void ReadVersion(const uint8_t* data, uint32_t size);
  void ReadMappedFileName(HANDLE process);
  std::string LoggedName() const;

  const base::string16 path_;
  const uint64_t base_;
  const uint32_t image_size_;
  uint64_t code_end_;
  std::string name_;
  std::string version_;
  uint32_t time_stamp_ = 0;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_

#ifndef BASE_WIN_EXTENDED_STARTUP_INFO_H_
#define BASE_WIN_EXTENDED_STARTUP_INFO_H_

#include <windows.h>

#include <stddef.h>

#include <memory>

namespace base {
namespace win {

// Startup information for CreateProcess: the extended form, which can carry
// a process-thread attribute list, on Windows Vista and later; the plain
// form before. Everything starts zeroed.
class ExtendedStartupInfo {
 public:
  ExtendedStartupInfo();
  ExtendedStartupInfo(const ExtendedStartupInfo&) = delete;
  ExtendedStartupInfo& operator=(const ExtendedStartupInfo&) = delete;
  ~ExtendedStartupInfo();

  // Makes an attribute list with room for |attribute_count| attributes.
  // False when this is the plain form, a list exists already, or Windows
  // refuses; no list is left behind on failure.
  bool InitializeAttributeList(DWORD attribute_count);

  // Sets |attribute| to the |size| bytes at |value|, which must outlive the
  // process creation. False when there is no list or Windows refuses.
  bool UpdateAttribute(DWORD_PTR attribute, void* value, size_t size);

  // Whether the extended form is in use (and CreateProcess must be told so
  // with EXTENDED_STARTUPINFO_PRESENT once a list is set).
  bool is_extended() const;
  bool has_attribute_list() const { return attribute_list_ != nullptr; }

  STARTUPINFOW* startup_info() { return &startup_info_.StartupInfo; }

 private:
  void DeleteAttributeList();

  STARTUPINFOEXW startup_info_;
  // The storage behind startup_info_.lpAttributeList, null until made.
  std::unique_ptr<char[]> attribute_list_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_EXTENDED_STARTUP_INFO_H_

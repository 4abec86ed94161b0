#include "base/win/extended_startup_info.h"

#include <atomic>

#include "base/win/windows_version.h"

namespace base {
namespace win {

namespace {

using InitializeProcThreadAttributeListFunction =
    BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST list,
                  DWORD attribute_count,
                  DWORD flags,
                  PSIZE_T size);
using UpdateProcThreadAttributeFunction =
    BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST list,
                  DWORD flags,
                  DWORD_PTR attribute,
                  PVOID value,
                  SIZE_T size,
                  PVOID previous_value,
                  PSIZE_T return_size);
using DeleteProcThreadAttributeListFunction =
    VOID(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST list);

// The attribute-list functions exist from Windows Vista on, so they are
// found at run time. Racing threads store the same addresses.
std::atomic<InitializeProcThreadAttributeListFunction>
    g_initialize_proc_thread_attribute_list{nullptr};
std::atomic<UpdateProcThreadAttributeFunction> g_update_proc_thread_attribute{
    nullptr};
std::atomic<DeleteProcThreadAttributeListFunction>
    g_delete_proc_thread_attribute_list{nullptr};

template <typename Function>
void LookUp(HMODULE kernel32, const char* name, std::atomic<Function>* slot) {
  slot->store(reinterpret_cast<Function>(
      reinterpret_cast<void*>(::GetProcAddress(kernel32, name))));
}

void LookUpAttributeListFunctions() {
  if (g_initialize_proc_thread_attribute_list.load() &&
      g_update_proc_thread_attribute.load() &&
      g_delete_proc_thread_attribute_list.load()) {
    return;
  }
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (!kernel32)
    return;
  LookUp(kernel32, "InitializeProcThreadAttributeList",
         &g_initialize_proc_thread_attribute_list);
  LookUp(kernel32, "UpdateProcThreadAttribute",
         &g_update_proc_thread_attribute);
  LookUp(kernel32, "DeleteProcThreadAttributeList",
         &g_delete_proc_thread_attribute_list);
}

}  // namespace

ExtendedStartupInfo::ExtendedStartupInfo() : startup_info_() {
  static_assert(sizeof(STARTUPINFOEXW) == 112, "unexpected startup record");
  static_assert(sizeof(STARTUPINFOW) == 104, "unexpected startup record");
  if (GetVersion() >= VERSION_VISTA) {
    LookUpAttributeListFunctions();
    startup_info_.StartupInfo.cb = sizeof(STARTUPINFOEXW);
  } else {
    startup_info_.StartupInfo.cb = sizeof(STARTUPINFOW);
  }
}

ExtendedStartupInfo::~ExtendedStartupInfo() {
  DeleteAttributeList();
}

bool ExtendedStartupInfo::is_extended() const {
  return startup_info_.StartupInfo.cb == sizeof(STARTUPINFOEXW);
}

bool ExtendedStartupInfo::InitializeAttributeList(DWORD attribute_count) {
  if (!is_extended() || attribute_list_)
    return false;
  auto initialize = g_initialize_proc_thread_attribute_list.load();
  if (!initialize || !g_delete_proc_thread_attribute_list.load())
    return false;

  // The first call only reports the size the list needs.
  SIZE_T size = 0;
  initialize(nullptr, attribute_count, 0, &size);
  if (size == 0)
    return false;
  std::unique_ptr<char[]> storage(new char[size]);
  auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.get());
  if (!initialize(list, attribute_count, 0, &size))
    return false;
  attribute_list_ = std::move(storage);
  startup_info_.lpAttributeList = list;
  return true;
}

bool ExtendedStartupInfo::UpdateAttribute(DWORD_PTR attribute,
                                          void* value,
                                          size_t size) {
  auto update = g_update_proc_thread_attribute.load();
  if (!attribute_list_ || !update)
    return false;
  return update(startup_info_.lpAttributeList, 0, attribute, value, size,
                nullptr, nullptr) != FALSE;
}

void ExtendedStartupInfo::DeleteAttributeList() {
  if (!attribute_list_)
    return;
  g_delete_proc_thread_attribute_list.load()(startup_info_.lpAttributeList);
  startup_info_.lpAttributeList = nullptr;
  attribute_list_.reset();
}

}  // namespace win
}  // namespace base

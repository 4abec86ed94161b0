#include "base/win/owned_process_information.h"

namespace base {
namespace win {

OwnedProcessInformation::OwnedProcessInformation()
    : process_id_(0), thread_id_(0) {}

OwnedProcessInformation::~OwnedProcessInformation() {
  Close();
}

void OwnedProcessInformation::Set(const PROCESS_INFORMATION& info) {
  Close();
  process_handle_.Set(info.hProcess);
  thread_handle_.Set(info.hThread);
  process_id_ = info.dwProcessId;
  thread_id_ = info.dwThreadId;
}

void OwnedProcessInformation::Close() {
  process_handle_.Close();
  thread_handle_.Close();
  process_id_ = 0;
  thread_id_ = 0;
}

HANDLE OwnedProcessInformation::ReleaseProcessHandle() {
  process_id_ = 0;
  return process_handle_.Take();
}

}  // namespace win
}  // namespace base

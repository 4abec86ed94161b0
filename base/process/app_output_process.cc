#include "base/process/app_output_process.h"

#include <windows.h>

#include "base/logging.h"
#include "base/process/kill.h"

namespace base {

namespace {

constexpr DWORD kPipeReadChunkBytes = 1024;

}  // namespace

AppOutputProcess::AppOutputProcess() = default;

AppOutputProcess::~AppOutputProcess() = default;

bool AppOutputProcess::Start(const string16& cl, bool include_stderr) {
  SECURITY_ATTRIBUTES security_attributes = {};
  security_attributes.nLength = sizeof(security_attributes);
  security_attributes.bInheritHandle = TRUE;
  HANDLE read_handle = nullptr;
  HANDLE write_handle = nullptr;
  if (!::CreatePipe(&read_handle, &write_handle, &security_attributes, 0)) {
    LOG(ERROR) << "CreatePipe failed, error " << ::GetLastError();
    return false;
  }
  read_end_.Set(read_handle);
  win::ScopedHandle write_end(write_handle);

  // Only the write end is for the child.
  if (!::SetHandleInformation(read_end_.Get(), HANDLE_FLAG_INHERIT, 0)) {
    LOG(ERROR) << "SetHandleInformation failed, error " << ::GetLastError();
    read_end_.Close();
    return false;
  }

  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  startup_info.dwFlags = STARTF_USESTDHANDLES;
  startup_info.hStdOutput = write_end.Get();
  startup_info.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup_info.hStdError =
      include_stderr ? write_end.Get() : ::GetStdHandle(STD_ERROR_HANDLE);

  string16 writable_cl(cl);
  PROCESS_INFORMATION temp_process_info = {};
  if (!::CreateProcessW(nullptr, &writable_cl[0], nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup_info, &temp_process_info)) {
    LOG(ERROR) << "CreateProcessW failed, error " << ::GetLastError();
    read_end_.Close();
    return false;
  }
  process_info_.Set(temp_process_info);
  // Reading ends once the child, and any process it passed the handle on
  // to, have closed their copies; ours would keep the pipe open forever,
  // and so would a copy that a child started later inherited.
  write_end.Close();
  return true;
}

bool AppOutputProcess::Finish(std::string* output) {
  if (!process_info_.process_handle())
    return false;
  char buffer[kPipeReadChunkBytes];
  DWORD bytes_read = 0;
  while (::ReadFile(read_end_.Get(), buffer, kPipeReadChunkBytes, &bytes_read,
                    nullptr) &&
         bytes_read > 0) {
    output->append(buffer, bytes_read);
  }
  read_end_.Close();

  ::WaitForSingleObject(process_info_.process_handle(), INFINITE);
  const ProcessExitStatus status =
      GetProcessExitStatus(process_info_.process_handle(), nullptr);
  process_info_.Close();
  return status != PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION &&
         status != PROCESS_EXIT_STATUS_PROCESS_CRASHED;
}

}  // namespace base

#include "base/process/app_output_process.h"

#include <windows.h>

#include <algorithm>

#include "base/logging.h"
#include "base/process/kill.h"

namespace base {

namespace {

constexpr DWORD kPipeReadChunkBytes = 1024;

// How often a bounded finish looks at the pipe while the child runs on.
constexpr DWORD kPollMilliseconds = 10;

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

bool AppOutputProcess::Finish(std::string* output, TimeDelta limit) {
  if (!process_info_.process_handle())
    return false;
  const TimeTicks deadline = TimeTicks::Now() + limit;
  const HANDLE process = process_info_.process_handle();
  bool output_open = true;
  for (;;) {
    if (output_open)
      output_open = ReadAvailable(output);
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    // What is read after the end is all there is: the unbounded finish
    // takes the status without waiting.
    if (ended && !output_open)
      return Finish(output);
    const TimeDelta left = deadline - TimeTicks::Now();
    if (left <= TimeDelta()) {
      Abandon();
      return false;
    }
    const DWORD wait = static_cast<DWORD>(
        std::min<int64_t>(left.InMillisecondsRoundedUp(), kPollMilliseconds));
    // A child that ended may have passed its output on to another process.
    if (ended)
      ::Sleep(wait);
    else
      ::WaitForSingleObject(process, wait);
  }
}

bool AppOutputProcess::ReadAvailable(std::string* output) {
  char buffer[kPipeReadChunkBytes];
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(read_end_.Get(), nullptr, 0, nullptr, &available,
                         nullptr)) {
      return false;
    }
    if (available == 0)
      return true;
    DWORD bytes_read = 0;
    if (!::ReadFile(read_end_.Get(), buffer,
                    std::min<DWORD>(available, kPipeReadChunkBytes),
                    &bytes_read, nullptr)) {
      return false;
    }
    output->append(buffer, bytes_read);
  }
}

void AppOutputProcess::Abandon() {
  LOG(ERROR) << "A child did not end within its time; ending it";
  ::TerminateProcess(process_info_.process_handle(), 1);
  read_end_.Close();
  process_info_.Close();
}

}  // namespace base

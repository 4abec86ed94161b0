#include "base/process/launch.h"

#include <userenv.h>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/process/app_output_process.h"
#include "base/win/extended_startup_info.h"
#include "base/win/owned_process_information.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"

namespace base {

namespace {

// The most handles a PROC_THREAD_ATTRIBUTE_HANDLE_LIST can name: its size in
// bytes must fit in 32 bits.
constexpr size_t kMaxHandlesToInherit = 0x1FFFFFFF;

// The desktop name of a child started with an empty one. CreateProcess takes
// the name through a non-constant pointer.
wchar_t g_empty_desktop_name[] = L"";

// Lets exactly |handles| be inherited through |startup_info|'s attribute
// list. False when this Windows has no handle lists or a handle cannot be
// made inheritable.
bool RestrictInheritanceTo(HandlesToInheritVector* handles,
                           win::ExtendedStartupInfo* startup_info) {
  if (win::GetVersion() < win::VERSION_VISTA) {
    LOG(ERROR) << "Handle lists need Windows Vista or later";
    return false;
  }
  if (handles->size() > kMaxHandlesToInherit) {
    LOG(ERROR) << "Too many handles to inherit: " << handles->size();
    return false;
  }
  for (HANDLE handle : *handles) {
    if (!::SetHandleInformation(handle, HANDLE_FLAG_INHERIT,
                                HANDLE_FLAG_INHERIT)) {
      LOG(ERROR) << "Cannot make a handle inheritable, error "
                 << ::GetLastError();
      return false;
    }
  }
  if (!startup_info->InitializeAttributeList(1) ||
      !startup_info->UpdateAttribute(PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                     handles->data(),
                                     handles->size() * sizeof(HANDLE))) {
    LOG(ERROR) << "Cannot set the handle list, error " << ::GetLastError();
    return false;
  }
  return true;
}

void SetStartupFlags(const LaunchOptions& options, STARTUPINFOW* info) {
  if (options.empty_desktop_name)
    info->lpDesktop = g_empty_desktop_name;
  info->dwFlags = STARTF_USESHOWWINDOW;
  info->wShowWindow = options.start_hidden ? SW_HIDE : SW_SHOW;
  if (options.stdin_handle || options.stdout_handle || options.stderr_handle) {
    info->dwFlags |= STARTF_USESTDHANDLES;
    info->hStdInput = options.stdin_handle;
    info->hStdOutput = options.stdout_handle;
    info->hStdError = options.stderr_handle;
  }
}

bool CreateProcessAsUser(HANDLE token,
                         wchar_t* command_line,
                         bool inherit,
                         DWORD flags,
                         STARTUPINFOW* startup_info,
                         PROCESS_INFORMATION* process_info) {
  void* environment = nullptr;
  if (!::CreateEnvironmentBlock(&environment, token, FALSE)) {
    LOG(ERROR) << "CreateEnvironmentBlock failed, error " << ::GetLastError();
    return false;
  }
  const BOOL created =
      ::CreateProcessAsUserW(token, nullptr, command_line, nullptr, nullptr,
                             inherit, flags | CREATE_UNICODE_ENVIRONMENT,
                             environment, nullptr, startup_info, process_info);
  const DWORD error = ::GetLastError();
  ::DestroyEnvironmentBlock(environment);
  if (!created) {
    LOG(ERROR) << "CreateProcessAsUserW failed, error " << error;
    return false;
  }
  return true;
}

// Puts the suspended child into |job| and lets it run. A child that cannot
// join is ended before it has run any of its own code.
bool AssignToJobAndResume(HANDLE job, win::OwnedProcessInformation* child) {
  if (!::AssignProcessToJobObject(job, child->process_handle())) {
    LOG(ERROR) << "AssignProcessToJobObject failed, error " << ::GetLastError();
    Process process(child->ReleaseProcessHandle());
    process.Terminate(1, true);
    return false;
  }
  ::ResumeThread(child->thread_handle());
  return true;
}

}  // namespace

LaunchOptions::LaunchOptions()
    : wait(false),
      start_hidden(false),
      handles_to_inherit(nullptr),
      inherit_handles(false),
      as_user(nullptr),
      empty_desktop_name(false),
      job_handle(nullptr),
      stdin_handle(nullptr),
      stdout_handle(nullptr),
      stderr_handle(nullptr),
      force_breakaway_from_job(false) {}

Process LaunchProcess(const CommandLine& cmdline,
                      const LaunchOptions& options) {
  return LaunchProcess(cmdline.GetCommandLineString(false), options);
}

Process LaunchProcess(const string16& cmdline, const LaunchOptions& options) {
  win::ExtendedStartupInfo startup_info;
  bool inherit = options.inherit_handles;
  DWORD flags = 0;

  if (options.handles_to_inherit) {
    if (options.handles_to_inherit->empty()) {
      inherit = false;
    } else {
      if (!RestrictInheritanceTo(options.handles_to_inherit, &startup_info))
        return Process();
      inherit = true;
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
  }
  SetStartupFlags(options, startup_info.startup_info());
  flags |= internal::JobCreationFlags(options);

  // CreateProcessW may write into the command line.
  string16 writable_cmdline(cmdline);
  PROCESS_INFORMATION temp_process_info = {};
  if (options.as_user) {
    if (!CreateProcessAsUser(options.as_user, &writable_cmdline[0], inherit,
                             flags, startup_info.startup_info(),
                             &temp_process_info)) {
      return Process();
    }
  } else if (!::CreateProcessW(nullptr, &writable_cmdline[0], nullptr, nullptr,
                               inherit, flags, nullptr, nullptr,
                               startup_info.startup_info(),
                               &temp_process_info)) {
    LOG(ERROR) << "CreateProcessW failed, error " << ::GetLastError();
    return Process();
  }
  win::OwnedProcessInformation process_info;
  process_info.Set(temp_process_info);

  if (options.job_handle &&
      !AssignToJobAndResume(options.job_handle, &process_info)) {
    return Process();
  }
  if (options.wait)
    ::WaitForSingleObject(process_info.process_handle(), INFINITE);
  return Process(process_info.ReleaseProcessHandle());
}

bool GetAppOutput(const CommandLine& cl, std::string* output) {
  return GetAppOutputInternal(cl.GetCommandLineString(false), false, output);
}

bool GetAppOutputInternal(const string16& cl,
                          bool include_stderr,
                          std::string* output) {
  AppOutputProcess child;
  return child.Start(cl, include_stderr) && child.Finish(output);
}

namespace internal {

DWORD JobCreationFlags(const LaunchOptions& options) {
  DWORD flags = 0;
  if (options.job_handle) {
    flags |= CREATE_SUSPENDED;
    if (win::GetVersion() < win::VERSION_WIN8)
      flags |= CREATE_BREAKAWAY_FROM_JOB;
  }
  if (options.force_breakaway_from_job)
    flags |= CREATE_BREAKAWAY_FROM_JOB;
  return flags;
}

}  // namespace internal

}  // namespace base

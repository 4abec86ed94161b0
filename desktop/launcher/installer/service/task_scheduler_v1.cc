#include "desktop/launcher/installer/service/task_scheduler_v1.h"

#include <windows.h>

#include <aclapi.h>
#include <objbase.h>

// The scheduler's identifiers are defined here, once.
#include <initguid.h>
#include <mstask.h>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string_util.h"
#include "desktop/launcher/installer/service/scoped_local_memory.h"
#include "desktop/launcher/installer/service/service_utils.h"

namespace vexlo {
namespace installer {

namespace {

using base::win::ScopedComPtr;

struct CoTaskMemoryDeleter {
  void operator()(void* memory) const { ::CoTaskMemFree(memory); }
};
using ScopedCoTaskText = std::unique_ptr<wchar_t, CoTaskMemoryDeleter>;

// Time triggers fill the whole structure of the oldest scheduler.
const WORD kTriggerSize = 48;
static_assert(sizeof(TASK_TRIGGER) == kTriggerSize, "trigger layout");
const wchar_t kJobExtension[] = L".job";
// The scheduler's own service reads a job file for a moment after it
// changed; a delete or save that meets it waits this long at most.
const int kSharingRetries = 50;
const DWORD kSharingRetryDelayMs = 10;

// Runs |call| until it no longer meets a job file held open by the service.
template <typename Call>
HRESULT RetryWhileShared(Call call) {
  HRESULT result = call();
  for (int i = 0; i < kSharingRetries &&
                  result == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
       ++i) {
    ::Sleep(kSharingRetryDelayMs);
    result = call();
  }
  return result;
}

bool SetTaskProperties(const ScheduledTaskInfo& info,
                       const base::string16& user_name,
                       ITask* task) {
  const bool system = info.system == 1;
  DWORD flags = TASK_FLAG_RUN_ONLY_IF_LOGGED_ON;
  if (info.schedule_kind == ScheduledTaskInfo::SCHEDULE_ONCE)
    flags |= TASK_FLAG_DELETE_WHEN_DONE;
  // An empty account is the system's.
  return SUCCEEDED(task->SetAccountInformation(system ? L"" : user_name.c_str(),
                                               nullptr)) &&
         SUCCEEDED(task->SetApplicationName(
             info.command.GetProgram().value().c_str())) &&
         SUCCEEDED(task->SetComment(info.description.c_str())) &&
         SUCCEEDED(task->SetCreator(user_name.c_str())) &&
         SUCCEEDED(task->SetFlags(flags)) &&
         SUCCEEDED(task->SetMaxRunTime(
             GetTaskMaxRunTimeMilliseconds(info.execution_time_limit))) &&
         SUCCEEDED(task->SetParameters(
             info.command.GetArgumentsString(false).c_str()));
}

// A trigger of |type| that begins today at this minute.
TASK_TRIGGER MakeTrigger(const SYSTEMTIME& now, TASK_TRIGGER_TYPE type) {
  TASK_TRIGGER trigger = {};
  trigger.cbTriggerSize = kTriggerSize;
  trigger.wBeginYear = now.wYear;
  trigger.wBeginMonth = now.wMonth;
  trigger.wBeginDay = now.wDay;
  trigger.wStartHour = now.wHour;
  trigger.wStartMinute = now.wMinute;
  trigger.TriggerType = type;
  if (type == TASK_TIME_TRIGGER_DAILY)
    trigger.Type.Daily.DaysInterval = 1;
  return trigger;
}

bool AddTrigger(ITask* task, TASK_TRIGGER* trigger) {
  WORD index = 0;
  ScopedComPtr<ITaskTrigger> created;
  if (FAILED(task->CreateTrigger(&index, created.Receive())))
    return false;
  // Without a setting the trigger keeps the scheduler's own values.
  return !trigger || SUCCEEDED(created->SetTrigger(trigger));
}

bool AddTriggers(const ScheduledTaskInfo& info, ITask* task) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  bool added;
  switch (info.schedule_kind) {
    case ScheduledTaskInfo::SCHEDULE_ONCE: {
      TASK_TRIGGER once = MakeTrigger(now, TASK_TIME_TRIGGER_ONCE);
      return AddTrigger(task, &once);
    }
    case ScheduledTaskInfo::SCHEDULE_DAILY: {
      TASK_TRIGGER daily = MakeTrigger(now, TASK_TIME_TRIGGER_DAILY);
      added = AddTrigger(task, &daily);
      break;
    }
    default:
      added = AddTrigger(task, nullptr);
      break;
  }
  if (!added || !info.logon_trigger)
    return added;
  TASK_TRIGGER logon = MakeTrigger(now, TASK_EVENT_TRIGGER_AT_LOGON);
  return AddTrigger(task, &logon);
}

// The work item's status; disabled whenever its flags say so, which not
// every scheduler reflects in the status.
bool GetStatus(ITask* task, HRESULT* status) {
  DWORD flags = 0;
  if (FAILED(task->GetStatus(status)) || FAILED(task->GetFlags(&flags)))
    return false;
  if (flags & TASK_FLAG_DISABLED)
    *status = SCHED_S_TASK_DISABLED;
  return true;
}

// Enumerated names may carry the job file's extension, which the other
// calls do not take.
base::string16 WorkItemName(const wchar_t* enumerated_name) {
  base::string16 name = enumerated_name;
  if (base::EndsWith16(name, kJobExtension,
                       base::CompareCase::INSENSITIVE_ASCII)) {
    name.resize(name.size() - (sizeof(kJobExtension) / sizeof(wchar_t) - 1));
  }
  return name;
}

bool SaveTask(ITask* task) {
  ScopedComPtr<IPersistFile> file;
  return SUCCEEDED(
             task->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) &&
         SUCCEEDED(file->Save(nullptr, TRUE));
}

// Lets every authenticated user read and run the job file of a system task,
// keeping the file's other entries.
bool GrantAuthenticatedUsersAccess(ITask* task) {
  ScopedComPtr<IPersistFile> file;
  wchar_t* raw_path = nullptr;
  if (FAILED(task->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
      FAILED(file->GetCurFile(&raw_path)) || !raw_path) {
    return false;
  }
  ScopedCoTaskText path(raw_path);
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(
          path.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
          nullptr, &old_dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  ScopedLocalMemory<void> owned_descriptor(descriptor);
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sid_size = sizeof(sid);
  if (!::CreateWellKnownSid(WinAuthenticatedUserSid, nullptr, sid, &sid_size))
    return false;
  EXPLICIT_ACCESS_W access = {};
  access.grfAccessPermissions = GENERIC_READ | GENERIC_EXECUTE;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = reinterpret_cast<wchar_t*>(sid);
  PACL new_dacl = nullptr;
  if (::SetEntriesInAclW(1, &access, old_dacl, &new_dacl) != ERROR_SUCCESS)
    return false;
  ScopedLocalMemory<ACL> owned_dacl(new_dacl);
  return ::SetNamedSecurityInfoW(path.get(), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 new_dacl, nullptr) == ERROR_SUCCESS;
}

}  // namespace

TaskSchedulerV1::TaskSchedulerV1() = default;

TaskSchedulerV1::~TaskSchedulerV1() = default;

// static
TaskScheduler::State TaskSchedulerV1::StateFromStatus(long status) {
  switch (status) {
    case SCHED_S_TASK_DISABLED:
      return STATE_DISABLED;
    case SCHED_S_TASK_READY:
    case SCHED_S_TASK_HAS_NOT_RUN:
      return STATE_READY;
    case SCHED_S_TASK_RUNNING:
      return STATE_RUNNING;
    case SCHED_S_TASK_NO_MORE_RUNS:
    case SCHED_S_TASK_NOT_SCHEDULED:
    case SCHED_S_TASK_NO_VALID_TRIGGERS:
      return STATE_WILL_NOT_RUN;
    default:
      return STATE_UNKNOWN;
  }
}

bool TaskSchedulerV1::Init() {
  return SUCCEEDED(::CoCreateInstance(CLSID_CTaskScheduler, nullptr,
                                      CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                      scheduler_.ReceiveVoid()));
}

bool TaskSchedulerV1::RegisterTask(const ScheduledTaskInfo& info) {
  base::string16 user_name;
  if (!GetCurrentUserName(true, &user_name))
    return false;
  const base::string16 full_name = GetScheduledTaskFullName(info.name);
  DeleteWorkItem(full_name);

  ScopedComPtr<ITask> task;
  if (FAILED(scheduler_->NewWorkItem(
          full_name.c_str(), CLSID_CTask, IID_ITask,
          reinterpret_cast<IUnknown**>(task.Receive()))) ||
      !SetTaskProperties(info, user_name, task.get()) ||
      !AddTriggers(info, task.get()) || !SaveTask(task.get())) {
    return false;
  }
  if (info.schedule_kind == ScheduledTaskInfo::SCHEDULE_ONCE) {
    task->Run();
  } else if (info.system == 1) {
    GrantAuthenticatedUsersAccess(task.get());
  }
  return true;
}

void TaskSchedulerV1::DeleteOrphanedTasks() {
  for (const base::string16& full_name : GetWorkItemNames()) {
    if (IsProductScheduledTaskName(full_name) && IsOrphaned(full_name))
      DeleteWorkItem(full_name);
  }
}

std::vector<base::string16> TaskSchedulerV1::GetWorkItemNames() {
  std::vector<base::string16> names;
  ScopedComPtr<IEnumWorkItems> items;
  if (FAILED(scheduler_->Enum(items.Receive())))
    return names;
  wchar_t** fetched_names = nullptr;
  ULONG fetched = 0;
  while (items->Next(1, &fetched_names, &fetched) == S_OK && fetched == 1) {
    ScopedCoTaskText name(fetched_names[0]);
    ::CoTaskMemFree(fetched_names);
    names.push_back(WorkItemName(name.get()));
  }
  return names;
}

bool TaskSchedulerV1::IsOrphaned(const base::string16& full_name) {
  ScopedComPtr<ITask> task;
  HRESULT status;
  wchar_t* program = nullptr;
  if (!Activate(full_name, &task) || !GetStatus(task.get(), &status) ||
      status == SCHED_S_TASK_DISABLED ||
      FAILED(task->GetApplicationName(&program))) {
    return false;
  }
  ScopedCoTaskText owned_program(program);
  return !base::PathExists(base::FilePath(program));
}

void TaskSchedulerV1::DeleteTask(const base::string16& name) {
  DeleteWorkItem(GetScheduledTaskFullName(name));
}

void TaskSchedulerV1::DeleteWorkItem(const base::string16& full_name) {
  RetryWhileShared([&] { return scheduler_->Delete(full_name.c_str()); });
}

void TaskSchedulerV1::SetTaskDaysInterval(const base::string16& name,
                                          int32_t days) {
  ScopedComPtr<ITask> task;
  WORD count = 0;
  if (!Activate(GetScheduledTaskFullName(name), &task) ||
      FAILED(task->GetTriggerCount(&count))) {
    return;
  }
  for (WORD index = 0; index < count; ++index) {
    ScopedComPtr<ITaskTrigger> trigger;
    TASK_TRIGGER values = {};
    values.cbTriggerSize = kTriggerSize;
    if (FAILED(task->GetTrigger(index, trigger.Receive())) ||
        FAILED(trigger->GetTrigger(&values))) {
      continue;
    }
    if (values.TriggerType != TASK_TIME_TRIGGER_DAILY)
      continue;
    if (values.Type.Daily.DaysInterval == days)
      return;
    values.Type.Daily.DaysInterval = static_cast<WORD>(days);
    if (SUCCEEDED(trigger->SetTrigger(&values)))
      SaveTask(task.get());
    return;
  }
}

void TaskSchedulerV1::SetTaskEnabled(const base::string16& name, bool enabled) {
  ScopedComPtr<ITask> task;
  DWORD flags = 0;
  if (!Activate(GetScheduledTaskFullName(name), &task) ||
      FAILED(task->GetFlags(&flags))) {
    return;
  }
  flags = enabled ? flags & ~TASK_FLAG_DISABLED : flags | TASK_FLAG_DISABLED;
  // Saved, or the change would end with this object.
  if (SUCCEEDED(task->SetFlags(flags)))
    SaveTask(task.get());
}

// The old scheduler cannot hand arguments to a task.
bool TaskSchedulerV1::RunTask(const base::string16& name,
                              const std::vector<base::string16>&) {
  ScopedComPtr<ITask> task;
  return Activate(GetScheduledTaskFullName(name), &task) &&
         SUCCEEDED(task->Run());
}

TaskScheduler::State TaskSchedulerV1::GetTaskState(const base::string16& name) {
  ScopedComPtr<ITask> task;
  if (!Activate(GetScheduledTaskFullName(name), &task))
    return STATE_NO_SUCH_TASK;
  HRESULT status;
  if (!GetStatus(task.get(), &status))
    return STATE_UNKNOWN;
  return StateFromStatus(status);
}

base::Time TaskSchedulerV1::GetTaskLastRunTime(const base::string16& name) {
  ScopedComPtr<ITask> task;
  HRESULT status;
  SYSTEMTIME time;
  if (!Activate(GetScheduledTaskFullName(name), &task) ||
      FAILED(task->GetStatus(&status)) || status == SCHED_S_TASK_HAS_NOT_RUN ||
      task->GetMostRecentRunTime(&time) != S_OK) {
    return base::Time();
  }
  return TimeFromLocalSystemTime(time);
}

bool TaskSchedulerV1::Activate(const base::string16& full_name,
                               ScopedComPtr<ITask>* task) {
  return SUCCEEDED(
      scheduler_->Activate(full_name.c_str(), IID_ITask,
                           reinterpret_cast<IUnknown**>(task->Receive())));
}

}  // namespace installer
}  // namespace vexlo

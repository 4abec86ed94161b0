#include "desktop/launcher/installer/service/task_scheduler_v2.h"

#include <windows.h>

#include <oleauto.h>

// The scheduler's identifiers are defined here, once.
#include <initguid.h>
#include <taskschd.h>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/time/time.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"
#include "desktop/launcher/installer/service/service_utils.h"

// The boot and logon triggers' own interfaces, which the toolchain's headers
// leave out.
struct IBootTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
};
__CRT_UUID_DECL(IBootTrigger,
                0x2a9c35da,
                0xd357,
                0x41f4,
                0xbb,
                0xc1,
                0x20,
                0x7a,
                0xc1,
                0xb1,
                0xf3,
                0xcb)

struct ILogonTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
__CRT_UUID_DECL(ILogonTrigger,
                0x72dade38,
                0xfae4,
                0x4b3e,
                0xba,
                0xf4,
                0x5d,
                0x00,
                0x9a,
                0xf0,
                0x2b,
                0x1c)

namespace vexlo {
namespace installer {

namespace {

using base::win::ScopedBstr;
using base::win::ScopedComPtr;
using base::win::ScopedVariant;

const wchar_t kRootFolder[] = L"\\";
const wchar_t kRunOnceTriggerId[] = L"Run once";
const wchar_t kDailyTriggerId[] = L"Daily run";
const wchar_t kLogonTriggerId[] = L"Logon run";
const wchar_t kStartDelay[] = L"PT5M";
const wchar_t kSystemUser[] = L"SYSTEM";
// Authenticated users may read and run the system's task.
const wchar_t kSystemTaskSddl[] = L"D:(A;;GRGX;;;AU)";
const int kRunOnceStartDelaySeconds = 30;

// A VT_I4 variant for the collections' 1-based indexes.
VARIANT IndexVariant(LONG index) {
  VARIANT variant;
  ::VariantInit(&variant);
  variant.vt = VT_I4;
  variant.lVal = index;
  return variant;
}

base::string16 TakeBstr(BSTR text) {
  base::string16 result = text ? text : L"";
  ::SysFreeString(text);
  return result;
}

// Sets the string property |setter| of |object| to |value|.
template <typename Interface>
bool PutText(Interface* object,
             HRESULT (STDMETHODCALLTYPE Interface::*setter)(BSTR),
             const base::string16& value) {
  ScopedBstr text(value.c_str());
  return SUCCEEDED((object->*setter)(text.Get()));
}

bool SetSettings(const ScheduledTaskInfo& info, ITaskDefinition* definition) {
  ScopedComPtr<ITaskSettings> settings;
  if (FAILED(definition->get_Settings(settings.Receive())))
    return false;
  return PutText(settings.get(), &ITaskSettings::put_ExecutionTimeLimit,
                 GetTaskExecutionTimeLimitText(info.execution_time_limit)) &&
         SUCCEEDED(
             settings->put_MultipleInstances(TASK_INSTANCES_IGNORE_NEW)) &&
         SUCCEEDED(settings->put_RunOnlyIfNetworkAvailable(
             info.network_only ? VARIANT_TRUE : VARIANT_FALSE)) &&
         SUCCEEDED(settings->put_StopIfGoingOnBatteries(VARIANT_FALSE)) &&
         SUCCEEDED(settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE)) &&
         SUCCEEDED(settings->put_StartWhenAvailable(VARIANT_TRUE)) &&
         (info.schedule_kind != ScheduledTaskInfo::SCHEDULE_ONCE ||
          PutText(settings.get(), &ITaskSettings::put_DeleteExpiredTaskAfter,
                  L"PT0S"));
}

bool SetRegistrationInfo(const ScheduledTaskInfo& info,
                         const base::string16& user_name,
                         ITaskDefinition* definition) {
  ScopedComPtr<IRegistrationInfo> registration;
  return SUCCEEDED(definition->get_RegistrationInfo(registration.Receive())) &&
         PutText(registration.get(), &IRegistrationInfo::put_Author,
                 user_name) &&
         PutText(registration.get(), &IRegistrationInfo::put_Description,
                 info.description);
}

bool CreateTrigger(ITriggerCollection* triggers,
                   TASK_TRIGGER_TYPE2 type,
                   const wchar_t* id,
                   ScopedComPtr<ITrigger>* trigger) {
  return SUCCEEDED(triggers->Create(type, trigger->Receive())) &&
         PutText(trigger->get(), &ITrigger::put_Id, id);
}

bool AddRunOnceTrigger(ITriggerCollection* triggers,
                       const base::string16& boundary) {
  ScopedComPtr<ITrigger> trigger;
  return CreateTrigger(triggers, TASK_TRIGGER_REGISTRATION, kRunOnceTriggerId,
                       &trigger) &&
         PutText(trigger.get(), &ITrigger::put_EndBoundary, boundary);
}

bool AddDailyTrigger(ITriggerCollection* triggers,
                     const base::string16& boundary) {
  ScopedComPtr<ITrigger> trigger;
  ScopedComPtr<IDailyTrigger> daily;
  return CreateTrigger(triggers, TASK_TRIGGER_DAILY, kDailyTriggerId,
                       &trigger) &&
         PutText(trigger.get(), &ITrigger::put_StartBoundary, boundary) &&
         SUCCEEDED(daily.QueryFrom(trigger.get())) &&
         SUCCEEDED(daily->put_DaysInterval(1));
}

// At boot for a system task, else at the user's logon; both a little later.
bool AddLogonTrigger(ITriggerCollection* triggers,
                     bool system,
                     const base::string16& user_name,
                     const base::string16& boundary) {
  ScopedComPtr<ITrigger> trigger;
  if (!CreateTrigger(triggers, system ? TASK_TRIGGER_BOOT : TASK_TRIGGER_LOGON,
                     kLogonTriggerId, &trigger) ||
      !PutText(trigger.get(), &ITrigger::put_StartBoundary, boundary)) {
    return false;
  }
  if (system) {
    ScopedComPtr<IBootTrigger> boot;
    return SUCCEEDED(boot.QueryFrom(trigger.get())) &&
           PutText(boot.get(), &IBootTrigger::put_Delay, kStartDelay);
  }
  ScopedComPtr<ILogonTrigger> logon;
  return SUCCEEDED(logon.QueryFrom(trigger.get())) &&
         PutText(logon.get(), &ILogonTrigger::put_UserId, user_name) &&
         PutText(logon.get(), &ILogonTrigger::put_Delay, kStartDelay);
}

bool AddExecAction(const base::CommandLine& command,
                   ITaskDefinition* definition) {
  ScopedComPtr<IActionCollection> actions;
  ScopedComPtr<IAction> action;
  ScopedComPtr<IExecAction> exec;
  return SUCCEEDED(definition->get_Actions(actions.Receive())) &&
         SUCCEEDED(actions->Create(TASK_ACTION_EXEC, action.Receive())) &&
         SUCCEEDED(exec.QueryFrom(action.get())) &&
         PutText(exec.get(), &IExecAction::put_Path,
                 command.GetProgram().value()) &&
         PutText(exec.get(), &IExecAction::put_Arguments,
                 command.GetArgumentsString(false));
}

// An administrator's task runs elevated.
bool SetRunLevel(ITaskDefinition* definition) {
  if (!IsUserInAdministratorsGroup(false))
    return true;
  ScopedComPtr<IPrincipal> principal;
  return SUCCEEDED(definition->get_Principal(principal.Receive())) &&
         SUCCEEDED(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST));
}

// The single exec action's program of |definition|; false for any other
// set of actions.
bool GetSingleExecPath(ITaskDefinition* definition, base::string16* path) {
  ScopedComPtr<IActionCollection> actions;
  LONG count = 0;
  if (FAILED(definition->get_Actions(actions.Receive())) ||
      FAILED(actions->get_Count(&count)) || count != 1) {
    return false;
  }
  ScopedComPtr<IAction> action;
  TASK_ACTION_TYPE type;
  ScopedComPtr<IExecAction> exec;
  BSTR text = nullptr;
  if (FAILED(actions->get_Item(1, action.Receive())) ||
      FAILED(action->get_Type(&type)) || type != TASK_ACTION_EXEC ||
      FAILED(exec.QueryFrom(action.get())) || FAILED(exec->get_Path(&text))) {
    return false;
  }
  *path = TakeBstr(text);
  return true;
}

}  // namespace

TaskSchedulerV2::TaskSchedulerV2() = default;

TaskSchedulerV2::~TaskSchedulerV2() = default;

// static
TaskScheduler::State TaskSchedulerV2::StateFromTaskState(int task_state) {
  switch (task_state) {
    case TASK_STATE_DISABLED:
      return STATE_DISABLED;
    case TASK_STATE_QUEUED:
    case TASK_STATE_READY:
      return STATE_READY;
    case TASK_STATE_RUNNING:
      return STATE_RUNNING;
    default:
      return STATE_UNKNOWN;
  }
}

bool TaskSchedulerV2::Init() {
  if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr,
                                CLSCTX_INPROC_SERVER, IID_ITaskService,
                                service_.ReceiveVoid()))) {
    return false;
  }
  // The local computer, as the current user.
  ScopedVariant server, user, domain, password;
  if (FAILED(service_->Connect(server.Get(), user.Get(), domain.Get(),
                               password.Get()))) {
    return false;
  }
  ScopedBstr root(kRootFolder);
  return SUCCEEDED(service_->GetFolder(root.Get(), root_folder_.Receive()));
}

bool TaskSchedulerV2::RegisterTask(const ScheduledTaskInfo& info) {
  base::string16 user_name;
  if (!GetCurrentUserName(true, &user_name))
    return false;
  ScopedBstr full_name(GetScheduledTaskFullName(info.name).c_str());
  root_folder_->DeleteTask(full_name.Get(), 0);

  ScopedComPtr<ITaskDefinition> definition;
  if (FAILED(service_->NewTask(0, definition.Receive())) ||
      !FillDefinition(info, user_name, definition.get()) ||
      !Register(info, user_name, definition.get())) {
    return false;
  }
  // The registration trigger has started it already.
  if (info.schedule_kind == ScheduledTaskInfo::SCHEDULE_ONCE)
    DeleteTask(info.name);
  return true;
}

bool TaskSchedulerV2::FillDefinition(const ScheduledTaskInfo& info,
                                     const base::string16& user_name,
                                     ITaskDefinition* definition) {
  return SetRegistrationInfo(info, user_name, definition) &&
         SetSettings(info, definition) &&
         AddTriggers(info, user_name, definition) &&
         AddExecAction(info.command, definition) && SetRunLevel(definition);
}

bool TaskSchedulerV2::AddTriggers(const ScheduledTaskInfo& info,
                                  const base::string16& user_name,
                                  ITaskDefinition* definition) {
  const bool once = info.schedule_kind == ScheduledTaskInfo::SCHEDULE_ONCE;
  base::Time start = base::Time::Now();
  if (once)
    start = start + base::TimeDelta::FromSeconds(kRunOnceStartDelaySeconds);
  base::Time::Exploded exploded;
  start.Explode(true, &exploded);
  const base::string16 boundary = FormatTaskBoundary(exploded);

  ScopedComPtr<ITriggerCollection> triggers;
  if (FAILED(definition->get_Triggers(triggers.Receive())))
    return false;
  if (once)
    return AddRunOnceTrigger(triggers.get(), boundary);
  if (info.schedule_kind == ScheduledTaskInfo::SCHEDULE_DAILY &&
      !AddDailyTrigger(triggers.get(), boundary)) {
    return false;
  }
  return !info.logon_trigger ||
         AddLogonTrigger(triggers.get(), info.system == 1, user_name, boundary);
}

bool TaskSchedulerV2::Register(const ScheduledTaskInfo& info,
                               const base::string16& user_name,
                               ITaskDefinition* definition) {
  const bool system = info.system == 1;
  ScopedBstr full_name(GetScheduledTaskFullName(info.name).c_str());
  ScopedVariant user(system ? kSystemUser : user_name.c_str());
  ScopedVariant password;
  ScopedVariant sddl(L"");
  ScopedComPtr<IRegisteredTask> registered;
  const HRESULT result = root_folder_->RegisterTaskDefinition(
      full_name.Get(), definition, TASK_CREATE_OR_UPDATE, user.Get(),
      password.Get(),
      system ? TASK_LOGON_SERVICE_ACCOUNT : TASK_LOGON_INTERACTIVE_TOKEN,
      sddl.Get(), registered.Receive());
  if (FAILED(result)) {
    LOG(ERROR) << "Failed task registration: " << result;
    return false;
  }
  if (system) {
    ScopedBstr system_sddl(kSystemTaskSddl);
    const HRESULT sddl_result =
        registered->SetSecurityDescriptor(system_sddl.Get(), 0);
    if (FAILED(sddl_result))
      LOG(ERROR) << "Failed setting SDDL: " << sddl_result;
  }
  return true;
}

void TaskSchedulerV2::DeleteOrphanedTasks() {
  ScopedComPtr<IRegisteredTaskCollection> tasks;
  LONG count = 0;
  if (FAILED(root_folder_->GetTasks(0, tasks.Receive())) ||
      FAILED(tasks->get_Count(&count))) {
    return;
  }
  // Collected first: deleting while walking would shift the indexes.
  std::vector<base::string16> orphans;
  for (LONG index = 1; index <= count; ++index) {
    ScopedComPtr<IRegisteredTask> task;
    BSTR name = nullptr;
    if (FAILED(tasks->get_Item(IndexVariant(index), task.Receive())) ||
        FAILED(task->get_Name(&name))) {
      continue;
    }
    base::string16 full_name = TakeBstr(name);
    if (IsProductScheduledTaskName(full_name) && IsOrphaned(task.get()))
      orphans.push_back(full_name);
  }
  for (const base::string16& full_name : orphans) {
    ScopedBstr name(full_name.c_str());
    root_folder_->DeleteTask(name.Get(), 0);
  }
}

bool TaskSchedulerV2::IsOrphaned(IRegisteredTask* task) {
  VARIANT_BOOL enabled = VARIANT_FALSE;
  ScopedComPtr<ITaskDefinition> definition;
  base::string16 path;
  return SUCCEEDED(task->get_Enabled(&enabled)) && enabled != VARIANT_FALSE &&
         SUCCEEDED(task->get_Definition(definition.Receive())) &&
         GetSingleExecPath(definition.get(), &path) &&
         !base::PathExists(base::FilePath(path));
}

void TaskSchedulerV2::DeleteTask(const base::string16& name) {
  ScopedBstr full_name(GetScheduledTaskFullName(name).c_str());
  root_folder_->DeleteTask(full_name.Get(), 0);
}

void TaskSchedulerV2::SetTaskDaysInterval(const base::string16& name,
                                          int32_t days) {
  ScopedComPtr<IRegisteredTask> task;
  ScopedComPtr<ITaskDefinition> definition;
  ScopedComPtr<ITriggerCollection> triggers;
  LONG count = 0;
  if (!GetTask(name, &task) ||
      FAILED(task->get_Definition(definition.Receive())) ||
      FAILED(definition->get_Triggers(triggers.Receive())) ||
      FAILED(triggers->get_Count(&count))) {
    return;
  }
  for (LONG index = 1; index <= count; ++index) {
    ScopedComPtr<ITrigger> trigger;
    TASK_TRIGGER_TYPE2 type;
    if (FAILED(triggers->get_Item(index, trigger.Receive())) ||
        FAILED(trigger->get_Type(&type)) || type != TASK_TRIGGER_DAILY) {
      continue;
    }
    ScopedComPtr<IDailyTrigger> daily;
    short interval = 0;
    if (FAILED(daily.QueryFrom(trigger.get())) ||
        FAILED(daily->get_DaysInterval(&interval)) || interval == days ||
        FAILED(daily->put_DaysInterval(static_cast<short>(days)))) {
      return;
    }
    ScopedBstr full_name(GetScheduledTaskFullName(name).c_str());
    ScopedVariant user, password, sddl(L"");
    ScopedComPtr<IRegisteredTask> registered;
    root_folder_->RegisterTaskDefinition(
        full_name.Get(), definition.get(), TASK_UPDATE, user.Get(),
        password.Get(), TASK_LOGON_NONE, sddl.Get(), registered.Receive());
    return;
  }
}

void TaskSchedulerV2::SetTaskEnabled(const base::string16& name, bool enabled) {
  ScopedComPtr<IRegisteredTask> task;
  if (GetTask(name, &task))
    task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
}

bool TaskSchedulerV2::RunTask(const base::string16& name,
                              const std::vector<base::string16>& arguments) {
  ScopedComPtr<IRegisteredTask> task;
  if (!GetTask(name, &task))
    return false;
  ScopedVariant parameters;
  if (!arguments.empty()) {
    SAFEARRAY* array = ::SafeArrayCreateVector(
        VT_BSTR, 0, static_cast<ULONG>(arguments.size()));
    if (!array)
      return false;
    for (LONG i = 0; i < static_cast<LONG>(arguments.size()); ++i) {
      // The array copies the string.
      ScopedBstr argument(arguments[i].c_str());
      if (FAILED(::SafeArrayPutElement(array, &i, argument.Get()))) {
        ::SafeArrayDestroy(array);
        return false;
      }
    }
    if (!parameters.Set(array)) {
      ::SafeArrayDestroy(array);
      return false;
    }
  }
  ScopedComPtr<IRunningTask> running;
  return SUCCEEDED(task->Run(parameters.Get(), running.Receive()));
}

TaskScheduler::State TaskSchedulerV2::GetTaskState(const base::string16& name) {
  ScopedComPtr<IRegisteredTask> task;
  if (!GetTask(name, &task))
    return STATE_NO_SUCH_TASK;
  TASK_STATE state;
  if (FAILED(task->get_State(&state)))
    return STATE_UNKNOWN;
  return StateFromTaskState(state);
}

base::Time TaskSchedulerV2::GetTaskLastRunTime(const base::string16& name) {
  ScopedComPtr<IRegisteredTask> task;
  DATE date = 0;
  SYSTEMTIME time;
  // A task that never ran answers with a success code other than S_OK and
  // no time.
  if (!GetTask(name, &task) || task->get_LastRunTime(&date) != S_OK ||
      !::VariantTimeToSystemTime(date, &time)) {
    return base::Time();
  }
  return TimeFromLocalSystemTime(time);
}

bool TaskSchedulerV2::GetTask(const base::string16& name,
                              ScopedComPtr<IRegisteredTask>* task) {
  ScopedBstr full_name(GetScheduledTaskFullName(name).c_str());
  return SUCCEEDED(root_folder_->GetTask(full_name.Get(), task->Receive()));
}

}  // namespace installer
}  // namespace vexlo

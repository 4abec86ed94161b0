#include "desktop/launcher/installer/service/task_scheduler_v1.h"

#include <windows.h>

#include <mstask.h>

#include "base/files/file_util.h"
#include "base/win/scoped_comptr.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

using base::win::ScopedComPtr;

// Registers work items for real and reads them back through the scheduler.
class TaskSchedulerV1Test : public OperationTest {
 protected:
  void SetUp() override {
    OperationTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    Write(L"launcher.exe", "program");
    ASSERT_TRUE(scheduler_.Init());
    ASSERT_TRUE(SUCCEEDED(
        ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                           IID_ITaskScheduler, reader_.ReceiveVoid())));
  }
  void TearDown() override {
    // The scheduler's service may hold a new job file for a moment.
    for (const base::string16& name : created_) {
      for (int i = 0; i < 50 && reader_->Delete(name.c_str()) ==
                                    HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
           ++i) {
        ::Sleep(10);
      }
    }
    reader_.Reset();
    ::CoUninitialize();
  }

  // Tests run side by side and share the scheduler: each uses names of its
  // own.
  static base::string16 Name(const wchar_t* name = L"Autoupdate") {
    const char* test =
        testing::UnitTest::GetInstance()->current_test_info()->name();
    return base::string16(name) + L" " +
           base::string16(test, test + strlen(test));
  }

  // Saves a work item of the product's as another program would.
  void SaveWorkItem(const base::string16& name,
                    const base::FilePath& program,
                    std::vector<TASK_TRIGGER> triggers) {
    const base::string16 full_name = GetScheduledTaskFullName(name);
    created_.push_back(full_name);
    ScopedComPtr<ITask> task;
    ASSERT_TRUE(SUCCEEDED(
        reader_->NewWorkItem(full_name.c_str(), CLSID_CTask, IID_ITask,
                             reinterpret_cast<IUnknown**>(task.Receive()))));
    ASSERT_TRUE(SUCCEEDED(task->SetApplicationName(program.value().c_str())));
    for (TASK_TRIGGER& values : triggers) {
      WORD index = 0;
      ScopedComPtr<ITaskTrigger> trigger;
      ASSERT_TRUE(SUCCEEDED(task->CreateTrigger(&index, trigger.Receive())));
      ASSERT_TRUE(SUCCEEDED(trigger->SetTrigger(&values)));
    }
    ScopedComPtr<IPersistFile> file;
    ASSERT_TRUE(SUCCEEDED(file.QueryFrom(task.get())));
    ASSERT_TRUE(SUCCEEDED(file->Save(nullptr, TRUE)));
  }

  ScheduledTaskInfo MakeInfo(const base::string16& name, uint32_t kind) {
    ScheduledTaskInfo info;
    info.command = base::CommandLine(Path(L"launcher.exe"));
    info.command.AppendSwitch("scheduledautoupdate");
    info.command.AppendArg("$(Arg0)");
    info.name = name;
    info.description = L"Keeps it up to date";
    info.execution_time_limit = 3600;
    info.schedule_kind = kind;
    info.network_only = true;
    created_.push_back(GetScheduledTaskFullName(name));
    return info;
  }

  // The work item as another scheduler object sees it.
  bool Read(const base::string16& name, ScopedComPtr<ITask>* task) {
    return SUCCEEDED(
        reader_->Activate(GetScheduledTaskFullName(name).c_str(), IID_ITask,
                          reinterpret_cast<IUnknown**>(task->Receive())));
  }
  bool Exists(const base::string16& name) {
    ScopedComPtr<ITask> task;
    return Read(name, &task);
  }
  std::vector<TASK_TRIGGER> ReadTriggersOf(const base::string16& name) {
    ScopedComPtr<ITask> task;
    EXPECT_TRUE(Read(name, &task));
    return task ? ReadTriggers(task.get()) : std::vector<TASK_TRIGGER>();
  }
  DWORD ReadFlagsOf(const base::string16& name) {
    ScopedComPtr<ITask> task;
    EXPECT_TRUE(Read(name, &task));
    return task ? ReadFlags(task.get()) : 0xDEAD;
  }
  static base::string16 ReadText(
      ITask* task,
      HRESULT (STDMETHODCALLTYPE ITask::*getter)(LPWSTR*)) {
    wchar_t* text = nullptr;
    if (FAILED((task->*getter)(&text)))
      return L"<error>";
    base::string16 result = text;
    ::CoTaskMemFree(text);
    return result;
  }
  static std::vector<TASK_TRIGGER> ReadTriggers(ITask* task) {
    std::vector<TASK_TRIGGER> triggers;
    WORD count = 0;
    EXPECT_TRUE(SUCCEEDED(task->GetTriggerCount(&count)));
    for (WORD i = 0; i < count; ++i) {
      ScopedComPtr<ITaskTrigger> trigger;
      TASK_TRIGGER values = {};
      values.cbTriggerSize = sizeof(values);
      EXPECT_TRUE(SUCCEEDED(task->GetTrigger(i, trigger.Receive())));
      EXPECT_TRUE(SUCCEEDED(trigger->GetTrigger(&values)));
      triggers.push_back(values);
    }
    return triggers;
  }
  static DWORD ReadFlags(ITask* task) {
    DWORD flags = 0xDEAD;
    EXPECT_TRUE(SUCCEEDED(task->GetFlags(&flags)));
    return flags;
  }

  TaskSchedulerV1 scheduler_;
  ScopedComPtr<ITaskScheduler> reader_;
  std::vector<base::string16> created_;
};

TEST_F(TaskSchedulerV1Test, RegistersADailyTaskWithEveryProperty) {
  const ScheduledTaskInfo info =
      MakeInfo(Name(), ScheduledTaskInfo::SCHEDULE_DAILY);
  ASSERT_TRUE(scheduler_.RegisterTask(info));

  ScopedComPtr<ITask> task;
  ASSERT_TRUE(Read(Name(), &task));
  base::string16 user_name;
  ASSERT_TRUE(GetCurrentUserName(true, &user_name));
  EXPECT_EQ(Path(L"launcher.exe").value(),
            ReadText(task.get(), &ITask::GetApplicationName));
  EXPECT_EQ(info.command.GetArgumentsString(false),
            ReadText(task.get(), &ITask::GetParameters));
  EXPECT_EQ(L"Keeps it up to date", ReadText(task.get(), &ITask::GetComment));
  EXPECT_EQ(user_name, ReadText(task.get(), &ITask::GetCreator));
  EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON),
            ReadFlags(task.get()));
  DWORD max_run_time = 0;
  EXPECT_TRUE(SUCCEEDED(task->GetMaxRunTime(&max_run_time)));
  EXPECT_EQ(3600000u, max_run_time);

  SYSTEMTIME now;
  ::GetLocalTime(&now);
  const std::vector<TASK_TRIGGER> triggers = ReadTriggers(task.get());
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(TASK_TIME_TRIGGER_DAILY, triggers[0].TriggerType);
  EXPECT_EQ(1, triggers[0].Type.Daily.DaysInterval);
  EXPECT_EQ(now.wYear, triggers[0].wBeginYear);
  EXPECT_EQ(now.wMonth, triggers[0].wBeginMonth);
  EXPECT_EQ(now.wDay, triggers[0].wBeginDay);

  EXPECT_EQ(TaskScheduler::STATE_READY, scheduler_.GetTaskState(Name()));
  EXPECT_TRUE(scheduler_.GetTaskLastRunTime(Name()).is_null());
}

TEST_F(TaskSchedulerV1Test, TriggersFlagsAndLimitsOfEachKind) {
  const DWORD kLoggedOn = TASK_FLAG_RUN_ONLY_IF_LOGGED_ON;
  struct {
    uint32_t kind;
    bool logon;
    uint32_t system;
    uint32_t limit;
    DWORD flags;
    DWORD max_run_time;
    std::vector<int> trigger_types;  // -1: the scheduler's own trigger.
  } const kCases[] = {
      {ScheduledTaskInfo::SCHEDULE_DAILY,
       true,
       1,
       3600,
       kLoggedOn,
       3600000,
       {TASK_TIME_TRIGGER_DAILY, TASK_EVENT_TRIGGER_AT_LOGON}},
      {ScheduledTaskInfo::SCHEDULE_NONE,
       true,
       0,
       0,
       kLoggedOn,
       INFINITE,
       {-1, TASK_EVENT_TRIGGER_AT_LOGON}},
      {ScheduledTaskInfo::SCHEDULE_NONE, false, 0, 1, kLoggedOn, 1000, {-1}},
      // Deleted once it ran; no logon trigger.
      {ScheduledTaskInfo::SCHEDULE_ONCE,
       true,
       0,
       3600,
       kLoggedOn | TASK_FLAG_DELETE_WHEN_DONE,
       3600000,
       {TASK_TIME_TRIGGER_ONCE}},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(testing::Message() << test.kind << " " << test.logon);
    ScheduledTaskInfo info = MakeInfo(Name(), test.kind);
    info.logon_trigger = test.logon;
    info.system = test.system;
    info.execution_time_limit = test.limit;
    ASSERT_TRUE(scheduler_.RegisterTask(info));
    ScopedComPtr<ITask> task;
    ASSERT_TRUE(Read(Name(), &task));
    EXPECT_EQ(test.flags, ReadFlags(task.get()));
    DWORD max_run_time = 0;
    EXPECT_TRUE(SUCCEEDED(task->GetMaxRunTime(&max_run_time)));
    EXPECT_EQ(test.max_run_time, max_run_time);
    const std::vector<TASK_TRIGGER> triggers = ReadTriggers(task.get());
    ASSERT_EQ(test.trigger_types.size(), triggers.size());
    for (size_t i = 0; i < triggers.size(); ++i) {
      if (test.trigger_types[i] >= 0) {
        EXPECT_EQ(test.trigger_types[i], triggers[i].TriggerType) << i;
      }
    }
  }
}

TEST_F(TaskSchedulerV1Test, RegisteringAgainReplacesTheTask) {
  ScheduledTaskInfo info = MakeInfo(Name(), ScheduledTaskInfo::SCHEDULE_DAILY);
  info.logon_trigger = true;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  info.logon_trigger = false;
  info.description = L"Second";
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  ScopedComPtr<ITask> task;
  ASSERT_TRUE(Read(Name(), &task));
  EXPECT_EQ(L"Second", ReadText(task.get(), &ITask::GetComment));
  EXPECT_EQ(1u, ReadTriggers(task.get()).size());
}

TEST_F(TaskSchedulerV1Test, DeletesTasks) {
  ASSERT_TRUE(scheduler_.RegisterTask(
      MakeInfo(Name(), ScheduledTaskInfo::SCHEDULE_DAILY)));
  scheduler_.DeleteTask(Name());
  EXPECT_FALSE(Exists(Name()));
  EXPECT_EQ(TaskScheduler::STATE_NO_SUCH_TASK, scheduler_.GetTaskState(Name()));
  EXPECT_TRUE(scheduler_.GetTaskLastRunTime(Name()).is_null());
  EXPECT_FALSE(scheduler_.RunTask(Name(), {}));
  // Nothing to change; nothing is created.
  scheduler_.SetTaskEnabled(Name(), true);
  scheduler_.SetTaskDaysInterval(Name(), 2);
  scheduler_.DeleteTask(Name());
  EXPECT_FALSE(Exists(Name()));
}

TEST_F(TaskSchedulerV1Test, ChangesOnlyTheFirstDailyTrigger) {
  ScheduledTaskInfo info = MakeInfo(Name(), ScheduledTaskInfo::SCHEDULE_DAILY);
  info.logon_trigger = true;
  ASSERT_TRUE(scheduler_.RegisterTask(info));
  scheduler_.SetTaskDaysInterval(Name(), 3);
  std::vector<TASK_TRIGGER> triggers = ReadTriggersOf(Name());
  ASSERT_EQ(2u, triggers.size());
  EXPECT_EQ(3, triggers[0].Type.Daily.DaysInterval);
  EXPECT_EQ(TASK_EVENT_TRIGGER_AT_LOGON, triggers[1].TriggerType);

  scheduler_.SetTaskDaysInterval(Name(), 1);
  EXPECT_EQ(1, ReadTriggersOf(Name())[0].Type.Daily.DaysInterval);

  // Only the first daily trigger is looked at.
  TASK_TRIGGER logon = {};
  logon.cbTriggerSize = sizeof(logon);
  logon.wBeginYear = 2026;
  logon.wBeginMonth = 1;
  logon.wBeginDay = 1;
  logon.TriggerType = TASK_EVENT_TRIGGER_AT_LOGON;
  TASK_TRIGGER daily = logon;
  daily.TriggerType = TASK_TIME_TRIGGER_DAILY;
  daily.Type.Daily.DaysInterval = 1;
  SaveWorkItem(Name(L"Two"), Path(L"launcher.exe"), {logon, daily, daily});
  scheduler_.SetTaskDaysInterval(Name(L"Two"), 4);
  triggers = ReadTriggersOf(Name(L"Two"));
  ASSERT_EQ(3u, triggers.size());
  EXPECT_EQ(TASK_EVENT_TRIGGER_AT_LOGON, triggers[0].TriggerType);
  EXPECT_EQ(4, triggers[1].Type.Daily.DaysInterval);
  EXPECT_EQ(1, triggers[2].Type.Daily.DaysInterval);
}

TEST_F(TaskSchedulerV1Test, EnablingAndDisablingIsSaved) {
  ASSERT_TRUE(scheduler_.RegisterTask(
      MakeInfo(Name(), ScheduledTaskInfo::SCHEDULE_DAILY)));
  scheduler_.SetTaskEnabled(Name(), false);
  // A scheduler object of its own reads the job file again.
  TaskSchedulerV1 other;
  ASSERT_TRUE(other.Init());
  EXPECT_EQ(TaskScheduler::STATE_DISABLED, other.GetTaskState(Name()));
  EXPECT_EQ(
      static_cast<DWORD>(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON | TASK_FLAG_DISABLED),
      ReadFlagsOf(Name()));
  scheduler_.SetTaskEnabled(Name(), true);
  EXPECT_EQ(TaskScheduler::STATE_READY, other.GetTaskState(Name()));
  EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON),
            ReadFlagsOf(Name()));
}

TEST_F(TaskSchedulerV1Test, DeletesOnlyTheProductsEnabledOrphans) {
  Write(L"gone.exe", "program");
  ASSERT_TRUE(scheduler_.RegisterTask(
      MakeInfo(Name(L"Kept"), ScheduledTaskInfo::SCHEDULE_DAILY)));
  for (const wchar_t* name : {L"Orphan", L"Disabled"}) {
    ScheduledTaskInfo info =
        MakeInfo(Name(name), ScheduledTaskInfo::SCHEDULE_DAILY);
    info.command = base::CommandLine(Path(L"gone.exe"));
    ASSERT_TRUE(scheduler_.RegisterTask(info));
  }
  scheduler_.SetTaskEnabled(Name(L"Disabled"), false);
  // Another product's orphan.
  const base::string16 foreign = L"Other scheduled " + Name(L"Orphan");
  created_.push_back(foreign);
  ScopedComPtr<ITask> task;
  ASSERT_TRUE(SUCCEEDED(
      reader_->NewWorkItem(foreign.c_str(), CLSID_CTask, IID_ITask,
                           reinterpret_cast<IUnknown**>(task.Receive()))));
  ASSERT_TRUE(
      SUCCEEDED(task->SetApplicationName(Path(L"gone.exe").value().c_str())));
  ScopedComPtr<IPersistFile> file;
  ASSERT_TRUE(SUCCEEDED(file.QueryFrom(task.get())));
  ASSERT_TRUE(SUCCEEDED(file->Save(nullptr, TRUE)));
  ASSERT_TRUE(base::DeleteFile(Path(L"gone.exe"), false));

  scheduler_.DeleteOrphanedTasks();
  EXPECT_TRUE(Exists(Name(L"Kept")));
  EXPECT_FALSE(Exists(Name(L"Orphan")));
  EXPECT_TRUE(Exists(Name(L"Disabled")));
  ScopedComPtr<ITask> foreign_task;
  EXPECT_TRUE(SUCCEEDED(
      reader_->Activate(foreign.c_str(), IID_ITask,
                        reinterpret_cast<IUnknown**>(foreign_task.Receive()))));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

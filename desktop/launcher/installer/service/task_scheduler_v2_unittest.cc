#include "desktop/launcher/installer/service/task_scheduler_v2.h"

#include <windows.h>

#include <taskschd.h>

#include "base/win/scoped_bstr.h"
#include "base/win/scoped_comptr.h"
#include "base/win/scoped_variant.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

using base::win::ScopedBstr;
using base::win::ScopedComPtr;
using base::win::ScopedVariant;

// Registers tasks for real and reads them back through a service of the
// test's own. The test platform keeps a task's registration, settings and
// state but drops its triggers and actions and cannot run it.
class TaskSchedulerV2Test : public OperationTest {
 protected:
  void SetUp() override {
    OperationTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    Write(L"launcher.exe", "program");
    ASSERT_TRUE(scheduler_.Init());
    ASSERT_TRUE(SUCCEEDED(
        ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                           IID_ITaskService, service_.ReceiveVoid())));
    ScopedVariant empty;
    ASSERT_TRUE(SUCCEEDED(
        service_->Connect(empty.Get(), empty.Get(), empty.Get(), empty.Get())));
    ScopedBstr root(L"\\");
    ASSERT_TRUE(SUCCEEDED(service_->GetFolder(root.Get(), root_.Receive())));
  }
  void TearDown() override {
    for (const base::string16& name : created_) {
      ScopedBstr full_name(name.c_str());
      root_->DeleteTask(full_name.Get(), 0);
    }
    root_.Reset();
    service_.Reset();
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

  bool Read(const base::string16& name,
            ScopedComPtr<ITaskDefinition>* definition) {
    ScopedBstr full_name(GetScheduledTaskFullName(name).c_str());
    ScopedComPtr<IRegisteredTask> task;
    return SUCCEEDED(root_->GetTask(full_name.Get(), task.Receive())) &&
           SUCCEEDED(task->get_Definition(definition->Receive()));
  }

  // Registers a task of the product's as another program would.
  void RegisterDirectly(const base::string16& name,
                        const wchar_t* description) {
    const base::string16 full_name = GetScheduledTaskFullName(name);
    created_.push_back(full_name);
    ScopedComPtr<ITaskDefinition> definition;
    ScopedComPtr<IRegistrationInfo> registration;
    ASSERT_TRUE(SUCCEEDED(service_->NewTask(0, definition.Receive())));
    ASSERT_TRUE(
        SUCCEEDED(definition->get_RegistrationInfo(registration.Receive())));
    ScopedBstr text(description);
    ASSERT_TRUE(SUCCEEDED(registration->put_Description(text.Get())));
    ScopedBstr bstr_name(full_name.c_str());
    ScopedVariant empty, sddl(L"");
    ScopedComPtr<IRegisteredTask> task;
    ASSERT_TRUE(SUCCEEDED(root_->RegisterTaskDefinition(
        bstr_name.Get(), definition.get(), TASK_CREATE_OR_UPDATE, empty.Get(),
        empty.Get(), TASK_LOGON_INTERACTIVE_TOKEN, sddl.Get(),
        task.Receive())));
  }

  static base::string16 Description(ITaskDefinition* definition) {
    ScopedComPtr<IRegistrationInfo> registration;
    BSTR text = nullptr;
    if (FAILED(definition->get_RegistrationInfo(registration.Receive())) ||
        FAILED(registration->get_Description(&text))) {
      return L"<error>";
    }
    return Text(text);
  }

  static base::string16 Text(BSTR text) {
    base::string16 result = text ? text : L"<null>";
    ::SysFreeString(text);
    return result;
  }

  TaskSchedulerV2 scheduler_;
  ScopedComPtr<ITaskService> service_;
  ScopedComPtr<ITaskFolder> root_;
  std::vector<base::string16> created_;
};

TEST_F(TaskSchedulerV2Test, RegisteringReplacesTheTaskOfTheSameName) {
  struct {
    uint32_t kind;
    bool logon;
    uint32_t system;
  } const kCases[] = {
      {ScheduledTaskInfo::SCHEDULE_DAILY, false, 0},
      {ScheduledTaskInfo::SCHEDULE_DAILY, true, 0},
      {ScheduledTaskInfo::SCHEDULE_NONE, true, 1},
      {ScheduledTaskInfo::SCHEDULE_NONE, false, 0},
      {ScheduledTaskInfo::SCHEDULE_ONCE, true, 0},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(testing::Message()
                 << test.kind << " " << test.logon << " " << test.system);
    ScheduledTaskInfo info = MakeInfo(Name(), test.kind);
    info.logon_trigger = test.logon;
    info.system = test.system;
    RegisterDirectly(Name(), L"Old");
    // The test platform refuses some of the trigger and principal
    // properties, and with them the registration; the old task is gone
    // either way, and a task that runs once is gone as soon as it started.
    const bool registered = scheduler_.RegisterTask(info);
    ScopedComPtr<ITaskDefinition> definition;
    ASSERT_EQ(registered && test.kind != ScheduledTaskInfo::SCHEDULE_ONCE,
              Read(Name(), &definition));
    if (!definition)
      continue;
    EXPECT_EQ(L"Keeps it up to date", Description(definition.get()));
    ScopedComPtr<ITaskSettings> settings;
    ASSERT_TRUE(SUCCEEDED(definition->get_Settings(settings.Receive())));
    BSTR text = nullptr;
    EXPECT_TRUE(SUCCEEDED(settings->get_ExecutionTimeLimit(&text)));
    EXPECT_EQ(L"PT3600S", Text(text));
  }
}

TEST_F(TaskSchedulerV2Test, ChangesAndReadsARegisteredTask) {
  RegisterDirectly(Name(), L"Direct");
  EXPECT_EQ(TaskScheduler::STATE_READY, scheduler_.GetTaskState(Name()));
  // Never ran: no time rather than the zero date.
  EXPECT_TRUE(scheduler_.GetTaskLastRunTime(Name()).is_null());

  // The test platform ignores the enabled property; only that it leaves the
  // task in place is seen here.
  scheduler_.SetTaskEnabled(Name(), true);
  // Without a daily trigger and an exec action, neither touches the task.
  scheduler_.SetTaskDaysInterval(Name(), 3);
  scheduler_.DeleteOrphanedTasks();
  ScopedComPtr<ITaskDefinition> definition;
  ASSERT_TRUE(Read(Name(), &definition));
  EXPECT_EQ(L"Direct", Description(definition.get()));

  scheduler_.DeleteTask(Name());
  EXPECT_FALSE(Read(Name(), &definition));
  EXPECT_EQ(TaskScheduler::STATE_NO_SUCH_TASK, scheduler_.GetTaskState(Name()));
}

TEST_F(TaskSchedulerV2Test, AnswersForMissingTasks) {
  EXPECT_EQ(TaskScheduler::STATE_NO_SUCH_TASK, scheduler_.GetTaskState(Name()));
  EXPECT_TRUE(scheduler_.GetTaskLastRunTime(Name()).is_null());
  EXPECT_FALSE(scheduler_.RunTask(Name(), {}));
  EXPECT_FALSE(scheduler_.RunTask(Name(), {L"a", L"b"}));
  scheduler_.SetTaskEnabled(Name(), true);
  scheduler_.SetTaskDaysInterval(Name(), 2);
  scheduler_.DeleteTask(Name());
  ScopedComPtr<ITaskDefinition> definition;
  EXPECT_FALSE(Read(Name(), &definition));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

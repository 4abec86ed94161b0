#include "desktop/launcher/installer/service/task_scheduler.h"

#include <windows.h>

#include "desktop/launcher/installer/service/task_scheduler_v1.h"
#include "desktop/launcher/installer/service/task_scheduler_v2.h"
#include "desktop/launcher/installer/service/test/fake_task_scheduler.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

TEST(TaskSchedulerTest, FullNames) {
  EXPECT_EQ(L"P scheduled Autoupdate 1",
            internal::MakeScheduledTaskFullName(L"P", L"Autoupdate 1"));
  EXPECT_EQ(L" scheduled x", internal::MakeScheduledTaskFullName(L"", L"x"));

  struct {
    const wchar_t* product;
    const wchar_t* full_name;
    bool ours;
  } const kCases[] = {
      {L"P", L"P scheduled Autoupdate 1", true},
      {L"P", L"p SCHEDULED Autoupdate 1", true},
      {L"P", L"P scheduled ", true},
      {L"P", L"P scheduled", false},
      {L"P", L" scheduled Autoupdate 1", false},
      {L"P", L"Q scheduled Autoupdate 1", false},
      {L"P", L"PP scheduled Autoupdate 1", false},
      {L"", L" scheduled Autoupdate 1", true},
      {L"", L"P scheduled Autoupdate 1", false},
      {L"Vexlo", L"VEXLO scheduled a", true},
      {L"\u00c9", L"\u00e9 scheduled a", false},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(test.ours,
              internal::IsScheduledTaskNameOf(test.product, test.full_name))
        << test.full_name;
  }
  EXPECT_TRUE(IsProductScheduledTaskName(GetScheduledTaskFullName(L"x")));
}

TEST(TaskSchedulerTest, Durations) {
  EXPECT_EQ(L"PT3600S", GetTaskExecutionTimeLimitText(3600));
  EXPECT_EQ(L"PT0S", GetTaskExecutionTimeLimitText(0));
  EXPECT_EQ(L"PT4294967295S", GetTaskExecutionTimeLimitText(0xFFFFFFFF));

  struct {
    uint32_t seconds;
    uint32_t milliseconds;
  } const kCases[] = {
      {0, INFINITE},
      {1, 1000},
      {3600, 3600000},
      {4294967, 4294967000u},
      // Beyond what fits the scheduler's milliseconds: no limit rather than
      // a wrapped one.
      {4294968, INFINITE},
      {0xFFFFFFFF, INFINITE},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(test.milliseconds, GetTaskMaxRunTimeMilliseconds(test.seconds))
        << test.seconds;
  }
}

TEST(TaskSchedulerTest, Boundaries) {
  EXPECT_EQ(L"2026-01-02T03:04:05",
            FormatTaskBoundary({2026, 1, 5, 2, 3, 4, 5, 999}));
  EXPECT_EQ(L"2026-12-31T23:59:59",
            FormatTaskBoundary({2026, 12, 4, 31, 23, 59, 59, 0}));
  EXPECT_EQ(L"1999-10-10T00:00:00",
            FormatTaskBoundary({1999, 10, 0, 10, 0, 0, 0, 0}));

  // Milliseconds are dropped; the date is read as local time.
  const SYSTEMTIME time = {2026, 3, 0, 15, 12, 30, 45, 678};
  base::Time::Exploded exploded;
  TimeFromLocalSystemTime(time).Explode(true, &exploded);
  EXPECT_EQ(L"2026-03-15T12:30:45", FormatTaskBoundary(exploded));
  EXPECT_EQ(0, exploded.millisecond);
  const SYSTEMTIME invalid = {2026, 13, 0, 40, 0, 0, 0, 0};
  EXPECT_TRUE(TimeFromLocalSystemTime(invalid).is_null());
}

TEST(TaskSchedulerTest, States) {
  struct {
    int task_state;
    TaskScheduler::State state;
  } const kV2Cases[] = {
      {0, TaskScheduler::STATE_UNKNOWN},  {1, TaskScheduler::STATE_DISABLED},
      {2, TaskScheduler::STATE_READY},    {3, TaskScheduler::STATE_READY},
      {4, TaskScheduler::STATE_RUNNING},  {5, TaskScheduler::STATE_UNKNOWN},
      {-1, TaskScheduler::STATE_UNKNOWN},
  };
  for (const auto& test : kV2Cases) {
    EXPECT_EQ(test.state, TaskSchedulerV2::StateFromTaskState(test.task_state))
        << test.task_state;
  }

  struct {
    long status;
    TaskScheduler::State state;
  } const kV1Cases[] = {
      {0x00041300, TaskScheduler::STATE_READY},
      {0x00041301, TaskScheduler::STATE_RUNNING},
      {0x00041302, TaskScheduler::STATE_DISABLED},
      {0x00041303, TaskScheduler::STATE_READY},
      {0x00041304, TaskScheduler::STATE_WILL_NOT_RUN},
      {0x00041305, TaskScheduler::STATE_WILL_NOT_RUN},
      {0x00041306, TaskScheduler::STATE_UNKNOWN},
      {0x00041307, TaskScheduler::STATE_WILL_NOT_RUN},
      {0x00041308, TaskScheduler::STATE_UNKNOWN},
      {S_OK, TaskScheduler::STATE_UNKNOWN},
      {E_FAIL, TaskScheduler::STATE_UNKNOWN},
  };
  for (const auto& test : kV1Cases) {
    EXPECT_EQ(test.state, TaskSchedulerV1::StateFromStatus(test.status))
        << std::hex << test.status;
  }
}

TEST(TaskSchedulerTest, CreatesTheNewerSchedulerFromVista) {
  // The test platform reports a version after Vista.
  std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  EXPECT_NE(nullptr, dynamic_cast<TaskSchedulerV2*>(scheduler.get()));
}

TEST(TaskSchedulerTest, FakeRecordsCallsAndKeepsTasks) {
  FakeTaskScheduler scheduler;
  ScheduledTaskInfo daily;
  daily.name = L"Daily";
  daily.schedule_kind = ScheduledTaskInfo::SCHEDULE_DAILY;
  ScheduledTaskInfo once = daily;
  once.name = L"Once";
  once.schedule_kind = ScheduledTaskInfo::SCHEDULE_ONCE;

  EXPECT_TRUE(scheduler.Init());
  EXPECT_TRUE(scheduler.RegisterTask(daily));
  EXPECT_TRUE(scheduler.RegisterTask(once));
  scheduler.SetTaskDaysInterval(L"Daily", 3);
  scheduler.SetTaskEnabled(L"Daily", false);
  EXPECT_EQ(TaskScheduler::STATE_DISABLED, scheduler.GetTaskState(L"Daily"));
  EXPECT_TRUE(scheduler.RunTask(L"Daily", {L"a", L"b"}));
  EXPECT_FALSE(scheduler.RunTask(L"Once", {}));
  ASSERT_EQ(1u, scheduler.tasks().size());
  const FakeTaskScheduler::Task& task = scheduler.tasks().at(L"Daily");
  EXPECT_EQ(3, task.days_interval);
  EXPECT_FALSE(task.enabled);
  EXPECT_EQ((std::vector<std::vector<base::string16>>{{L"a", L"b"}}),
            task.runs);
  scheduler.DeleteTask(L"Daily");
  EXPECT_EQ(TaskScheduler::STATE_NO_SUCH_TASK,
            scheduler.GetTaskState(L"Daily"));
  scheduler.set_failing(true);
  EXPECT_FALSE(scheduler.RegisterTask(daily));
  EXPECT_TRUE(scheduler.tasks().empty());

  const std::vector<std::string> kCalls = {
      "Init",
      "RegisterTask Daily",
      "RegisterTask Once",
      "SetTaskDaysInterval Daily 3",
      "SetTaskEnabled Daily 0",
      "GetTaskState Daily",
      "RunTask Daily",
      "RunTask Once",
      "DeleteTask Daily",
      "GetTaskState Daily",
      "RegisterTask Daily",
  };
  EXPECT_EQ(kCalls, scheduler.calls());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

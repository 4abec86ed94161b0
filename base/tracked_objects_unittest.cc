#include "base/tracked_objects.h"

#include <limits>
#include <string>
#include <thread>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/pending_task.h"
#include "base/run_loop.h"
#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

const char kFile[] = "tracked_objects_unittest.cc";

Location At(const char* function, int line) {
  return Location(function, kFile, line, nullptr);
}

const DeathData* FindDeath(ThreadData* thread_data, const Births* births) {
  static ThreadData::DeathMap deaths;
  ThreadData::BirthMap births_map;
  thread_data->SnapshotMaps(&births_map, &deaths);
  const ThreadData::DeathMap::const_iterator it = deaths.find(births);
  return it == deaths.end() ? nullptr : &it->second;
}

void DoNothing() {}

TEST(TaskProfilerTest, InactiveUntilAThreadIsNamed) {
  ASSERT_EQ(ThreadData::UNINITIALIZED, ThreadData::status());
  EXPECT_EQ(nullptr, ThreadData::TallyABirthIfActive(At("f", 1)));
  EXPECT_EQ(nullptr, ThreadData::Get());
  EXPECT_TRUE(ThreadData::Now().is_null());
  // A task that names its thread: its stopwatch started with the profiler
  // off and stays unbound, while one started inside it after the naming is
  // timed on the new record without nesting under it.
  TaskStopwatch before_naming;
  before_naming.Start();

  PlatformThread::SetName("ProfiledMain");
  EXPECT_EQ(ThreadData::PROFILING_ACTIVE, ThreadData::status());
  ThreadData* main = ThreadData::Get();
  ASSERT_TRUE(main);
  TaskStopwatch after_naming;
  after_naming.Start();
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(30));
  after_naming.Stop();
  before_naming.Stop();
  EXPECT_EQ(main, after_naming.GetThreadData());
  EXPECT_GE(after_naming.RunDurationMs(), 20);
  EXPECT_EQ(nullptr, before_naming.GetThreadData());
  EXPECT_TRUE(before_naming.StartTime().is_null());
  EXPECT_EQ(0, before_naming.RunDurationMs());
  EXPECT_EQ(0, before_naming.ExcludedDurationMs());
  EXPECT_EQ("ProfiledMain", main->thread_name());
  EXPECT_EQ(0, main->worker_thread_number());
  // A second naming keeps the record.
  ThreadData::InitializeThreadContext("Renamed");
  EXPECT_EQ(main, ThreadData::Get());
}

TEST(TaskProfilerTest, BirthsByFileAndLine) {
  ThreadData::InitializeThreadContext("Births");
  Births* first = ThreadData::TallyABirthIfActive(At("One", 10));
  Births* second = ThreadData::TallyABirthIfActive(At("Two", 10));
  Births* other = ThreadData::TallyABirthIfActive(At("One", 11));
  EXPECT_EQ(first, second);
  EXPECT_NE(first, other);
  EXPECT_EQ(2, first->birth_count());
  EXPECT_EQ(ThreadData::Get(), first->birth_thread());
  EXPECT_STREQ("One", first->location().function_name());
}

TEST(TaskProfilerTest, WorkerRecordsAreRecycled) {
  ThreadData::InitializeThreadContext("Main");
  ThreadData* first = nullptr;
  std::thread([&first] {
    ThreadData::TallyABirthIfActive(At("Worker", 1));
    first = ThreadData::Get();
  }).join();
  ASSERT_TRUE(first);
  EXPECT_EQ("WorkerThread-1", first->thread_name());
  EXPECT_EQ(1, ThreadData::cleanup_count());

  ThreadData* second = nullptr;
  std::thread([&second] { second = ThreadData::Get(); }).join();
  EXPECT_EQ(first, second);
  EXPECT_EQ(1, ThreadData::worker_thread_data_creation_count());
}

TEST(TaskProfilerTest, RunsOnALoopAreTallied) {
  PlatformThread::SetName("LoopThread");
  MessageLoop loop;
  RunLoop run_loop;
  for (int i = 0; i < 3; ++i)
    loop.PostTask(At("Posted", 20), Bind(&DoNothing));
  loop.PostTask(At("Quit", 21), run_loop.QuitClosure());
  run_loop.Run();

  Births* births = ThreadData::TallyABirthIfActive(At("Posted", 20));
  EXPECT_EQ(4, births->birth_count());
  const DeathData* death = FindDeath(ThreadData::Get(), births);
  ASSERT_TRUE(death);
  EXPECT_EQ(3, death->count());
  EXPECT_EQ(3, death->sample_probability_count());
  EXPECT_GE(death->queue_duration_sum(), 0);
}

TEST(TaskProfilerTest, QueueTimeCountsFromTheDelayedRunTime) {
  ThreadData::InitializeThreadContext("Queue");
  const TimeTicks now = TimeTicks::Now();
  PendingTask immediate(At("Immediate", 30), Bind(&DoNothing));
  immediate.time_posted = TrackedTime(now - TimeDelta::FromSeconds(10));
  PendingTask delayed(At("Delayed", 31), Bind(&DoNothing),
                      now - TimeDelta::FromSeconds(4), true);
  delayed.time_posted = TrackedTime(now - TimeDelta::FromSeconds(10));

  for (PendingTask* task : {&immediate, &delayed}) {
    TaskStopwatch stopwatch;
    stopwatch.Start();
    stopwatch.Stop();
    ThreadData::TallyRunOnNamedThreadIfTracking(*task, stopwatch);
  }
  const int32_t immediate_queue =
      FindDeath(ThreadData::Get(), immediate.birth_tally)->queue_duration_sum();
  const int32_t delayed_queue =
      FindDeath(ThreadData::Get(), delayed.birth_tally)->queue_duration_sum();
  EXPECT_GE(immediate_queue, 10000);
  EXPECT_LT(immediate_queue, 11000);
  EXPECT_GE(delayed_queue, 4000);
  EXPECT_LT(delayed_queue, 5000);
}

TEST(TaskProfilerTest, NestedRunsAreTakenOut) {
  ThreadData::InitializeThreadContext("Nested");
  Births* births = ThreadData::TallyABirthIfActive(At("Outer", 40));
  TaskStopwatch outer;
  outer.Start();
  {
    TaskStopwatch inner;
    inner.Start();
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(60));
    inner.Stop();
    EXPECT_GE(inner.RunDurationMs(), 50);
  }
  outer.Stop();
  EXPECT_GE(outer.ExcludedDurationMs(), 50);
  EXPECT_GE(outer.RunDurationMs(), outer.ExcludedDurationMs());
  ThreadData::TallyRunOnWorkerThreadIfTracking(births, ThreadData::Now(),
                                               outer);
  const DeathData* death = FindDeath(ThreadData::Get(), births);
  EXPECT_EQ(outer.RunDurationMs() - outer.ExcludedDurationMs(),
            death->run_duration_sum());
  EXPECT_LT(death->run_duration_sum(), 50);
}

TEST(TaskProfilerTest, RunsWithoutABirthAreNotTallied) {
  ThreadData::InitializeThreadContext("NoBirth");
  TaskStopwatch stopwatch;
  stopwatch.Start();
  stopwatch.Stop();
  ThreadData::TallyRunOnWorkerThreadIfTracking(nullptr, ThreadData::Now(),
                                               stopwatch);
  ThreadData::BirthMap births;
  ThreadData::DeathMap deaths;
  ThreadData::Get()->SnapshotMaps(&births, &deaths);
  EXPECT_TRUE(deaths.empty());
}

TEST(TaskProfilerTest, TimingCanBeSwitchedOff) {
  CommandLine::Init();
  CommandLine::ForCurrentProcess()->AppendSwitchASCII("profiler-timing", "0");
  ThreadData::InitializeThreadContext("Untimed");
  EXPECT_FALSE(ThreadData::IsProfilerTimingEnabled());
  EXPECT_TRUE(ThreadData::Now().is_null());
  Births* births = ThreadData::TallyABirthIfActive(At("Untimed", 50));
  TaskStopwatch stopwatch;
  stopwatch.Start();
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(20));
  stopwatch.Stop();
  EXPECT_EQ(0, stopwatch.RunDurationMs());
  ThreadData::TallyRunOnWorkerThreadIfTracking(
      births, TrackedTime(TimeTicks::Now() - TimeDelta::FromSeconds(5)),
      stopwatch);
  const DeathData* death = FindDeath(ThreadData::Get(), births);
  EXPECT_EQ(1, death->count());
  EXPECT_EQ(0, death->queue_duration_sum());
  EXPECT_EQ(0, death->run_duration_sample());
}

TEST(DeathDataTest, SumsWrapAndMaximaRise) {
  DeathData death;
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  death.RecordDeath(kMax, 5, 0);
  death.RecordDeath(1, 7, 1);
  EXPECT_EQ(2, death.count());
  EXPECT_EQ(std::numeric_limits<int32_t>::min(), death.queue_duration_sum());
  EXPECT_EQ(12, death.run_duration_sum());
  EXPECT_EQ(kMax, death.queue_duration_max());
  EXPECT_EQ(7, death.run_duration_max());
  // The first run was picked (0 % 1), the second not (1 % 2).
  EXPECT_EQ(kMax, death.queue_duration_sample());
  EXPECT_EQ(5, death.run_duration_sample());
  death.RecordDeath(2, 9, 3);
  EXPECT_EQ(9, death.run_duration_sample());
}

}  // namespace
}  // namespace base

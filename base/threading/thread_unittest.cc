#include "base/threading/thread.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_pump_default.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

void Increment(std::atomic<int>* counter) {
  ++*counter;
}

void RecordThreadId(PlatformThreadId* id) {
  *id = PlatformThread::CurrentId();
}

void SignalEvent(WaitableEvent* event) {
  event->Signal();
}

void QuitLoopWhenIdle() {
  MessageLoop::current()->QuitWhenIdle();
}

void DoNothing() {}

// Records its own destruction, to tell tasks destroyed unrun from tasks run.
class Marker {
 public:
  explicit Marker(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
  ~Marker() { ++*destroyed_; }

 private:
  std::atomic<int>* destroyed_;
};

void UseMarker(std::atomic<int>* runs, Marker*) {
  ++*runs;
}

// How many handles this process holds, from the system's handle table
// (GetProcessHandleCount answers 0 under Wine); -1 when it cannot be read.
int CountProcessHandles() {
  using QuerySystemInformation =
      LONG(NTAPI*)(ULONG information_class, void* information, ULONG length,
                   ULONG* return_length);
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  struct HandleEntry {
    USHORT process_id;
    USHORT creator_back_trace_index;
    UCHAR object_type_index;
    UCHAR attributes;
    USHORT value;
    void* object;
    ULONG granted_access;
  };
  struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
  };
  auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"),
                                               "NtQuerySystemInformation")));
  if (!query)
    return -1;
  std::vector<char> buffer(1 << 20);
  LONG status;
  ULONG needed = 0;
  while ((status = query(kSystemHandleInformation, buffer.data(),
                         static_cast<ULONG>(buffer.size()), &needed)) ==
         kStatusInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0)
    return -1;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  const auto this_process = static_cast<USHORT>(::GetCurrentProcessId());
  int count = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    if (table->entries[i].process_id == this_process)
      ++count;
  }
  return count;
}

// Posts |task| from the test and waits until the thread has run it.
void RunOnThread(Thread* thread, const Closure& task) {
  WaitableEvent done(true, false);
  ASSERT_TRUE(
      thread->task_runner()->PostTask(LOCATION_FROM_HERE("RunOnThread"), task));
  ASSERT_TRUE(thread->task_runner()->PostTask(LOCATION_FROM_HERE("RunOnThread"),
                                              Bind(&SignalEvent, &done)));
  done.Wait();
}

TEST(ThreadTest, StoppingAThreadThatNeverRanDoesNothing) {
  Thread thread("never started");
  EXPECT_EQ(nullptr, thread.task_runner());
  thread.Stop();
  thread.StopSoon();
  thread.Stop();
  EXPECT_EQ(nullptr, thread.task_runner());
}

TEST(ThreadTest, RunsTasksOnItsOwnThreadAndDueTasksBeforeStopping) {
  Thread thread("ThreadTest worker");
  ASSERT_TRUE(thread.Start());
  ASSERT_NE(nullptr, thread.task_runner());

  PlatformThreadId id = 0;
  RunOnThread(&thread, Bind(&RecordThreadId, &id));
  EXPECT_NE(0u, id);
  EXPECT_NE(PlatformThread::CurrentId(), id);
  EXPECT_STREQ("ThreadTest worker",
               ThreadNameRegistry::GetInstance()->GetName(id));

  std::atomic<int> runs{0};
  for (int i = 0; i < 100; ++i) {
    thread.task_runner()->PostTask(LOCATION_FROM_HERE("ThreadTest"),
                                   Bind(&Increment, &runs));
  }
  thread.Stop();
  EXPECT_EQ(100, runs.load());
  EXPECT_EQ(nullptr, thread.task_runner());
  thread.Stop();  // Twice is harmless.
}

TEST(ThreadTest, TasksNotYetDueAreDestroyedUnrun) {
  std::atomic<int> runs{0};
  std::atomic<int> destroyed{0};
  {
    Thread thread("ThreadTest delayed");
    ASSERT_TRUE(thread.Start());
    thread.task_runner()->PostDelayedTask(
        LOCATION_FROM_HERE("ThreadTest"),
        Bind(&UseMarker, &runs, Owned(new Marker(&destroyed))),
        TimeDelta::FromSeconds(3600));
    thread.task_runner()->PostTask(
        LOCATION_FROM_HERE("ThreadTest"),
        Bind(&UseMarker, &runs, Owned(new Marker(&destroyed))));
    thread.Stop();
    EXPECT_EQ(1, runs.load());
    EXPECT_EQ(2, destroyed.load());
  }

  // The destructor stops a running thread the same way.
  runs = 0;
  destroyed = 0;
  {
    Thread thread("ThreadTest destroyed");
    ASSERT_TRUE(thread.Start());
    thread.task_runner()->PostDelayedTask(
        LOCATION_FROM_HERE("ThreadTest"),
        Bind(&UseMarker, &runs, Owned(new Marker(&destroyed))),
        TimeDelta::FromSeconds(3600));
  }
  EXPECT_EQ(0, runs.load());
  EXPECT_EQ(1, destroyed.load());
}

// Sees the thread's loop from inside the thread.
class InspectingThread : public Thread {
 public:
  explicit InspectingThread(const std::string& name) : Thread(name) {}
  ~InspectingThread() override { Stop(); }

  MessageLoop::Type type_seen() const { return type_seen_; }
  const std::string& loop_name_seen() const { return loop_name_seen_; }
  const std::string& registry_name_seen() const { return registry_name_seen_; }
  int init_calls() const { return init_calls_; }
  int clean_up_calls() const { return clean_up_calls_; }
  bool loop_gone_after_clean_up() const { return loop_gone_after_clean_up_; }

 protected:
  void Init() override {
    ++init_calls_;
    MessageLoop* loop = MessageLoop::current();
    type_seen_ = loop->type();
    loop_name_seen_ = loop->thread_name();
    registry_name_seen_ =
        ThreadNameRegistry::GetInstance()->GetName(PlatformThread::CurrentId());
  }
  void CleanUp() override {
    ++clean_up_calls_;
    // The loop still exists while CleanUp runs.
    loop_gone_after_clean_up_ = MessageLoop::current() == nullptr;
  }

 private:
  MessageLoop::Type type_seen_ = MessageLoop::TYPE_DEFAULT;
  std::string loop_name_seen_;
  std::string registry_name_seen_;
  int init_calls_ = 0;
  int clean_up_calls_ = 0;
  bool loop_gone_after_clean_up_ = true;
};

int g_pumps_made = 0;

std::unique_ptr<MessagePump> MakeDefaultPump() {
  ++g_pumps_made;
  return std::make_unique<MessagePumpDefault>();
}

TEST(ThreadTest, OptionsChooseTheLoopAndThreadIsNamed) {
  InspectingThread io_thread("ThreadTest io");
  Thread::Options io_options;
  io_options.message_loop_type = MessageLoop::TYPE_IO;
  ASSERT_TRUE(io_thread.StartWithOptions(io_options));
  io_thread.Stop();
  EXPECT_EQ(MessageLoop::TYPE_IO, io_thread.type_seen());
  EXPECT_EQ("ThreadTest io", io_thread.loop_name_seen());
  EXPECT_EQ("ThreadTest io", io_thread.registry_name_seen());
  EXPECT_EQ(1, io_thread.init_calls());
  EXPECT_EQ(1, io_thread.clean_up_calls());
  EXPECT_FALSE(io_thread.loop_gone_after_clean_up());

  // A pump factory wins over the type asked for.
  g_pumps_made = 0;
  InspectingThread custom_thread("ThreadTest custom");
  Thread::Options custom_options;
  custom_options.message_loop_type = MessageLoop::TYPE_IO;
  custom_options.message_pump_factory = Bind(&MakeDefaultPump);
  ASSERT_TRUE(custom_thread.StartWithOptions(custom_options));
  custom_thread.Stop();
  EXPECT_EQ(MessageLoop::TYPE_CUSTOM, custom_thread.type_seen());
  EXPECT_EQ(1, g_pumps_made);
}

TEST(ThreadTest, FailedStartLeavesTheThreadStartable) {
  Thread thread("ThreadTest unstartable");
  Thread::Options impossible;
  // No address space can reserve a stack this large.
  impossible.stack_size = static_cast<size_t>(1) << 62;
  EXPECT_FALSE(thread.StartWithOptions(impossible));
  EXPECT_EQ(nullptr, thread.task_runner());
  thread.Stop();

  ASSERT_TRUE(thread.Start());
  std::atomic<int> runs{0};
  RunOnThread(&thread, Bind(&Increment, &runs));
  EXPECT_EQ(1, runs.load());
}

TEST(ThreadTest, RestartsRepeatedlyWithoutLeakingHandles) {
  Thread thread("ThreadTest restarted");
  std::atomic<int> runs{0};
  // One round first, so that process-wide objects made on first use are not
  // counted.
  ASSERT_TRUE(thread.Start());
  RunOnThread(&thread, Bind(&Increment, &runs));
  thread.Stop();

  const int handles_before = CountProcessHandles();
  ASSERT_GT(handles_before, 0);
  for (int round = 0; round < 50; ++round) {
    ASSERT_TRUE(thread.Start());
    thread.task_runner()->PostTask(LOCATION_FROM_HERE("ThreadTest"),
                                   Bind(&Increment, &runs));
    if (round % 2)
      thread.StopSoon();
    thread.Stop();
  }
  const int handles_after = CountProcessHandles();
  EXPECT_EQ(51, runs.load());
  EXPECT_EQ(handles_before, handles_after);
}

TEST(ThreadTest, ALoopThatQuitsOnItsOwnLeavesStopSafe) {
  for (int round = 0; round < 10; ++round) {
    Thread thread("ThreadTest self-quitting");
    ASSERT_TRUE(thread.Start());
    scoped_refptr<SingleThreadTaskRunner> runner = thread.task_runner();
    ASSERT_TRUE(runner->PostTask(LOCATION_FROM_HERE("ThreadTest"),
                                 Bind(&QuitLoopWhenIdle)));
    // Once the thread has deleted its loop, posts fail.
    while (runner->PostTask(LOCATION_FROM_HERE("ThreadTest"), Bind(&DoNothing)))
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
    EXPECT_NE(nullptr, thread.task_runner());
    thread.StopSoon();
    thread.Stop();
    EXPECT_EQ(nullptr, thread.task_runner());
  }
}

void PostIncrement(scoped_refptr<SingleThreadTaskRunner> target,
                   std::atomic<int>* counter) {
  target->PostTask(LOCATION_FROM_HERE("base::PostIncrement"),
                   Bind(&Increment, counter));
}

// Threads post to one another, each task hopping on to the next thread.
TEST(ThreadTest, ManyThreadsPostToEachOther) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 20;
  std::vector<std::unique_ptr<Thread>> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.push_back(
        std::make_unique<Thread>("ThreadTest peer " + std::to_string(i)));
    ASSERT_TRUE(threads.back()->Start());
  }
  std::atomic<int> runs{0};
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kThreads; ++i) {
      threads[i]->task_runner()->PostTask(
          LOCATION_FROM_HERE("ThreadTest"),
          Bind(&PostIncrement, threads[(i + 1) % kThreads]->task_runner(),
               &runs));
    }
  }
  // The first flush sees every hop posted, the second every hop run.
  for (int flush = 0; flush < 2; ++flush) {
    for (auto& thread : threads)
      RunOnThread(thread.get(), Bind(&DoNothing));
  }
  EXPECT_EQ(kRounds * kThreads, runs.load());
  for (auto& thread : threads)
    thread->Stop();
}

}  // namespace
}  // namespace base

#include "base/threading/simple_thread.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

const char* RegisteredName(PlatformThreadId id) {
  return ThreadNameRegistry::GetInstance()->GetName(id);
}

// Runs until released, or for ten seconds at most.
class WaitingThread : public SimpleThread {
 public:
  explicit WaitingThread(const Options& options = Options())
      : SimpleThread("SimpleThreadTest", options), release(true, false) {}
  void Run() override {
    run_id = PlatformThread::CurrentId();
    finished = release.TimedWait(TimeDelta::FromSeconds(10));
  }
  WaitableEvent release;
  std::atomic<PlatformThreadId> run_id{0};
  std::atomic<bool> finished{false};
};

// A few threads side by side: each is named by the prefix until it runs,
// then by the prefix and its own id, and Join waits for its Run.
TEST(SimpleThreadTest, NamedByPrefixAndThreadIdWhileRunning) {
  std::vector<std::unique_ptr<WaitingThread>> threads;
  for (int i = 0; i < 3; ++i) {
    threads.push_back(std::make_unique<WaitingThread>());
    EXPECT_EQ("SimpleThreadTest", threads.back()->name());
    ASSERT_TRUE(threads.back()->Start());
  }
  for (auto& thread : threads) {
    const std::string name =
        "SimpleThreadTest/" + std::to_string(thread->tid());
    EXPECT_EQ(name, thread->name());
    EXPECT_STREQ(name.c_str(), RegisteredName(thread->tid()));
    EXPECT_FALSE(thread->finished);
    thread->release.Signal();
    thread->Join();
    EXPECT_TRUE(thread->finished);
    EXPECT_EQ(thread->tid(), thread->run_id);
    EXPECT_STREQ("", RegisteredName(thread->tid()));
  }
}

TEST(SimpleThreadTest, AThreadThatNeverRanJoinsAtOnce) {
  WaitingThread never_started;
  never_started.Join();
  SimpleThread::Options impossible;
  // No address space can reserve a stack this large.
  impossible.stack_size = static_cast<size_t>(1) << 62;
  WaitingThread unstartable(impossible);
  EXPECT_FALSE(unstartable.Start());
  unstartable.Join();
  EXPECT_EQ(0u, unstartable.tid());
}

}  // namespace
}  // namespace base

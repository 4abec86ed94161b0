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

// Runs until released, recording what it saw of itself.
class RecordingThread : public SimpleThread {
 public:
  explicit RecordingThread(const std::string& prefix)
      : SimpleThread(prefix), release_(true, false) {}

  void Run() override {
    run_id_ = PlatformThread::CurrentId();
    registered_name_ = ThreadNameRegistry::GetInstance()->GetName(run_id_);
    release_.Wait();
    finished_ = true;
  }

  void Release() { release_.Signal(); }
  PlatformThreadId run_id() const { return run_id_; }
  const std::string& registered_name() const { return registered_name_; }
  bool finished() const { return finished_; }

 private:
  WaitableEvent release_;
  PlatformThreadId run_id_ = 0;
  std::string registered_name_;
  std::atomic<bool> finished_{false};
};

TEST(SimpleThreadTest, NamedByPrefixAndThreadIdOnceRunning) {
  RecordingThread thread("SimpleThreadTest");
  EXPECT_EQ("SimpleThreadTest", thread.name());
  EXPECT_EQ(0u, thread.tid());

  ASSERT_TRUE(thread.Start());
  const std::string expected =
      "SimpleThreadTest/" + std::to_string(thread.tid());
  EXPECT_NE(0u, thread.tid());
  EXPECT_EQ(expected, thread.name());
  EXPECT_EQ("SimpleThreadTest", thread.name_prefix());
  EXPECT_STREQ(expected.c_str(),
               ThreadNameRegistry::GetInstance()->GetName(thread.tid()));

  EXPECT_FALSE(thread.finished());
  thread.Release();
  thread.Join();
  EXPECT_TRUE(thread.finished());
  EXPECT_EQ(thread.tid(), thread.run_id());
  EXPECT_EQ(expected, thread.registered_name());
}

TEST(SimpleThreadTest, JoinWithoutStartDoesNothing) {
  RecordingThread thread("never started");
  thread.Join();
  EXPECT_FALSE(thread.finished());
}

TEST(SimpleThreadTest, ManyThreadsStartAndJoin) {
  for (int round = 0; round < 5; ++round) {
    std::vector<std::unique_ptr<RecordingThread>> threads;
    for (int i = 0; i < 16; ++i) {
      threads.push_back(std::make_unique<RecordingThread>("Pool"));
      ASSERT_TRUE(threads.back()->Start());
    }
    for (auto& thread : threads)
      thread->Release();
    for (auto& thread : threads) {
      thread->Join();
      EXPECT_TRUE(thread->finished());
      // The name left the registry with the thread.
      EXPECT_STREQ(
          "", ThreadNameRegistry::GetInstance()->GetName(thread->run_id()));
    }
  }
}

}  // namespace
}  // namespace base

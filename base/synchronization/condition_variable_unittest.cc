#include "base/synchronization/condition_variable.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "base/synchronization/lock.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Kind = ConditionVariable::Kind;

class ConditionVariableTest : public testing::TestWithParam<Kind> {
 protected:
  // Polls |done| under the lock, for handshakes whose other side cannot
  // signal back without disturbing what is tested.
  void WaitUntil(std::function<bool()> done) {
    for (int polls = 0;; ++polls) {
      {
        AutoLock hold(lock_);
        if (done())
          return;
      }
      CHECK_LT(polls, 20000) << "timed out";
      ::Sleep(1);
    }
  }

  void StartWaiters(ConditionVariable* condition) {
    for (int i = 1; i <= 3; ++i) {
      waiters_.emplace_back([this, condition, i] {
        AutoLock hold(lock_);
        entered_ = i;
        condition->Wait();
        woken_.push_back(i);
      });
      // The lock is free again only once the waiter is in the waiting list.
      WaitUntil([&] { return entered_ == i; });
    }
  }

  void JoinWaiters() {
    for (std::thread& waiter : waiters_)
      waiter.join();
    waiters_.clear();
  }

  Lock lock_;
  ConditionVariable condition_{&lock_, GetParam()};
  int entered_ = 0;
  std::vector<int> woken_;
  std::vector<std::thread> waiters_;
};

TEST_P(ConditionVariableTest, SignalWakesOneWaiterBroadcastTheRest) {
  // A signal without a waiter is lost: it cannot cut the wait short.
  condition_.Signal();
  lock_.Acquire();
  const TimeTicks start = TimeTicks::Now();
  condition_.TimedWait(TimeDelta::FromMicroseconds(1500));
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMicroseconds(1500));
  lock_.Release();
  for (int round = 0; round < 3; ++round) {
    StartWaiters(&condition_);
    condition_.Signal();
    WaitUntil([&] { return woken_.size() == 1; });
    // A woken waiter has left the list: the next signal wakes another one.
    condition_.Signal();
    WaitUntil([&] { return woken_.size() == 2; });
    condition_.Broadcast();
    WaitUntil([&] { return woken_.size() == 3; });
    JoinWaiters();
    EXPECT_EQ(3u, woken_.size());
    EXPECT_TRUE(GetParam() != Kind::kEventBased ||
                woken_ == (std::vector<int>{3, 2, 1}))
        << "the event-based one wakes the newest waiter first";
    woken_.clear();
  }
  if (GetParam() != Kind::kEventBased)
    return;
  // Destroying it while threads wait is outside the contract, yet it must
  // neither hang nor let a waiter touch freed memory: each waiter returns,
  // holding the lock again.
  auto condition = std::make_unique<ConditionVariable>(&lock_, GetParam());
  StartWaiters(condition.get());
  condition.reset();
  JoinWaiters();
  EXPECT_EQ(3u, woken_.size());
}

INSTANTIATE_TEST_SUITE_P(Native,
                         ConditionVariableTest,
                         testing::Values(Kind::kNative));
INSTANTIATE_TEST_SUITE_P(EventBased,
                         ConditionVariableTest,
                         testing::Values(Kind::kEventBased));

TEST(LockTest, HolderMayTakeItAgainAndUpdatesUnderItStayWhole) {
  Lock lock;
  // Not atomic on purpose: only the lock keeps the updates whole.
  volatile long long total = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      for (int round = 0; round < 20000; ++round) {
        AutoLock outer(lock);
        AutoLock inner(lock);
        total = total + 1;
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(8 * 20000, total);
}

}  // namespace
}  // namespace base

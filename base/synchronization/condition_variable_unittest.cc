#include "base/synchronization/condition_variable.h"

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <thread>
#include <vector>

#include "base/synchronization/lock.h"
#include "base/synchronization/native_condition_variable.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Polls |done| under |lock|, for handshakes whose other side cannot signal
// back without disturbing what is being tested.
template <typename Condition>
void WaitUntil(Lock* lock, Condition done) {
  for (;;) {
    {
      AutoLock hold(*lock);
      if (done())
        return;
    }
    Sleep(1);
  }
}

// Both implementations, whatever this system would choose.
class ConditionVariableTest
    : public testing::TestWithParam<ConditionVariable::Kind> {
 protected:
  ConditionVariableTest() : condition_(&lock_, GetParam()) {}

  Lock lock_;
  ConditionVariable condition_;
};

TEST_P(ConditionVariableTest, TimedWaitNeverEndsEarlyAndSignalsAreNotKept) {
  // Nobody waits: these signals are lost and cannot end the waits below.
  condition_.Signal();
  condition_.Broadcast();
  AutoLock hold(lock_);
  const int64_t kMicroseconds[] = {1, 1500, 10000, 25500};
  for (int64_t microseconds : kMicroseconds) {
    SCOPED_TRACE(microseconds);
    const TimeDelta max_time = TimeDelta::FromMicroseconds(microseconds);
    const TimeTicks start = TimeTicks::Now();
    condition_.TimedWait(max_time);
    EXPECT_GE(TimeTicks::Now() - start, max_time);
  }
  // A negative time returns, with the lock held again.
  condition_.TimedWait(TimeDelta::FromMilliseconds(-1));
}

TEST_P(ConditionVariableTest, TimedWaitBeyondTheCounterWaitsForTheSignal) {
  bool entered = false;
  bool ready = false;
  int wakeups = 0;
  std::thread waiter([&] {
    AutoLock hold(lock_);
    entered = true;
    // Kept to its low 32 bits this would be a 5 ms wait, and the loop
    // would go round several times before the signal.
    while (!ready) {
      condition_.TimedWait(TimeDelta::FromMilliseconds((int64_t{1} << 32) + 5));
      ++wakeups;
    }
  });
  WaitUntil(&lock_, [&] { return entered; });
  Sleep(50);
  {
    AutoLock hold(lock_);
    ready = true;
    condition_.Signal();
  }
  waiter.join();
  EXPECT_EQ(1, wakeups);
}

TEST_P(ConditionVariableTest, ProducersAndConsumersLoseNoWakeup) {
  const int kConsumers = 4;
  const int kItems = 2000;
  int queued = 0;
  int consumed = 0;
  bool closed = false;
  std::vector<std::thread> consumers;
  for (int i = 0; i < kConsumers; ++i) {
    consumers.emplace_back([&] {
      AutoLock hold(lock_);
      for (;;) {
        while (queued == 0 && !closed)
          condition_.Wait();
        if (queued == 0)
          return;
        --queued;
        ++consumed;
      }
    });
  }
  for (int i = 0; i < kItems; ++i) {
    AutoLock hold(lock_);
    ++queued;
    condition_.Signal();
  }
  {
    AutoLock hold(lock_);
    closed = true;
    condition_.Broadcast();
  }
  for (std::thread& consumer : consumers)
    consumer.join();
  EXPECT_EQ(kItems, consumed);
  EXPECT_EQ(0, queued);
}

INSTANTIATE_TEST_SUITE_P(Native,
                         ConditionVariableTest,
                         testing::Values(ConditionVariable::Kind::kNative));
INSTANTIATE_TEST_SUITE_P(EventBased,
                         ConditionVariableTest,
                         testing::Values(ConditionVariable::Kind::kEventBased));

// Three threads that wait in turn, each recording when it wakes.
class EventConditionVariableTest : public testing::Test {
 protected:
  static const int kWaiters = 3;

  void StartWaitersOneAfterAnother(ConditionVariable* condition) {
    for (int i = 1; i <= kWaiters; ++i) {
      waiters_.emplace_back([this, condition, i] {
        AutoLock hold(lock_);
        entered_ = i;
        condition->Wait();
        woken_.push_back(i);
      });
      // The lock is free again only once the waiter is in the waiting list.
      WaitUntil(&lock_, [&] { return entered_ == i; });
    }
  }

  void WaitUntilWoken(size_t count) {
    WaitUntil(&lock_, [&] { return woken_.size() >= count; });
  }

  void JoinWaiters() {
    for (std::thread& waiter : waiters_)
      waiter.join();
  }

  Lock lock_;
  int entered_ = 0;
  std::vector<int> woken_;
  std::vector<std::thread> waiters_;
};

TEST_F(EventConditionVariableTest, SignalWakesTheNewestWaiter) {
  ConditionVariable condition(&lock_, ConditionVariable::Kind::kEventBased);
  StartWaitersOneAfterAnother(&condition);
  condition.Signal();
  WaitUntilWoken(1);
  // A woken waiter has left the list: the next signal wakes another one.
  condition.Signal();
  WaitUntilWoken(2);
  {
    AutoLock hold(lock_);
    EXPECT_EQ((std::vector<int>{3, 2}), woken_);
  }
  condition.Broadcast();
  JoinWaiters();
  EXPECT_EQ((std::vector<int>{3, 2, 1}), woken_);
}

TEST_F(EventConditionVariableTest,
       BroadcastWakesEveryWaiterAndEventsAreReused) {
  ConditionVariable condition(&lock_, ConditionVariable::Kind::kEventBased);
  for (int round = 0; round < 3; ++round) {
    entered_ = 0;
    woken_.clear();
    waiters_.clear();
    StartWaitersOneAfterAnother(&condition);
    condition.Broadcast();
    JoinWaiters();
    EXPECT_EQ(static_cast<size_t>(kWaiters), woken_.size());
  }
}

TEST_F(EventConditionVariableTest, DestructionWakesWaitersAndWaitsForThem) {
  auto condition = std::make_unique<ConditionVariable>(
      &lock_, ConditionVariable::Kind::kEventBased);
  StartWaitersOneAfterAnother(condition.get());
  // Outside the contract, yet it must neither hang nor let a waiter touch
  // freed memory: every waiter returns, holding the lock again.
  condition.reset();
  JoinWaiters();
  EXPECT_EQ(static_cast<size_t>(kWaiters), woken_.size());
}

TEST(ConditionVariableChoiceTest, TheNativeFunctionsAreFoundWhereTheyExist) {
  // This system (and every one since Vista) exports all four.
  EXPECT_TRUE(internal::NativeConditionVariable::IsAvailable());
  Lock lock;
  ConditionVariable chosen(&lock);
  AutoLock hold(lock);
  chosen.TimedWait(TimeDelta::FromMilliseconds(1));
}

}  // namespace
}  // namespace base

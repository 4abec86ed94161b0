#include "base/synchronization/waitable_event.h"

#include <windows.h>

#include <stdint.h>

#include <thread>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(WaitableEventTest, ManualResetStaysSignalledUntilReset) {
  WaitableEvent event(true, false);
  EXPECT_FALSE(event.TimedWait(TimeDelta()));
  event.Signal();
  event.Wait();
  EXPECT_TRUE(event.TimedWait(TimeDelta()));
  EXPECT_TRUE(event.TimedWait(TimeDelta::FromMilliseconds(-5)));
  event.Reset();
  EXPECT_FALSE(event.TimedWait(TimeDelta()));

  WaitableEvent initially_signalled(true, true);
  EXPECT_TRUE(initially_signalled.TimedWait(TimeDelta()));
  EXPECT_TRUE(initially_signalled.TimedWait(TimeDelta()));
}

TEST(WaitableEventTest, AutoResetLetsOneWaitThroughPerSignal) {
  WaitableEvent event(false, true);
  EXPECT_TRUE(event.TimedWait(TimeDelta::FromMicroseconds(-1)));
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMicroseconds(-1)));
  event.Signal();
  event.Signal();
  event.Wait();
  EXPECT_FALSE(event.TimedWait(TimeDelta()));
  event.Signal();
  event.Reset();
  EXPECT_FALSE(event.TimedWait(TimeDelta()));
}

TEST(WaitableEventTest, TimedWaitNeverEndsEarly) {
  WaitableEvent event(false, false);
  // Fractions of a millisecond included: a wait cut down to whole
  // milliseconds would end before the time asked for.
  const int64_t kMicroseconds[] = {1, 500, 1000, 1500, 2999, 16000, 31500};
  for (int round = 0; round < 3; ++round) {
    for (int64_t microseconds : kMicroseconds) {
      SCOPED_TRACE(microseconds);
      const TimeDelta max_time = TimeDelta::FromMicroseconds(microseconds);
      const TimeTicks start = TimeTicks::Now();
      EXPECT_FALSE(event.TimedWait(max_time));
      EXPECT_GE(TimeTicks::Now() - start, max_time);
    }
  }
}

TEST(WaitableEventTest, TimedWaitsBeyondTheCounterStayLong) {
  // Kept to their low 32 bits, these would be waits of at most 5 ms; all
  // must still be waiting when the other thread signals. (That none turns
  // into INFINITE is seen in the millisecond conversion's own test.)
  const TimeDelta kLongWaits[] = {
      TimeDelta::FromMilliseconds(int64_t{1} << 32),
      TimeDelta::FromMilliseconds((int64_t{1} << 32) + 5),
      TimeDelta::FromMilliseconds(0xFFFFFFFF),
      TimeDelta::Max(),
  };
  for (const TimeDelta& max_time : kLongWaits) {
    SCOPED_TRACE(max_time.InMicroseconds());
    WaitableEvent event(false, false);
    std::thread signaller([&event] {
      Sleep(50);
      event.Signal();
    });
    EXPECT_TRUE(event.TimedWait(max_time));
    signaller.join();
  }
}

TEST(WaitableEventTest, WakesAWaiterOnAnotherThread) {
  WaitableEvent request(false, false);
  WaitableEvent reply(true, false);
  std::thread waiter([&] {
    request.Wait();
    reply.Signal();
  });
  EXPECT_FALSE(reply.TimedWait(TimeDelta::FromMilliseconds(20)));
  request.Signal();
  reply.Wait();
  waiter.join();
}

}  // namespace
}  // namespace base

#include "base/at_exit.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "gtest/gtest.h"

namespace base {

// Reaches the manager chain, to test the process without any manager and
// what a manager holds.
class AtExitManagerTest : public testing::Test {
 protected:
  void SetUp() override { order_.clear(); }

  static AtExitManager* ExchangeCurrentManager(AtExitManager* manager) {
    return AtExitManager::current_.exchange(manager);
  }
  static size_t PendingCallbacks(AtExitManager* manager) {
    AutoLock lock(manager->lock_);
    return manager->stack_.size();
  }

  static void RecordA(void*) { order_ += "A"; }
  static void RecordB(void*) { order_ += "B"; }
  static void RecordC(void*) { order_ += "C"; }
  static void RecordParam(void* text) {
    order_ += *static_cast<const std::string*>(text);
  }
  // Registers RecordC while the callbacks run.
  static void RegisterC(void*) {
    order_ += "R";
    AtExitManager::RegisterCallback(&RecordC, nullptr);
  }

  static std::string order_;
};

std::string AtExitManagerTest::order_;

TEST_F(AtExitManagerTest, RunsLastRegisteredFirst) {
  {
    AtExitManager manager;
    AtExitManager::RegisterCallback(&RecordA, nullptr);
    AtExitManager::RegisterCallback(&RecordB, nullptr);
    AtExitManager::RegisterCallback(&RecordC, nullptr);
    EXPECT_EQ("", order_);
  }
  EXPECT_EQ("CBA", order_);
}

TEST_F(AtExitManagerTest, PassesTheParameter) {
  const std::string first = "1";
  const std::string second = "2";
  {
    AtExitManager manager;
    AtExitManager::RegisterCallback(&RecordParam,
                                    const_cast<std::string*>(&first));
    AtExitManager::RegisterCallback(&RecordParam,
                                    const_cast<std::string*>(&second));
  }
  EXPECT_EQ("21", order_);
}

TEST_F(AtExitManagerTest, CallbacksRegisteredDuringAPassWaitForTheNext) {
  AtExitManager manager;
  AtExitManager::RegisterCallback(&RecordA, nullptr);
  AtExitManager::RegisterCallback(&RegisterC, nullptr);
  AtExitManager::RegisterCallback(&RecordB, nullptr);
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ("BRA", order_);
  EXPECT_EQ(1u, PendingCallbacks(&manager));
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ("BRAC", order_);
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ("BRAC", order_) << "each callback runs once";
}

TEST_F(AtExitManagerTest, DestructionDropsCallbacksOfItsLastPass) {
  {
    AtExitManager manager;
    AtExitManager::RegisterCallback(&RegisterC, nullptr);
  }
  EXPECT_EQ("R", order_);
}

TEST_F(AtExitManagerTest, NestedManagersShadowTheOuterOne) {
  AtExitManager* outer_manager = nullptr;
  {
    AtExitManager outer;
    outer_manager = &outer;
    AtExitManager::RegisterCallback(&RecordA, nullptr);
    {
      AtExitManager inner;
      AtExitManager::RegisterCallback(&RecordB, nullptr);
      EXPECT_EQ(1u, PendingCallbacks(&outer));
    }
    EXPECT_EQ("B", order_);
    AtExitManager::RegisterCallback(&RecordC, nullptr);
    EXPECT_EQ(2u, PendingCallbacks(outer_manager));
  }
  EXPECT_EQ("BCA", order_);
}

TEST_F(AtExitManagerTest, WithoutAManagerNothingIsRegistered) {
  AtExitManager* hidden = ExchangeCurrentManager(nullptr);
  const size_t hidden_pending = hidden ? PendingCallbacks(hidden) : 0;
  AtExitManager::RegisterCallback(&RecordA, nullptr);
  AtExitManager::ProcessCallbacksNow();
  {
    AtExitManager manager;
    EXPECT_EQ(0u, PendingCallbacks(&manager));
  }
  EXPECT_EQ(nullptr, ExchangeCurrentManager(hidden));
  if (hidden) {
    EXPECT_EQ(hidden_pending, PendingCallbacks(hidden));
  }
  EXPECT_EQ("", order_);
}

TEST_F(AtExitManagerTest, RegistrationFromManyThreads) {
  static std::atomic<int> runs{0};
  runs = 0;
  {
    AtExitManager manager;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([] {
        for (int round = 0; round < 500; ++round) {
          AtExitManager::RegisterCallback([](void*) { runs.fetch_add(1); },
                                          nullptr);
        }
      });
    }
    for (std::thread& thread : threads)
      thread.join();
    EXPECT_EQ(8u * 500u, PendingCallbacks(&manager));
  }
  EXPECT_EQ(8 * 500, runs.load());
}

#if DCHECK_IS_ON()
TEST_F(AtExitManagerTest, EndingOutOfOrderIsAProgrammingError) {
  EXPECT_DEATH(
      {
        AtExitManager* outer = new AtExitManager;
        new AtExitManager;
        delete outer;
      },
      "reverse order");
}
#endif

}  // namespace base

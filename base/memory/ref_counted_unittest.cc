#include "base/memory/ref_counted.h"

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

class Shared : public RefCountedThreadSafe<Shared> {
 public:
  explicit Shared(int* destructions) : destructions_(destructions) {}

 protected:
  friend class RefCountedThreadSafe<Shared>;
  virtual ~Shared() { ++*destructions_; }

 private:
  int* destructions_;
};

class DerivedShared : public Shared {
 public:
  using Shared::Shared;
};

// Like a task runner: the last release hands the object to a virtual
// operation instead of deleting it directly.
class Runner;
struct RunnerTraits {
  static void Destruct(const Runner* runner);
};

class Runner : public RefCountedThreadSafe<Runner, RunnerTraits> {
 public:
  Runner(int* on_destruct_calls, int* destructions)
      : on_destruct_calls_(on_destruct_calls), destructions_(destructions) {}
  virtual ~Runner() { ++*destructions_; }

  virtual void OnDestruct() const {
    ++*on_destruct_calls_;
    delete this;
  }

 private:
  int* on_destruct_calls_;
  int* destructions_;
};

void RunnerTraits::Destruct(const Runner* runner) {
  runner->OnDestruct();
}

class PlainCounted : public RefCounted<PlainCounted> {
 public:
  explicit PlainCounted(int* destructions) : destructions_(destructions) {}

 private:
  friend class RefCounted<PlainCounted>;
  ~PlainCounted() { ++*destructions_; }

  int* destructions_;
};

TEST(RefCountedTest, LastReleaseDestroys) {
  int destructions = 0;
  Shared* shared = new Shared(&destructions);
  EXPECT_FALSE(shared->HasOneRef()) << "the count starts at 0";
  shared->AddRef();
  EXPECT_TRUE(shared->HasOneRef());
  shared->AddRef();
  EXPECT_FALSE(shared->HasOneRef());
  shared->Release();
  EXPECT_TRUE(shared->HasOneRef());
  EXPECT_EQ(0, destructions);
  shared->Release();
  EXPECT_EQ(1, destructions);

  PlainCounted* plain = new PlainCounted(&destructions);
  plain->AddRef();
  plain->AddRef();
  plain->Release();
  EXPECT_TRUE(plain->HasOneRef());
  plain->Release();
  EXPECT_EQ(2, destructions);
}

TEST(RefCountedTest, TraitsDecideHowTheLastReleaseDestroys) {
  int on_destruct_calls = 0;
  int destructions = 0;
  {
    scoped_refptr<Runner> runner(new Runner(&on_destruct_calls, &destructions));
    scoped_refptr<Runner> copy = runner;
  }
  EXPECT_EQ(1, on_destruct_calls);
  EXPECT_EQ(1, destructions);
}

TEST(ScopedRefptrTest, HoldsOneReferenceEach) {
  int destructions = 0;
  scoped_refptr<Shared> first(new Shared(&destructions));
  EXPECT_TRUE(first->HasOneRef());
  scoped_refptr<Shared> second = first;
  EXPECT_FALSE(first->HasOneRef());
  EXPECT_TRUE(first == second);

  // Self-assignment, directly and through the raw pointer.
  scoped_refptr<Shared>& alias = first;
  first = alias;
  first = first.get();
  EXPECT_EQ(0, destructions);

  scoped_refptr<Shared> moved = std::move(second);
  EXPECT_EQ(nullptr, second);  // NOLINT: moved-from state is defined.
  EXPECT_FALSE(first->HasOneRef());
  first = nullptr;
  EXPECT_TRUE(moved->HasOneRef());
  moved = std::move(moved);
  EXPECT_EQ(0, destructions);
  moved = new Shared(&destructions);
  EXPECT_EQ(1, destructions);
  moved = nullptr;
  EXPECT_EQ(2, destructions);
}

TEST(ScopedRefptrTest, ConvertsFromDerived) {
  int destructions = 0;
  scoped_refptr<DerivedShared> derived(new DerivedShared(&destructions));
  scoped_refptr<Shared> copied = derived;
  EXPECT_FALSE(derived->HasOneRef());
  scoped_refptr<Shared> moved = std::move(derived);
  EXPECT_EQ(nullptr, derived);  // NOLINT
  EXPECT_EQ(copied, moved);
  copied = nullptr;
  moved = nullptr;
  EXPECT_EQ(1, destructions);
}

TEST(RefCountedTest, CountsStayExactUnderContention) {
  int destructions = 0;
  scoped_refptr<Shared> shared(new Shared(&destructions));
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      while (!go.load())
        std::this_thread::yield();
      for (int round = 0; round < 50000; ++round) {
        scoped_refptr<Shared> copy = shared;
        copy = nullptr;
      }
    });
  }
  go.store(true);
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(0, destructions);
  EXPECT_TRUE(shared->HasOneRef());
  shared = nullptr;
  EXPECT_EQ(1, destructions);
}

}  // namespace
}  // namespace base

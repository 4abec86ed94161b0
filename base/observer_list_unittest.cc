#include "base/observer_list.h"

#include <functional>
#include <memory>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

class Watcher {
 public:
  virtual ~Watcher() = default;
  virtual void OnEvent(int value) = 0;
};

// Records each event under its name, and may change the list while told.
class RecordingWatcher : public Watcher {
 public:
  RecordingWatcher(int name, std::vector<int>* log) : name_(name), log_(log) {}
  void OnEvent(int value) override {
    log_->push_back(name_ * 100 + value);
    if (on_event_)
      on_event_();
  }
  std::function<void()> on_event_;

 private:
  const int name_;
  std::vector<int>* const log_;
};

TEST(ObserverListTest, AddRemoveAndDuplicates) {
  std::vector<int> log;
  RecordingWatcher a(1, &log), b(2, &log);
  ObserverList<Watcher> list;
  EXPECT_FALSE(list.might_have_observers());
  list.Notify(&Watcher::OnEvent, 1);  // Empty: nothing to do.

  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&a);  // Already present: not told twice.
  list.Notify(&Watcher::OnEvent, 1);
  EXPECT_EQ((std::vector<int>{101, 201}), log);

  list.RemoveObserver(&a);
  list.RemoveObserver(&a);  // Not present any more: nothing happens.
  log.clear();
  list.Notify(&Watcher::OnEvent, 2);
  EXPECT_EQ((std::vector<int>{202}), log);
}

TEST(ObserverListTest, ChangesDuringNotification) {
  std::vector<int> log;
  RecordingWatcher a(1, &log), b(2, &log), c(3, &log), added(4, &log);

  // NOTIFY_ALL: removed observers are skipped, added ones are told in the
  // same walk, and the order of the others is kept.
  {
    ObserverList<Watcher> list;
    list.AddObserver(&a);
    list.AddObserver(&b);
    list.AddObserver(&c);
    a.on_event_ = [&] {
      list.RemoveObserver(&b);
      list.AddObserver(&added);
      a.on_event_ = nullptr;
    };
    list.Notify(&Watcher::OnEvent, 1);
    EXPECT_EQ((std::vector<int>{101, 301, 401}), log);

    // The removed entry was compacted away after the walk.
    log.clear();
    list.Notify(&Watcher::OnEvent, 2);
    EXPECT_EQ((std::vector<int>{102, 302, 402}), log);
  }

  // NOTIFY_EXISTING_ONLY: an observer added during the walk waits for the
  // next notification.
  log.clear();
  {
    ObserverList<Watcher> list(ObserverList<Watcher>::NOTIFY_EXISTING_ONLY);
    list.AddObserver(&a);
    a.on_event_ = [&] {
      list.AddObserver(&added);
      a.on_event_ = nullptr;
    };
    list.Notify(&Watcher::OnEvent, 1);
    EXPECT_EQ((std::vector<int>{101}), log);
    list.Notify(&Watcher::OnEvent, 2);
    EXPECT_EQ((std::vector<int>{101, 102, 402}), log);
  }

  // An observer removing itself during a nested notification: the entry
  // stays until the outermost walk ends, and nobody is told twice.
  log.clear();
  {
    ObserverList<Watcher> list;
    list.AddObserver(&a);
    list.AddObserver(&b);
    a.on_event_ = [&] {
      a.on_event_ = nullptr;
      list.Notify(&Watcher::OnEvent, 9);
      list.RemoveObserver(&a);
    };
    list.Notify(&Watcher::OnEvent, 1);
    EXPECT_EQ((std::vector<int>{101, 109, 209, 201}), log);
    log.clear();
    list.Notify(&Watcher::OnEvent, 2);
    EXPECT_EQ((std::vector<int>{202}), log);
  }
  a.on_event_ = nullptr;
}

TEST(ObserverListTest, ListDestroyedDuringNotification) {
  std::vector<int> log;
  RecordingWatcher a(1, &log), b(2, &log);
  auto list = std::make_unique<ObserverList<Watcher>>();
  list->AddObserver(&a);
  list->AddObserver(&b);
  a.on_event_ = [&] { list.reset(); };
  list->Notify(&Watcher::OnEvent, 1);
  // The walk stopped: b was not told, and nothing touched the freed list.
  EXPECT_EQ((std::vector<int>{101}), log);
  EXPECT_EQ(nullptr, list);
}

}  // namespace
}  // namespace base

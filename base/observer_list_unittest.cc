#include "base/observer_list.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// Logs name * 100 + value, then does what |on_event| says, once.
class Watcher {
 public:
  Watcher(int name, std::vector<int>* log) : name_(name), log_(log) {}
  void OnEvent(int value) {
    log_->push_back(name_ * 100 + value);
    if (on_event)
      std::exchange(on_event, nullptr)();
  }
  std::function<void()> on_event;

 private:
  const int name_;
  std::vector<int>* const log_;
};

TEST(ObserverListTest, ChangesDuringNotification) {
  std::vector<int> log;
  Watcher a(1, &log), b(2, &log), c(3, &log), d(4, &log);
  ObserverList<Watcher> list;
  for (Watcher* watcher : {&a, &b, &c, &a})
    list.AddObserver(watcher);
  // Removed observers are skipped, added ones told in the same walk; an
  // observer present already is not added, an absent one not removed.
  a.on_event = [&] {
    list.RemoveObserver(&b);
    list.RemoveObserver(&d);
    list.AddObserver(&d);
    list.AddObserver(&c);
  };
  list.Notify(&Watcher::OnEvent, 1);
  // An observer that removes itself in a nested notification stays until
  // the outer walk ends; nobody is told twice.
  a.on_event = [&] {
    list.Notify(&Watcher::OnEvent, 9);
    list.RemoveObserver(&a);
  };
  list.Notify(&Watcher::OnEvent, 2);
  list.Notify(&Watcher::OnEvent, 3);
  EXPECT_EQ(
      (std::vector<int>{101, 301, 401, 102, 109, 309, 409, 302, 402, 303, 403}),
      log);
  // Every walk has ended: removed observers leave no entry behind.
  list.RemoveObserver(&c);
  list.RemoveObserver(&d);
  EXPECT_FALSE(list.might_have_observers());
}

TEST(ObserverListTest, ListDestroyedDuringNotification) {
  std::vector<int> log;
  Watcher a(1, &log), b(2, &log);
  auto list = std::make_unique<ObserverList<Watcher>>();
  list->AddObserver(&a);
  list->AddObserver(&b);
  a.on_event = [&] { list.reset(); };
  list->Notify(&Watcher::OnEvent, 1);
  EXPECT_EQ(std::vector<int>{101}, log);
}

}  // namespace
}  // namespace base

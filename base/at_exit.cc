#include "base/at_exit.h"

#include <utility>

#include "base/bind.h"
#include "base/logging.h"

namespace base {

std::atomic<AtExitManager*> AtExitManager::current_{nullptr};

AtExitManager::AtExitManager()
    : previous_manager_(current_.load(std::memory_order_acquire)) {
  current_.store(this, std::memory_order_release);
}

AtExitManager::~AtExitManager() {
  AtExitManager* current = current_.load(std::memory_order_acquire);
  if (current) {
    DCHECK_EQ(this, current) << "at-exit managers must end in reverse order";
    ProcessCallbacksNow();
    current_.store(previous_manager_, std::memory_order_release);
  }
  // Whatever was registered during the last pass is dropped unrun with the
  // stack.
}

// static
void AtExitManager::RegisterCallback(AtExitCallbackType func, void* param) {
  DCHECK(func);
  Closure task = Bind(func, param);
  AtExitManager* manager = current_.load(std::memory_order_acquire);
  if (!manager)
    return;
  AutoLock lock(manager->lock_);
  manager->stack_.push(std::move(task));
}

// static
void AtExitManager::ProcessCallbacksNow() {
  AtExitManager* manager = current_.load(std::memory_order_acquire);
  if (!manager)
    return;
  std::stack<Closure> tasks;
  {
    AutoLock lock(manager->lock_);
    tasks.swap(manager->stack_);
  }
  // Run without the lock, so that a callback may register more work.
  while (!tasks.empty()) {
    tasks.top().Run();
    tasks.pop();
  }
}

}  // namespace base

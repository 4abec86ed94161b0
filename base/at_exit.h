#ifndef BASE_AT_EXIT_H_
#define BASE_AT_EXIT_H_

#include <atomic>
#include <stack>

#include "base/callback.h"
#include "base/synchronization/lock.h"

namespace base {

// Runs clean-up callbacks, last registered first, when it is destroyed. The
// program's entry point holds one for its whole run:
//   int main() {
//     base::AtExitManager exit_manager;
//     ...
//   }
// Managers nest: a new one shadows the current one until it is destroyed,
// and they must end in the reverse order of their creation.
class AtExitManager {
 public:
  using AtExitCallbackType = void (*)(void*);

  AtExitManager();
  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;
  // Runs the callbacks (when this is the current manager) and makes the
  // previous manager current again.
  ~AtExitManager();

  // Registers |func| to be called with |param| by the current manager.
  // Without a manager nothing is registered. Safe from any thread.
  static void RegisterCallback(AtExitCallbackType func, void* param);

  // Runs the current manager's callbacks now, the most recently registered
  // first. Callbacks registered meanwhile wait for the next pass.
  static void ProcessCallbacksNow();

 private:
  friend class AtExitManagerTest;

  // The innermost manager, null when none exists.
  static std::atomic<AtExitManager*> current_;

  Lock lock_;  // Guards |stack_|.
  std::stack<Closure> stack_;
  AtExitManager* const previous_manager_;
};

}  // namespace base

#endif  // BASE_AT_EXIT_H_

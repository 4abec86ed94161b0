#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_UI_CALLBACK_RUNNER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_UI_CALLBACK_RUNNER_H_

#include <stdint.h>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"

struct HWND__;

namespace vexlo {
namespace installer {

// Runs work that needs the installer window (such as a credentials prompt)
// on the UI thread, for code that runs elsewhere.
class UICallbackRunner {
 public:
  // Takes the installer window (null when there is none) and answers a code.
  using UICallback = base::Callback<int32_t(HWND__*)>;
  using Reply = base::Callback<void(int32_t)>;

  virtual ~UICallbackRunner() = default;

  // Runs |ui_callback| on the UI thread, then posts |reply| with its answer
  // to |reply_task_runner|.
  virtual void RunUICallbackAndPostReply(
      const UICallback& ui_callback,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&
          reply_task_runner,
      const Reply& reply) = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_UI_CALLBACK_RUNNER_H_

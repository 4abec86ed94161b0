#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TEST_NO_UI_CALLBACK_RUNNER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TEST_NO_UI_CALLBACK_RUNNER_H_

#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"

namespace vexlo {
namespace installer {

// For code under test that must never need the installer window: a call
// fails the test and gets no reply.
class NoUICallbackRunner : public UICallbackRunner {
 public:
  void RunUICallbackAndPostReply(
      const UICallback& ui_callback,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&
          reply_task_runner,
      const Reply& reply) override;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_TEST_NO_UI_CALLBACK_RUNNER_H_

#ifndef DESKTOP_LAUNCHER_INSTALLER_TEST_STATUS_WAITER_H_
#define DESKTOP_LAUNCHER_INSTALLER_TEST_STATUS_WAITER_H_

#include "base/run_loop.h"
#include "desktop/launcher/installer/settings.h"

namespace vexlo {
namespace installer {

// Runs the current loop, while it lives, until |settings| have taken over
// their folder's status; at once when they have it.
class StatusWaiter : public Settings::Observer {
 public:
  explicit StatusWaiter(Settings* settings) : settings_(settings) {
    settings_->AddObserver(this);
    if (settings_->fetching_status())
      run_loop_.Run();
    settings_->RemoveObserver(this);
  }
  StatusWaiter(const StatusWaiter&) = delete;
  StatusWaiter& operator=(const StatusWaiter&) = delete;

  void OnSettingChanged() override {}
  void OnLanguageChanged() override {}
  void OnPathChanged() override { run_loop_.Quit(); }

 private:
  Settings* const settings_;
  base::RunLoop run_loop_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_TEST_STATUS_WAITER_H_

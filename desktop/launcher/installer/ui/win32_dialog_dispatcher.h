#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_H_

#include <windows.h>

#include <stdint.h>

#include "base/memory/singleton.h"
#include "base/message_loop/message_pump_dispatcher.h"

namespace vexlo {
namespace installer {

// Modeless dialogs get keyboard navigation (Tab, Enter on the default
// button, mnemonics) only when the message loop offers each message to the
// dialog first. The installer's main run loop is built with this
// dispatcher, which offers every message to the one dialog that is active.
// Main thread only; only its creation is guarded.
class Win32DialogDispatcher : public base::MessagePumpDispatcher {
 public:
  static Win32DialogDispatcher* GetInstance();

  Win32DialogDispatcher(const Win32DialogDispatcher&) = delete;
  Win32DialogDispatcher& operator=(const Win32DialogDispatcher&) = delete;

  // A dialog calls these when it is activated and deactivated.
  void SetActiveDialog(HWND dialog);
  // Leaves another dialog that was activated in the meantime active.
  void ClearActiveDialog(HWND dialog);

  // kActionNone when the active dialog consumed |message|, else
  // kActionPerformDefault.
  uint32_t Dispatch(const MSG& message) override;

  HWND active_dialog() const { return active_dialog_; }

 private:
  friend struct base::DefaultSingletonTraits<Win32DialogDispatcher>;

  Win32DialogDispatcher();
  ~Win32DialogDispatcher() override;

  HWND active_dialog_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_H_

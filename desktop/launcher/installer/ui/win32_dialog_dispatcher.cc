#include "desktop/launcher/installer/ui/win32_dialog_dispatcher.h"

#include "base/logging.h"

namespace vexlo {
namespace installer {

// static
Win32DialogDispatcher* Win32DialogDispatcher::GetInstance() {
  return base::Singleton<Win32DialogDispatcher>::get();
}

Win32DialogDispatcher::Win32DialogDispatcher() : active_dialog_(nullptr) {}

Win32DialogDispatcher::~Win32DialogDispatcher() = default;

void Win32DialogDispatcher::SetActiveDialog(HWND dialog) {
  LOG(INFO) << "Switching to hwnd " << static_cast<const void*>(dialog);
  active_dialog_ = dialog;
}

void Win32DialogDispatcher::ClearActiveDialog(HWND dialog) {
  LOG(INFO) << "Switching away from hwnd " << static_cast<const void*>(dialog);
  if (active_dialog_ && active_dialog_ != dialog) {
    LOG(INFO) << "Another hwnd was already selected";
    return;
  }
  active_dialog_ = nullptr;
}

uint32_t Win32DialogDispatcher::Dispatch(const MSG& message) {
  if (!active_dialog_)
    return kActionPerformDefault;
  MSG copy = message;
  return ::IsDialogMessageW(active_dialog_, &copy) ? kActionNone
                                                   : kActionPerformDefault;
}

}  // namespace installer
}  // namespace vexlo

#include "desktop/launcher/installer/ui/win32_dialog_dispatcher.h"

#include "base/command_line.h"
#include "base/message_loop/message_pump_dispatcher.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/ui/test/window_test_util.h"
#include "desktop/launcher/installer/ui/window_resources.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

// A visible dialog from the host's options template, in a window of its
// own (the template is a child's).
HWND MakeDialog() {
  const base::StringPiece dialog_template = LoadResourceBytes(
      GetWindowResourceModule(), IDD_INSTALLER_OPTIONS, RT_DIALOG);
  HWND parent =
      ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 640,
                        400, nullptr, nullptr, nullptr, nullptr);
  if (dialog_template.empty() || !parent)
    return nullptr;
  HWND dialog = ::CreateDialogIndirectParamW(
      ::GetModuleHandleW(nullptr),
      reinterpret_cast<LPCDLGTEMPLATEW>(dialog_template.data()), parent,
      &PlainDialogProc, 0);
  ::ShowWindow(dialog, SW_SHOW);
  return dialog;
}

MSG KeyDown(HWND window, WPARAM key) {
  MSG message = {};
  message.hwnd = window;
  message.message = WM_KEYDOWN;
  message.wParam = key;
  message.lParam = 1;
  return message;
}

class Win32DialogDispatcherTest : public testing::Test {
 protected:
  void SetUp() override {
    base::CommandLine::Init();
    ASSERT_TRUE(window_test_lock_.held());
    ASSERT_TRUE(resources_.loaded());
    dispatcher_->ClearActiveDialog(dispatcher_->active_dialog());
  }
  void TearDown() override {
    dispatcher_->ClearActiveDialog(dispatcher_->active_dialog());
  }

  ScopedWindowTestLock window_test_lock_;
  ScopedInstallerResources resources_;
  Win32DialogDispatcher* const dispatcher_ =
      Win32DialogDispatcher::GetInstance();
};

TEST_F(Win32DialogDispatcherTest, KeepsTheLastActivatedDialog) {
  HWND first = reinterpret_cast<HWND>(0x1000);
  HWND second = reinterpret_cast<HWND>(0x2000);
  EXPECT_EQ(dispatcher_, Win32DialogDispatcher::GetInstance());

  ScopedLogCapture log;
  dispatcher_->SetActiveDialog(first);
  dispatcher_->SetActiveDialog(second);
  EXPECT_TRUE(log.Saw("Switching to hwnd "));
  // The first one's deactivation comes late: the second stays.
  dispatcher_->ClearActiveDialog(first);
  EXPECT_EQ(second, dispatcher_->active_dialog());
  EXPECT_TRUE(log.Saw("Another hwnd was already selected"));
  dispatcher_->ClearActiveDialog(second);
  EXPECT_EQ(nullptr, dispatcher_->active_dialog());
  EXPECT_TRUE(log.Saw("Switching away from hwnd "));
}

TEST_F(Win32DialogDispatcherTest, OffersMessagesToTheActiveDialog) {
  HWND dialog = MakeDialog();
  ASSERT_TRUE(dialog);
  HWND language = ::GetDlgItem(dialog, IDC_LANGUAGE);
  ::SetFocus(language);
  ASSERT_EQ(language, ::GetFocus());

  // With no dialog active, the pump handles every message itself.
  EXPECT_EQ(base::MessagePumpDispatcher::kActionPerformDefault,
            dispatcher_->Dispatch(KeyDown(language, VK_TAB)));
  EXPECT_EQ(language, ::GetFocus());

  dispatcher_->SetActiveDialog(dialog);
  EXPECT_EQ(base::MessagePumpDispatcher::kActionNone,
            dispatcher_->Dispatch(KeyDown(language, VK_TAB)));
  EXPECT_EQ(::GetDlgItem(dialog, IDC_INSTALL_MODE), ::GetFocus());

  // Messages of a window outside the dialog are not its to take.
  HWND other = MakeDialog();
  ASSERT_TRUE(other);
  EXPECT_EQ(base::MessagePumpDispatcher::kActionPerformDefault,
            dispatcher_->Dispatch(KeyDown(other, VK_TAB)));
  ::DestroyWindow(::GetParent(other));
  ::DestroyWindow(::GetParent(dialog));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

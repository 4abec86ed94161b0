#include "desktop/launcher/installer/ui/test/window_test_util.h"

#include <functional>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/ui/win32_dialog_dispatcher.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

base::string16 GetItemText(HWND dialog, int item) {
  wchar_t text[256] = {};
  if (!::GetDlgItem(dialog, item))
    return base::string16();
  ::GetDlgItemTextW(dialog, item, text, 256);
  return text;
}

}  // namespace

ScopedInstallerResources::ScopedInstallerResources()
    : host_(nullptr), saved_language_(*l10n::GetCurrentLanguageIdStorage()) {
  base::FilePath folder;
  if (!base::PathService::Get(base::DIR_EXE, &folder))
    return;
  host_ = ::LoadLibraryExW(folder.Append(L"installer.exe").value().c_str(),
                           nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!host_)
    return;
  window_module_.reset(new ScopedWindowResourceModuleForTesting(host_));
  string_module_.reset(new l10n::internal::ScopedStringModuleForTesting(host_));
}

ScopedInstallerResources::~ScopedInstallerResources() {
  *l10n::GetCurrentLanguageIdStorage() = saved_language_;
  string_module_.reset();
  window_module_.reset();
  if (host_)
    ::FreeLibrary(host_);
}

const char ScopedWindowTestLock::kWindowTestLockHeldSwitch[] =
    "window-test-lock-held";

ScopedWindowTestLock::ScopedWindowTestLock() : mutex_(nullptr), held_(false) {
  base::CommandLine::Init();
  if (base::CommandLine::ForCurrentProcess()->HasSwitch(
          kWindowTestLockHeldSwitch)) {
    held_ = true;
    return;
  }
  mutex_ = ::CreateMutexW(nullptr, FALSE, L"Global\\VexloWindowTests");
  // A holder that died leaves the mutex abandoned, which is as good.
  const DWORD waited = mutex_ ? ::WaitForSingleObject(mutex_, 100000) : 0;
  held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

ScopedWindowTestLock::~ScopedWindowTestLock() {
  if (mutex_) {
    if (held_)
      ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
  }
}

base::Process LaunchTestChild(const std::string& test_name) {
  base::FilePath self;
  base::PathService::Get(base::FILE_EXE, &self);
  base::CommandLine command_line(self);
  command_line.AppendSwitchASCII("gtest_filter", test_name);
  command_line.AppendSwitch("gtest_also_run_disabled_tests");
  command_line.AppendSwitch(ScopedWindowTestLock::kWindowTestLockHeldSwitch);
  return base::LaunchProcess(command_line, base::LaunchOptions());
}

void PumpMessages() {
  base::RunLoop run_loop(Win32DialogDispatcher::GetInstance());
  base::MessageLoop* loop = base::MessageLoop::current();
  loop->PostTask(LOCATION_FROM_HERE("PumpMessages"),
                 base::Bind(&base::MessageLoop::QuitWhenIdle, loop));
  run_loop.Run();
}

namespace {

// The first visible top-level window that |accept| takes, polled for up to
// a minute.
HWND WaitForTopLevelWindow(const std::function<bool(HWND)>& accept) {
  struct Search {
    const std::function<bool(HWND)>* accept;
    HWND found;
  } search = {&accept, nullptr};
  for (int i = 0; i < 600 && !search.found; ++i) {
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          Search* search = reinterpret_cast<Search*>(data);
          if (!::IsWindowVisible(window) || !(*search->accept)(window))
            return TRUE;
          search->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found)
      ::Sleep(100);
  }
  return search.found;
}

}  // namespace

HWND WaitForProcessWindow(DWORD process_id) {
  return WaitForTopLevelWindow([process_id](HWND window) {
    DWORD owner_process = 0;
    ::GetWindowThreadProcessId(window, &owner_process);
    return owner_process == process_id;
  });
}

base::FilePath GetScreenshotPath(const std::string& name) {
  const testing::TestInfo* test =
      testing::UnitTest::GetInstance()->current_test_info();
  base::FilePath folder;
  base::PathService::Get(base::DIR_EXE, &folder);
  // Test executables live one level below the build folder.
  folder = folder.DirName()
               .Append(L"artifacts\\screenshots")
               .Append(base::UTF8ToUTF16(std::string(test->test_suite_name()) +
                                         "." + test->name()));
  base::CreateDirectory(folder);
  return folder.Append(base::UTF8ToUTF16(name + ".png"));
}

MessageBoxAnswer::MessageBoxAnswer(HWND owner, int button)
    : owner_(owner), button_(button), timer_(0), answered_(false) {
  ::SetPropW(owner_, L"MessageBoxAnswer", this);
  timer_ = ::SetTimer(nullptr, 0, 20, &OnTimer);
}

MessageBoxAnswer::~MessageBoxAnswer() {
  ::KillTimer(nullptr, timer_);
  ::RemovePropW(owner_, L"MessageBoxAnswer");
}

// static
void CALLBACK MessageBoxAnswer::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  // A thread timer carries no window; every answer of the thread looks.
  HWND top = ::GetActiveWindow();
  HWND owner = top ? ::GetWindow(top, GW_OWNER) : nullptr;
  MessageBoxAnswer* answer = owner ? static_cast<MessageBoxAnswer*>(
                                         ::GetPropW(owner, L"MessageBoxAnswer"))
                                   : nullptr;
  if (answer && !answer->answered_)
    answer->TryAnswer();
}

void MessageBoxAnswer::TryAnswer() {
  HWND box = ::GetActiveWindow();
  wchar_t class_name[16] = {};
  ::GetClassNameW(box, class_name, 16);
  if (base::string16(class_name) != L"#32770" || box == owner_)
    return;
  answered_ = true;
  text_ = GetItemText(box, 0xffff);
  yes_ = GetItemText(box, IDYES);
  no_ = GetItemText(box, IDNO);
  ok_ = GetItemText(box, IDOK);
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box, button_)));
}

}  // namespace installer
}  // namespace vexlo

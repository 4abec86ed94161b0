// The executable of the packages that the package fetcher's tests serve, and
// the other process that tries to change a package while it is fetched.
//   --internal-version, --stream: answers as an installer does, with the
//       value of VEXLO_TEST_PACKAGE_INTERNAL_VERSION or
//       VEXLO_TEST_PACKAGE_STREAM when set, else this build's own; after
//       VEXLO_TEST_PACKAGE_ANSWER_DELAY_MS milliseconds when that is set;
//       with VEXLO_TEST_PACKAGE_RUN_LOG set, first appends the switch's name
//       and a line feed to the file it names; with
//       VEXLO_TEST_PACKAGE_LINGERER set, first starts that program with
//       --linger=VEXLO_TEST_PACKAGE_LINGER_EVENT, handing it the output.
//   --linger=NAME: waits for the event NAME to be set, at most three
//       minutes: longer than a test waits for a fetch.
//   --tamper=PATH: tries to rewrite, rename and delete PATH; the exit code
//       has bit 0, 1 or 2 set for each that succeeded.
//   --overwrite=PATH: replaces the bytes of PATH; 0 when it could.
//   --fetch-own-package=FOLDER --ready-event=NAME: runs a package fetcher
//       into FOLDER on the package this executable carries, sets the event
//       once the package is ready and waits to be killed; the fetcher's
//       status when it fails.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/message_loop/message_loop.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/stats_dictionary.h"

namespace {

// Appends |line| to the file that |variable| names, when it is set; the
// runs of several packages may append at once.
void LogRun(const char* variable, const std::string& line) {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA(variable, path, sizeof(path));
  if (!length || length >= sizeof(path))
    return;
  HANDLE file =
      CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
  CloseHandle(file);
}

// Starts the program that VEXLO_TEST_PACKAGE_LINGERER names, when it is
// set, with this process's output, which it keeps open after this process
// ended.
void StartLingerer() {
  wchar_t program[MAX_PATH];
  wchar_t event[MAX_PATH];
  if (!GetEnvironmentVariableW(L"VEXLO_TEST_PACKAGE_LINGERER", program,
                               MAX_PATH) ||
      !GetEnvironmentVariableW(L"VEXLO_TEST_PACKAGE_LINGER_EVENT", event,
                               MAX_PATH)) {
    return;
  }
  base::CommandLine command_line((base::FilePath(program)));
  command_line.AppendSwitchNative("linger", event);
  base::LaunchOptions options;
  options.inherit_handles = true;
  options.stdout_handle = GetStdHandle(STD_OUTPUT_HANDLE);
  base::LaunchProcess(command_line, options);
}

int Linger(const std::wstring& event_name) {
  HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, event_name.c_str());
  if (!event)
    return 1;
  WaitForSingleObject(event, 180000);
  CloseHandle(event);
  return 0;
}

void Answer(const char* switch_name,
            const char* variable,
            const std::string& own) {
  LogRun("VEXLO_TEST_PACKAGE_RUN_LOG", std::string(switch_name) + "\n");
  StartLingerer();
  char value[256];
  if (GetEnvironmentVariableA("VEXLO_TEST_PACKAGE_ANSWER_DELAY_MS", value,
                              sizeof(value))) {
    Sleep(static_cast<DWORD>(atoi(value)));
  }
  const DWORD length = GetEnvironmentVariableA(variable, value, sizeof(value));
  printf("%s", length && length < sizeof(value) ? value : own.c_str());
  fflush(stdout);
}

bool Rewrite(const base::FilePath& path) {
  HANDLE file =
      CreateFileW(path.value().c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  const char junk[] = "not the package";
  DWORD written = 0;
  const bool ok = WriteFile(file, junk, sizeof(junk), &written, nullptr) &&
                  written == sizeof(junk);
  CloseHandle(file);
  return ok;
}

int Tamper(const base::FilePath& path) {
  int succeeded = 0;
  if (Rewrite(path))
    succeeded |= 1;
  const std::wstring moved = path.value() + L".moved";
  if (MoveFileExW(path.value().c_str(), moved.c_str(), 0)) {
    succeeded |= 2;
    MoveFileExW(moved.c_str(), path.value().c_str(), 0);
  }
  if (DeleteFileW(path.value().c_str()))
    succeeded |= 4;
  return succeeded;
}

using vexlo::installer::PackageFetcher;

// Ends the loop at the fetch's end and keeps its status.
class EndOfFetch : public vexlo::installer::PackageFetcherDelegate,
                   public vexlo::installer::UICallbackRunner {
 public:
  explicit EndOfFetch(base::RunLoop* run_loop) : run_loop_(run_loop) {}

  void SetTotalProgress(int32_t) override {}
  void SetCurrentProgress(int32_t) override {}
  void NotifyStalled() override {}
  void NotifyStatusChanged(PackageFetcher::Status status) override {
    status_ = status;
    if (status >= PackageFetcher::PACKAGE_READY)
      run_loop_->Quit();
  }
  void NotifyTrackingDataObtained(const std::string&) override {}
  void RunUICallbackAndPostReply(
      const UICallback&,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&,
      const Reply&) override {}

  PackageFetcher::Status status() const { return status_; }

 private:
  base::RunLoop* const run_loop_;
  PackageFetcher::Status status_ = PackageFetcher::STARTED;
};

int FetchOwnPackage(const base::FilePath& folder, const std::wstring& event) {
  base::MessageLoop loop;
  base::RunLoop run_loop;
  base::DictionaryValue root;
  base::Lock lock;
  vexlo::installer::StatsDictionary stats(&root, &lock, base::TimeTicks::Now());
  EndOfFetch end(&run_loop);
  PackageFetcher fetcher(folder, stats, &end, &end);
  fetcher.Start();
  run_loop.Run();
  if (end.status() != PackageFetcher::PACKAGE_READY)
    return end.status();
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, event.c_str());
  if (!ready || !SetEvent(ready))
    return 101;
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  base::AtExitManager exit_manager;
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.InitFromArgv(argc, argv);
  if (command_line.HasSwitch("internal-version")) {
    Answer("internal-version", "VEXLO_TEST_PACKAGE_INTERNAL_VERSION",
           vexlo::ProductInfo::GetInternalVersion());
    return 0;
  }
  if (command_line.HasSwitch("stream")) {
    Answer("stream", "VEXLO_TEST_PACKAGE_STREAM",
           vexlo::ProductInfo::GetChannel());
    return 0;
  }
  if (command_line.HasSwitch("linger"))
    return Linger(command_line.GetSwitchValueNative("linger"));
  if (command_line.HasSwitch("tamper"))
    return Tamper(command_line.GetSwitchValuePath("tamper"));
  if (command_line.HasSwitch("fetch-own-package")) {
    return FetchOwnPackage(command_line.GetSwitchValuePath("fetch-own-package"),
                           command_line.GetSwitchValueNative("ready-event"));
  }
  if (command_line.HasSwitch("overwrite"))
    return Rewrite(command_line.GetSwitchValuePath("overwrite")) ? 0 : 1;
  return 100;
}

#include "desktop/launcher/installer/ui/installer_ui_controller.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/memory/weak_ptr.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/ipc/ipc_mailslot_name.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/test/foreign_mailslot_process.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "desktop/launcher/installer/test/status_waiter.h"
#include "desktop/launcher/installer/ui/test/window_test_util.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/launcher/installer/wininet/test/immediate_retry_runner.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr wchar_t kRunSwitches[] =
    L" --pintotaskbar=0 --enable-installer-stats=0"
    L" --launchvexlo=0"
    L" --with-feature:installer-pref-default-overrides-support=off";

// The exit code of |process| once it ends; -1 when it runs on for
// |seconds| (it is ended then). This thread's windows are served meanwhile:
// the process may activate a window of its own or of another, which passes
// through them.
int WaitForExit(const base::Process& process, int seconds) {
  const HANDLE handle = process.Handle();
  const DWORD deadline = ::GetTickCount() + seconds * 1000;
  while (::MsgWaitForMultipleObjects(1, &handle, FALSE, 100, QS_ALLINPUT) !=
         WAIT_OBJECT_0) {
    PumpMessages();
    if (static_cast<int32_t>(::GetTickCount() - deadline) > 0) {
      process.Terminate(1, true);
      return -1;
    }
  }
  DWORD exit_code = static_cast<DWORD>(-1);
  ::GetExitCodeProcess(handle, &exit_code);
  return static_cast<int>(exit_code);
}

// Acts on a controller's run as it goes: each step waits, polling on the
// run's own loop, until its condition holds, then acts. A run that stalls
// for a minute is cancelled and fails the test.
class RunScript {
 public:
  struct Step {
    const char* name;
    std::function<bool()> ready;
    std::function<void()> act;
  };

  RunScript(InstallerUIController* controller, std::vector<Step> steps)
      : controller_(controller),
        steps_(std::move(steps)),
        deadline_(base::TimeTicks::Now() + base::TimeDelta::FromSeconds(60)) {
    PostTick();
  }

 private:
  void PostTick() {
    base::MessageLoop::current()->PostDelayedTask(
        LOCATION_FROM_HERE("RunScript"),
        base::Bind(&RunScript::Tick, weak_factory_.GetWeakPtr()),
        base::TimeDelta::FromMilliseconds(20));
  }
  void Tick() {
    if (next_ == steps_.size())
      return;
    if (steps_[next_].ready()) {
      steps_[next_++].act();
    } else if (base::TimeTicks::Now() > deadline_) {
      ADD_FAILURE() << "waited in vain before " << steps_[next_].name;
      controller_->OnCancel();
      return;
    }
    PostTick();
  }

  InstallerUIController* const controller_;
  const std::vector<RunScript::Step> steps_;
  const base::TimeTicks deadline_;
  size_t next_ = 0;
  base::WeakPtrFactory<RunScript> weak_factory_{this};
};

// What an installation writes, and the handler of web addresses, which
// the tests set.
std::vector<ScopedProductRegistry::Key> RegistryKeys() {
  std::vector<ScopedProductRegistry::Key> keys = InstallerExecutableKeys();
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    keys.push_back({root, L"Software\\Classes\\https", false, L""});
  return keys;
}

class InstallerUIControllerTest : public testing::Test {
 protected:
  InstallerUIControllerTest()
      : package_(temp_.path().Append(L"package")),
        install_(temp_.path().Append(L"Vexlo")),
        logs_(temp_.path().Append(L"logs")),
        registry_(RegistryKeys()),
        shell_folders_(temp_.path()) {}

  void SetUp() override {
    base::CommandLine::Init();
    ASSERT_TRUE(window_lock_.held());
    ASSERT_TRUE(resources_.loaded());
    base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                          true, true);
    WriteInstallerExecutablePackage(package_, 20);
    ASSERT_TRUE(base::CreateDirectory(logs_));
    ASSERT_TRUE(server_.Start());
    saved_command_line_ = *base::CommandLine::ForCurrentProcess();
    base::CommandLine::ForCurrentProcess()->AppendSwitchNative(
        PackageFetcher::kPackageServerSwitch, server_.Url("/files/reply.json"));
    NewController();
  }

  void TearDown() override {
    *base::CommandLine::ForCurrentProcess() = saved_command_line_;
  }

  void NewController() {
    controller_ = std::make_unique<InstallerUIController>();
    controller_->SetFetcherSetupForTesting(base::Bind(&SetUpFetcher));
  }

  // Settings with the run's switches and |more|, for |folder| (the test's
  // when empty), their folder checked unless |checked| is false.
  void MakeSettings(const wchar_t* all_users = L"0",
                    bool checked = true,
                    const wchar_t* more = L"",
                    const base::FilePath& folder = base::FilePath()) {
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.ParseFromString(L"installer.exe --allusers=" +
                                 base::string16(all_users) + kRunSwitches +
                                 more);
    settings_ = std::make_unique<Settings>(false, false, false,
                                           folder.empty() ? install_ : folder,
                                           false, command_line);
    if (checked)
      StatusWaiter wait(settings_.get());
  }

  // Runs the controller through |steps|; its result.
  bool RunUI(bool package_present,
             bool run_immediately,
             std::vector<RunScript::Step> steps) {
    ScopedTempVariables scoped_temp(logs_);
    // The backend is the package's installer, not this test program.
    const ScopedPathOverride own_folder(base::DIR_EXE, package_);
    const ScopedPathOverride own_executable(base::FILE_EXE,
                                            package_.Append(L"installer.exe"));
    RunScript script(controller_.get(), std::move(steps));
    return controller_->RunUI(settings_.get(), package_present,
                              temp_.path().Append(L"tmp"), run_immediately);
  }

  HWND Control(int id) {
    return ::GetDlgItem(controller_->window()->window(), id);
  }
  bool Shows(int id) { return ::IsWindowVisible(Control(id)) != FALSE; }
  base::string16 Text(int id) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(Control(id), text, 1024);
    return text;
  }
  bool WelcomeShown() {
    return controller_->window() &&
           ::IsWindowEnabled(Control(IDC_ACCEPT_BUTTON));
  }
  // Keeps the error page's text in |shown| and ends the run there.
  RunScript::Step CancelOnTheErrorPage(base::string16* shown) {
    return {"error page", [this] { return Shows(IDC_RETRY_BUTTON); },
            [this, shown] {
              *shown = Text(IDC_MESSAGE);
              bar_ =
                  ::SendMessageW(Control(IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0);
              controller_->OnCancel();
            }};
  }
  std::function<void()> Click(int id) {
    return [this, id] { ::PostMessageW(Control(id), BM_CLICK, 0, 0); };
  }
  std::string Stats() {
    std::string json;
    EXPECT_TRUE(controller_->stats()->SerializeRecord(&json));
    return json;
  }
  void Serve(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(base::WriteFile(server_.files_folder().AppendASCII(name),
                                bytes.data(), static_cast<int>(bytes.size())) ==
                static_cast<int>(bytes.size()));
  }
  static void UseImmediateRetries(Wininet* client) {
    client->SetRetryTaskRunnerForTesting(new ImmediateRetryRunner);
    client->SetMaxRetries(1);
  }
  static void SetUpFetcher(PackageFetcher* fetcher) {
    fetcher->ConfigureClientForTesting(base::Bind(&UseImmediateRetries));
  }

  // The package's installer started as a user would, with the window.
  base::Process StartWindowedInstaller() {
    ScopedTempVariables scoped_temp(logs_);
    return base::LaunchProcess(L"\"" +
                                   package_.Append(L"installer.exe").value() +
                                   L"\" \"--installfolder=" + install_.value() +
                                   L"\" --allusers=0" + kRunSwitches,
                               base::LaunchOptions());
  }

  base::MessageLoop loop_{base::MessageLoop::TYPE_UI};
  ScopedInstallerResources resources_;
  base::UniqueTestDir temp_;
  const base::FilePath package_;
  const base::FilePath install_;
  const base::FilePath logs_;
  ScopedProductRegistry registry_;
  ScopedWindowTestLock window_lock_;
  ScopedShellFolders shell_folders_;
  HttpTestServer server_;
  base::CommandLine saved_command_line_{base::CommandLine::NO_PROGRAM};
  std::unique_ptr<Settings> settings_;
  std::unique_ptr<InstallerUIController> controller_;
  // Where the progress bar stood on the error page.
  LRESULT bar_ = -1;
};

// While one installer shows its window, another one started beside it ends
// at once without a window of its own and brings the first to the front;
// the first installs when its button is pressed.
TEST_F(InstallerUIControllerTest, OneWindowAtATimeInstallsOnAClick) {
  base::Process first = StartWindowedInstaller();
  HWND window = WaitForProcessWindow(first.Pid());
  ASSERT_TRUE(window);
  ASSERT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDC_ACCEPT_BUTTON)));
  // Something else has the front meanwhile.
  HWND other =
      ::CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50,
                        50, nullptr, nullptr, nullptr, nullptr);
  ::SetForegroundWindow(other);
  ASSERT_EQ(other, ::GetForegroundWindow());
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED,
            WaitForExit(StartWindowedInstaller(), 60));
  // The front changes hands through both processes' queues.
  for (int i = 0; i < 200 && ::GetForegroundWindow() != window; ++i) {
    PumpMessages();
    ::Sleep(50);
  }
  EXPECT_EQ(window, ::GetForegroundWindow());
  ::DestroyWindow(other);
  ::PostMessageW(::GetDlgItem(window, IDC_ACCEPT_BUTTON), BM_CLICK, 0, 0);
  EXPECT_EQ(HOST_EXIT_SUCCESS, WaitForExit(first, 120));
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));
}

void StoreAnswer(int32_t* stored, int32_t answer) {
  *stored = answer;
}

int32_t AnswerWithWindow(HWND__** seen, HWND__* window) {
  *seen = window;
  return 7;
}

// A request for the window waits for the start, and only the latest: the
// one it replaces is answered as cancelled at once. The user's click
// installs from the package the installer runs in; what asks afterwards is
// answered as cancelled.
TEST_F(InstallerUIControllerTest, InstallsFromThePackageAndAnswersRequests) {
  MakeSettings();
  HWND__* seen[2] = {nullptr, nullptr};
  int32_t answers[3] = {-1, -1, -1};
  for (int i = 0; i < 2; ++i) {
    controller_->RunUICallbackAndPostReply(
        base::Bind(&AnswerWithWindow, &seen[i]), loop_.task_runner(),
        base::Bind(&StoreAnswer, &answers[i]));
  }
  PumpMessages();
  EXPECT_EQ(InstallerUIController::kCancelledAnswer, answers[0]);
  EXPECT_EQ(-1, answers[1]);
  HWND window = nullptr;
  EXPECT_TRUE(RunUI(true, false,
                    {{"welcome", [&] { return WelcomeShown(); },
                      [&] {
                        window = controller_->window()->window();
                        Click(IDC_ACCEPT_BUTTON)();
                      }}}));
  // The backend's last step fills the bar.
  EXPECT_EQ(InstallerProgress::kTop,
            ::SendMessageW(Control(IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0));
  PumpMessages();
  EXPECT_EQ(7, answers[1]);
  EXPECT_EQ(window, seen[1]);
  EXPECT_EQ(nullptr, seen[0]);
  controller_->RunUICallbackAndPostReply(
      base::Bind(&AnswerWithWindow, &seen[0]), loop_.task_runner(),
      base::Bind(&StoreAnswer, &answers[2]));
  PumpMessages();
  EXPECT_EQ(InstallerUIController::kCancelledAnswer, answers[2]);
  EXPECT_EQ(nullptr, seen[0]);
  EXPECT_TRUE(base::PathExists(install_.Append(L"installation_status.xml")));
  const std::string stats = Stats();
  EXPECT_NE(std::string::npos, stats.find("\"installation_success\":1"));
  EXPECT_EQ(std::string::npos, stats.find("failure_reason"));
}

// A run whose window cannot be made ends at once, in failure.
TEST_F(InstallerUIControllerTest, EndsWhenTheWindowCannotBeMade) {
  MakeSettings();
  ScopedWindowResourceModuleForTesting no_dialogs(::GetModuleHandleW(nullptr));
  EXPECT_FALSE(RunUI(true, false, {}));
  EXPECT_NE(std::string::npos,
            Stats().find("\"Could not initialize installer window\""));
}

// Before the user acts, a fetch that fails is started again three times,
// then waits; proceeding fetches once more. A net installer that fails a
// second time offers the full package, whose page opens in the browser
// of the system, and the run ends as cancelled that way.
TEST_F(InstallerUIControllerTest,
       ANetInstallerRetriesThenOffersTheFullPackage) {
  MakeSettings();
  // The test library's configuration names no full package.
  std::unique_ptr<base::DictionaryValue> configuration(
      ProductConfiguration::GetDictionary()->DeepCopy());
  configuration->SetString("urls.download_full_windows",
                           "https://download.test.example.invalid/?full=1");
  std::string configuration_text;
  ASSERT_TRUE(base::JSONWriter::Write(*configuration, &configuration_text));
  const ScopedProductConfiguration scoped_configuration(configuration_text);
  const base::FilePath browser = temp_.path().Append(L"browser.exe");
  ASSERT_TRUE(ScopedLauncherRecord::CopyLauncher(browser));
  ScopedLauncherRecord opened(logs_);
  // The test platform takes the handler from the machine's classes only.
  const wchar_t kHandler[] = L"Software\\Classes\\https";
  ASSERT_EQ(ERROR_SUCCESS,
            base::win::RegKey(HKEY_LOCAL_MACHINE, kHandler, KEY_SET_VALUE)
                .WriteValue(L"URL Protocol", L""));
  ASSERT_EQ(ERROR_SUCCESS,
            base::win::RegKey(
                HKEY_LOCAL_MACHINE,
                (kHandler + base::string16(L"\\shell\\open\\command")).c_str(),
                KEY_SET_VALUE)
                .WriteValue(nullptr,
                            (L"\"" + browser.value() + L"\" \"%1\"").c_str()));
  size_t per_attempt = 0;
  const auto requests = [this] { return server_.GetRequests().size(); };
  const auto error_after = [&](size_t attempts) {
    return [&, attempts] {
      return Shows(IDC_RETRY_BUTTON) && requests() == attempts * per_attempt;
    };
  };
  const base::string16 download_failed =
      l10n::GetLocalizedStringWithArgument(IDS_ERROR_DOWNLOAD, L"");
  EXPECT_FALSE(
      RunUI(false, false,
            {{"restarts used up", [&] { return controller_->fetch_failed(); },
              [&] {
                EXPECT_EQ(3, controller_->fetch_restarts());
                per_attempt = requests() / 4;
                EXPECT_EQ(4 * per_attempt, requests());
                EXPECT_TRUE(Shows(IDC_ACCEPT_BUTTON));
                Click(IDC_ACCEPT_BUTTON)();
              }},
             {"first error", error_after(5),
              [&] {
                EXPECT_EQ(download_failed, Text(IDC_MESSAGE));
                EXPECT_FALSE(Shows(IDC_FULL_PACKAGE_BUTTON));
                // The user may change the options before retrying.
                EXPECT_TRUE(settings_->editable());
                Click(IDC_RETRY_BUTTON)();
              }},
             {"second error", error_after(6), [&] {
                EXPECT_EQ(download_failed, Text(IDC_MESSAGE));
                EXPECT_TRUE(Shows(IDC_FULL_PACKAGE_BUTTON));
                Click(IDC_FULL_PACKAGE_BUTTON)();
              }}}));
  EXPECT_NE(std::string::npos, Stats().find("\"installation_cancelled\":2"));
  for (int i = 0; i < 100 && opened.Runs().empty(); ++i)
    ::Sleep(100);
  const std::vector<std::vector<std::string>> runs = opened.Runs();
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(std::vector<std::string>(
                {ProductConfiguration::GetUrl("download_full_windows") +
                 "&product=" + ProductConfiguration::GetProductName() + "%20" +
                 ProductInfo::GetChannel()}),
            std::vector<std::string>(runs[0].begin() + 1, runs[0].end()));
}

// When elevation fails for an installation for all users into a folder the
// user may write to, the user is asked whether to install for the current
// user only; on OK the installation goes on that way without another click,
// otherwise the error page says why. The platform's user is an
// administrator, so the failure is told to the controller here.
TEST_F(InstallerUIControllerTest, AnElevationFailureOffersTheCurrentUser) {
  const struct {
    const wchar_t* all_users;
    int button;
    bool asked;
    bool installs;
    // The one that installs comes last: an installation changes the
    // settings of the next run into the folder.
  } kCases[] = {{L"1", IDCANCEL, true, false},
                {L"0", IDOK, false, false},
                {L"1", IDOK, true, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.all_users << " " << c.button);
    NewController();
    MakeSettings(c.all_users);
    const bool all_users = settings_->all_users();
    std::unique_ptr<MessageBoxAnswer> answer;
    base::string16 shown;
    EXPECT_EQ(c.installs,
              RunUI(true, false,
                    {{"welcome", [&] { return WelcomeShown(); },
                      [&] {
                        answer = std::make_unique<MessageBoxAnswer>(
                            controller_->window()->window(), c.button);
                        controller_->OnInstallationFailed(
                            kInstallerErrorElevation, L"", "Elevation failed");
                        controller_->OnInstallerTerminated(false);
                      }},
                     CancelOnTheErrorPage(&shown)}));
    EXPECT_EQ(c.asked, answer->answered());
    EXPECT_EQ(c.installs, all_users && !settings_->all_users());
    EXPECT_EQ(c.installs,
              base::PathExists(install_.Append(L"installation_status.xml")));
    EXPECT_EQ(c.installs ? base::string16()
                         : l10n::GetLocalizedStringWithArgument(
                               kInstallerErrorElevation, L""),
              shown);
  }
}

// A package that cannot be had after the user started shows why on the
// error page, in the user's language.
TEST_F(InstallerUIControllerTest, AFetchThatFailsAfterTheStartShowsWhy) {
  base::FilePath build;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
  const std::string damaged = AppendPayload(
      ReadWholeFile(build.Append(L"package_fetcher_test_child.exe")),
      ReadWholeFile(PackageFixture(L"truncated.7z")));
  // A run that starts at once waits for the folder's check, if need be.
  const struct {
    const char* name;
    std::string reply;
    bool checked;
    int text;
    // The download's whole stage, when it was done.
    LRESULT bar;
  } kCases[] = {
      {"no reply", "", false, IDS_ERROR_DOWNLOAD, 0},
      {"damaged archive",
       ReplyNaming(base::UTF16ToUTF8(server_.Url("/files/package.exe")),
                   Sha256Hex(damaged)),
       true, IDS_ERROR_UNPACK, 1001},
  };
  Serve("package.exe", damaged);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    base::DeleteFile(server_.files_folder().Append(L"reply.json"), false);
    if (!c.reply.empty())
      Serve("reply.json", c.reply);
    NewController();
    MakeSettings(L"0", c.checked);
    base::string16 shown;
    EXPECT_FALSE(RunUI(false, true, {CancelOnTheErrorPage(&shown)}));
    EXPECT_EQ(c.bar, bar_);
    EXPECT_EQ(l10n::GetLocalizedStringWithArgument(c.text, L""), shown);
    EXPECT_NE(base::string16::npos, shown.find(L' '));
    EXPECT_NE(std::string::npos, Stats().find("\"Fetcher error\""));
  }
}

// Anyone may write to the mailslot: a foreign failure does not stop a good
// installation, nor a foreign success make a failing one succeed. The
// backend's exit decides.
TEST_F(InstallerUIControllerTest, ForeignMessagesDecideNothing) {
  const struct {
    bool locked_file;
    const wchar_t* spoofed;
    // The one that installs comes last, so the failing one finds no
    // earlier installation.
  } kCases[] = {{true, L"6"}, {false, L"5"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.locked_file ? "failing, told it succeeded"
                               : "good, told it failed");
    NewController();
    MakeSettings();
    base::win::ScopedHandle lock;
    if (c.locked_file) {
      lock.Set(::CreateFileW(
          package_.Append(L"res\\deep\\file1.dat").value().c_str(),
          GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(lock.IsValid());
    }
    ForeignMailslotProcess spoofer(L"spoof", InstallerChannelName(install_),
                                   c.spoofed);
    base::string16 shown;
    std::vector<RunScript::Step> steps = {
        {"welcome", [&] { return WelcomeShown(); }, Click(IDC_ACCEPT_BUTTON)}};
    if (c.locked_file)
      steps.push_back(CancelOnTheErrorPage(&shown));
    EXPECT_EQ(!c.locked_file, RunUI(true, false, steps));
    EXPECT_EQ(!c.locked_file,
              base::PathExists(install_.Append(L"installation_status.xml")));
    EXPECT_NE(std::string::npos,
              Stats().find(std::string("\"installation_success\":") +
                           (c.locked_file ? "0" : "1")));
  }
}

// A folder too long for the package's files fails in the backend; the
// error page shows the backend's reason, not an unreported failure.
TEST_F(InstallerUIControllerTest, ALongFolderShowsTheBackendsReason) {
  constexpr size_t kLongFolderLength = 240;
  base::string16 long_name = temp_.path().value() + L"\\Vexlo ";
  ASSERT_LT(long_name.size(), kLongFolderLength);
  long_name.append(kLongFolderLength - long_name.size(), L'x');
  const base::FilePath long_folder(long_name);
  MakeSettings(L"0", true, L"", long_folder);
  base::string16 shown;
  EXPECT_FALSE(RunUI(
      true, false,
      {{"welcome", [&] { return WelcomeShown(); }, Click(IDC_ACCEPT_BUTTON)},
       CancelOnTheErrorPage(&shown)}));
  EXPECT_NE(l10n::GetLocalizedStringWithArgument(kInstallerErrorGeneric, L""),
            shown);
  const std::string stats = Stats();
  EXPECT_NE(std::string::npos, stats.find("\"failure_reason\""));
  EXPECT_EQ(std::string::npos, stats.find("Unreported")) << stats;
  EXPECT_FALSE(base::PathExists(long_folder));
}

// The backend that a failed fetch interrupts fails in turn, for a reason of
// its own that arrives after the fetch's: the error page still shows the
// first cause.
TEST_F(InstallerUIControllerTest, TheFetchFailureOutlivesTheBackendsLaterOne) {
  MakeSettings();
  base::string16 shown;
  const RunScript::Step backend_fails = {
      "fetch failure",
      [this] { return Stats().find("\"Fetcher error\"") != std::string::npos; },
      [this] {
        controller_->OnInstallationFailed(
            kInstallerErrorGeneric, base::string16(),
            "Failed to open a handle to the installation interrupted event");
      }};
  EXPECT_FALSE(
      RunUI(false, true, {backend_fails, CancelOnTheErrorPage(&shown)}));
  EXPECT_EQ(l10n::GetLocalizedStringWithArgument(IDS_ERROR_DOWNLOAD, L""),
            shown);
  EXPECT_NE(std::string::npos, Stats().find("\"Fetcher error\""));
}

// Where a fetcher put its files.
struct FetcherFiles {
  base::FilePath download;
  base::FilePath folder;
};

void NoteFetcherFiles(FetcherFiles* files,
                      const base::Callback<void(PackageFetcher*)>& setup,
                      PackageFetcher* fetcher) {
  files->download = fetcher->download_path();
  files->folder = fetcher->GetPackageFolder();
  setup.Run(fetcher);
}

// A run cancelled once its package was unpacked, while the statistics
// server fails its first upload: the package and the unpacked folder are
// gone by the time that upload reaches the server, and the upload is still
// tried again.
TEST_F(InstallerUIControllerTest, ACancelledRunDropsItsPackageBeforeTheUpload) {
  base::FilePath build;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
  const std::string package = AppendPayload(
      ReadWholeFile(build.Append(L"package_fetcher_test_child.exe")),
      ReadWholeFile(PackageFixture(L"lzma2_bcj.7z")));
  Serve("package.exe", package);
  Serve("reply.json",
        ReplyNaming(base::UTF16ToUTF8(server_.Url("/files/package.exe")),
                    Sha256Hex(package)));
  std::unique_ptr<base::DictionaryValue> configuration(
      ProductConfiguration::GetDictionary()->DeepCopy());
  configuration->SetString("urls.autoupdate",
                           base::UTF16ToUTF8(server_.Url("/seq/503,200/")));
  std::string configuration_text;
  ASSERT_TRUE(base::JSONWriter::Write(*configuration, &configuration_text));
  const ScopedProductConfiguration scoped_configuration(configuration_text);
  FetcherFiles files;
  controller_->SetFetcherSetupForTesting(
      base::Bind(&NoteFetcherFiles, &files, base::Bind(&SetUpFetcher)));
  MakeSettings(L"0", true, L" --enable-installer-stats=1");
  ASSERT_TRUE(settings_->enable_installer_stats());
  const auto uploads = [this] {
    int count = 0;
    for (const HttpTestServer::Request& request : server_.GetRequests())
      count += request.path.find("/netinstaller/feedback") != std::string::npos;
    return count;
  };
  bool download_left = true;
  bool folder_left = true;
  EXPECT_FALSE(RunUI(false, false,
                     {{"package unpacked",
                       [this, &files] {
                         return controller_->progress().stage() ==
                                    InstallerProgress::kPackageReadyStage &&
                                base::PathExists(
                                    files.folder.Append(L"readme.txt"));
                       },
                       [this] { controller_->OnCancel(); }},
                      {"first upload", [&uploads] { return uploads() > 0; },
                       [&] {
                         download_left = base::PathExists(files.download);
                         folder_left = base::PathExists(files.folder);
                       }}}));
  EXPECT_FALSE(download_left);
  EXPECT_FALSE(folder_left);
  EXPECT_EQ(2, uploads());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

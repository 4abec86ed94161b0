#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/test/folder_link.h"
#include "base/test/task_test_util.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/test/no_ui_callback_runner.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/stats_dictionary.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/launcher/installer/wininet/test/immediate_retry_runner.h"
#include "desktop/launcher/installer/wininet/wininet.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

using Status = PackageFetcher::Status;

const char kTrackingData[] = "tracking data of this installer";
const char kVersionVariable[] = "VEXLO_TEST_PACKAGE_INTERNAL_VERSION";
const char kStreamVariable[] = "VEXLO_TEST_PACKAGE_STREAM";

base::FilePath TestChild() {
  base::FilePath folder;
  base::PathService::Get(base::DIR_EXE, &folder);
  return folder.Append(L"package_fetcher_test_child.exe");
}

// An installer that carries |payload|: the test child with the trailer.
std::string MakeInstaller(const std::string& payload) {
  return AppendPayload(ReadWholeFile(TestChild()), payload);
}

bool WriteBytes(const base::FilePath& path, const std::string& bytes) {
  return base::WriteFile(path, bytes.data(), static_cast<int>(bytes.size())) ==
         static_cast<int>(bytes.size());
}

std::vector<base::FilePath> Contents(const base::FilePath& folder) {
  std::vector<base::FilePath> entries;
  base::FileEnumerator enumerator(
      folder, false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = enumerator.Next(); !entry.empty();
       entry = enumerator.Next()) {
    entries.push_back(entry);
  }
  return entries;
}

// Whether a file that exists is open nowhere else: opening it to write and
// delete without sharing succeeds only then.
bool NobodyHolds(const base::FilePath& path) {
  HANDLE file =
      CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                  0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  CloseHandle(file);
  return true;
}

// Runs the test child with |switch_name| set to |path|; its exit code.
DWORD RunChild(const std::string& switch_name, const base::FilePath& path) {
  base::CommandLine command_line(TestChild());
  command_line.AppendSwitchPath(switch_name, path);
  base::Process child =
      base::LaunchProcess(command_line, base::LaunchOptions());
  DWORD code = 255;
  if (child.IsValid() &&
      WaitForSingleObject(child.Handle(), 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(child.Handle(), &code);
  }
  return code;
}

class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    SetEnvironmentVariableA(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableA(name_, nullptr); }

 private:
  const char* const name_;
};

// What another process could do to the package at each step.
struct TamperLog {
  base::FilePath target;
  std::string mode = "tamper";
  // A step where nothing is tried.
  std::string skip;
  base::Lock lock;
  std::vector<std::pair<std::string, DWORD>> attempts;
  base::win::ScopedHandle kept;
};

void SignalAtStep(HANDLE event,
                  const std::string& wanted,
                  const std::string& step) {
  if (step == wanted)
    SetEvent(event);
}

void TamperAtStep(TamperLog* log, const std::string& step) {
  if (step == log->skip)
    return;
  if (log->mode == "keep-open") {
    // A writer that opened the package before anyone held it.
    if (!log->kept.IsValid()) {
      log->kept.Set(
          CreateFileW(log->target.value().c_str(), GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return;
  }
  const DWORD code = RunChild(log->mode, log->target);
  base::AutoLock hold(log->lock);
  log->attempts.emplace_back(step, code);
}

// Retries come at once, and few: an unreachable server fails fast.
void UseImmediateRetries(Wininet* client) {
  client->SetRetryTaskRunnerForTesting(new ImmediateRetryRunner);
  client->SetMaxRetries(2);
}

class RecordingDelegate : public PackageFetcherDelegate {
 public:
  void SetTotalProgress(int32_t total) override { totals.push_back(total); }
  void SetCurrentProgress(int32_t /*current*/) override {}
  void NotifyStalled() override {}
  void NotifyStatusChanged(Status status) override {
    statuses.push_back(status);
    if (status >= PackageFetcher::PACKAGE_READY) {
      prefs_at_end = ReadWholeFile(prefs_file);
      quit.Run();
    }
  }
  void NotifyTrackingDataObtained(const std::string& data) override {
    tracking_data = data;
    statuses_before_tracking_data = statuses.size();
  }

  std::vector<int> statuses;
  std::vector<int32_t> totals;
  std::string tracking_data;
  size_t statuses_before_tracking_data = 0;
  base::FilePath prefs_file;
  std::string prefs_at_end;
  base::Closure quit;
};

const base::CommandLine& CurrentCommandLine() {
  base::CommandLine::Init();
  return *base::CommandLine::ForCurrentProcess();
}

class PackageFetcherTest : public testing::Test {
 protected:
  PackageFetcherTest() : saved_command_line_(CurrentCommandLine()) {}
  ~PackageFetcherTest() override {
    fetcher_.reset();
    *base::CommandLine::ForCurrentProcess() = saved_command_line_;
  }

  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    archive_ = ReadWholeFile(PackageFixture(L"lzma2_bcj.7z"));
    ASSERT_FALSE(archive_.empty());
    package_ = MakeInstaller(archive_);
    Serve("package.exe", package_);
    base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
    command_line->AppendSwitchNative(PackageFetcher::kPackageServerSwitch,
                                     server_.Url("/files/reply.json"));
    command_line->AppendSwitchASCII(PackageFetcher::kTrackingBlobSwitch,
                                    kTrackingData);
    MakeFetcher();
  }

  // A reply's partner file entry: the served file |served| to be placed as
  // |name|, with the checksum of |bytes|.
  std::string PartnerItem(const std::string& served,
                          const std::string& name,
                          const std::string& bytes) {
    return "{\"href\": \"" +
           base::UTF16ToUTF8(server_.Url("/files/" + served)) +
           "\", \"filename\": \"" + name + "\", \"checksum\": \"" +
           Sha256Hex(bytes) + "\"}";
  }

  void MakeFetcher(base::Time named_after = base::Time::Now()) {
    fetcher_ = std::make_unique<PackageFetcher>(temp_.path(), stats_, &ui_,
                                                &delegate_, named_after);
    delegate_.prefs_file =
        fetcher_->GetPackageFolder().Append(L"installer_prefs_include.json");
    fetcher_->ConfigureClientForTesting(base::Bind(&UseImmediateRetries));
  }

  void Serve(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteBytes(
        server_.files_folder().Append(base::UTF8ToUTF16(name)), bytes));
  }

  std::string PackageUrl(const std::string& query) {
    return base::UTF16ToUTF8(server_.Url("/files/package.exe" + query));
  }

  // A reply naming the package with |query| and the checksum of |served|.
  void Reply(const std::string& query,
             const std::string& extra = std::string()) {
    Serve("reply.json",
          ReplyNaming(PackageUrl(query), Sha256Hex(package_), extra));
  }

  // Runs one attempt to its end: the status it ended with.
  int Fetch() {
    base::RunLoop run_loop;
    delegate_.quit = run_loop.QuitClosure();
    delegate_.statuses.clear();
    fetcher_->Start();
    EXPECT_TRUE(base::test::RunWithTimeout(&run_loop,
                                           base::TimeDelta::FromSeconds(90)));
    return delegate_.statuses.empty() ? -1 : delegate_.statuses.back();
  }

  // The statistics of the |index|-th attempt; the caller holds the lock.
  const base::DictionaryValue* AttemptRecord(size_t index) {
    const base::ListValue* fetches = nullptr;
    const base::Value* attempt = nullptr;
    const base::DictionaryValue* record = nullptr;
    if (stats_root_.GetList("fetches", &fetches) &&
        fetches->Get(index, &attempt)) {
      attempt->GetAsDictionary(&record);
    }
    return record;
  }

  // The value at |path| of the |index|-th attempt's statistics.
  std::string AttemptString(size_t index, const std::string& path) {
    base::AutoLock hold(stats_lock_);
    std::string value;
    if (const base::DictionaryValue* record = AttemptRecord(index))
      record->GetString(path, &value);
    return value;
  }

  base::FilePath PackageFolder() { return fetcher_->GetPackageFolder(); }

  // Has the test child try |mode| on |target| at every step but |skip|.
  void TamperAtEveryStep(const base::FilePath& target,
                         const std::string& mode,
                         const std::string& skip) {
    tamper_.target = target;
    tamper_.mode = mode;
    tamper_.skip = skip;
    fetcher_->SetStepCallbackForTesting(base::Bind(&TamperAtStep, &tamper_));
  }

  std::string UnpackedReadme() {
    return ReadWholeFile(PackageFolder().Append(L"readme.txt"));
  }

  // Ends the fetcher; true when it left nothing in the temporary folder.
  bool EndLeavesNothing() {
    fetcher_.reset();
    return Contents(temp_.path()).empty();
  }

  base::CommandLine saved_command_line_;
  base::MessageLoop loop_;
  base::UniqueTestDir temp_;
  HttpTestServer server_;
  base::DictionaryValue stats_root_;
  base::Lock stats_lock_;
  StatsDictionary stats_{&stats_root_, &stats_lock_, base::TimeTicks::Now()};
  NoUICallbackRunner ui_;
  RecordingDelegate delegate_;
  std::string archive_;
  std::string package_;
  TamperLog tamper_;
  std::unique_ptr<PackageFetcher> fetcher_;
};

TEST_F(PackageFetcherTest, DownloadsChecksAndUnpacksThePackage) {
  Reply("", ", \"url_welcome\": \"https://welcome.example.invalid/\"");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 6}), delegate_.statuses);
  EXPECT_EQ(kTrackingData, delegate_.tracking_data);
  EXPECT_EQ(2u, delegate_.statuses_before_tracking_data);

  const std::vector<HttpTestServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ("/files/reply.json", requests[0].path);
  EXPECT_EQ(kTrackingData, requests[0].body);
  EXPECT_EQ("GET", requests[1].method);

  const base::FilePath folder = PackageFolder();
  EXPECT_EQ("plain text\r\n", ReadWholeFile(folder.Append(L"readme.txt")));
  EXPECT_EQ(300000u, ReadWholeFile(folder.Append(L"sub\\random.bin")).size());
  EXPECT_EQ(kTrackingData,
            ReadWholeFile(folder.Append(L"server_tracking_data")));
  // The welcome address is on disk by the time the package is ready.
  EXPECT_NE(std::string::npos,
            delegate_.prefs_at_end.find("https://welcome.example.invalid/"));
  EXPECT_EQ("package_ready", AttemptString(0, "result"));
  for (const char* key :
       {"start_time", "fetch_download_url_start_time", "download_start_time",
        "download_end_time", "extract_start_time", "unpack_start_time",
        "unpack_end_time", "package_ready_time"}) {
    EXPECT_FALSE(AttemptString(0, std::string(key) + ".time").empty()) << key;
  }
  for (const char* key :
       {"installation_start_download_time", "installation_start_unpacking_time",
        "installation_unpack_complete_time", "package_ready_time"}) {
    base::AutoLock hold(stats_lock_);
    std::string time;
    EXPECT_TRUE(stats_root_.GetString(key, &time) && !time.empty()) << key;
  }
  EXPECT_FALSE(
      base::PathExists(fetcher_->download_path().ReplaceExtension(L"7z")));
  EXPECT_EQ(ProductInfo::GetInternalVersion(),
            AttemptString(0, "internal_version"));
  EXPECT_TRUE(NobodyHolds(fetcher_->download_path()));
  EXPECT_TRUE(EndLeavesNothing());
}

TEST_F(PackageFetcherTest, EachFailureEndsWithItsStatusAndLineAndNoHold) {
  const std::string unreachable = [] {
    HttpTestServer gone;
    EXPECT_TRUE(gone.Start());
    const base::string16 url = gone.Url("/files/reply.json");
    gone.Stop();
    return base::UTF16ToUTF8(url);
  }();
  const std::string good_reply =
      ReplyNaming(PackageUrl(""), Sha256Hex(package_));
  const std::string plain_program = ReadWholeFile(TestChild());
  const std::string damaged =
      MakeInstaller(ReadWholeFile(PackageFixture(L"truncated.7z")));
  struct Case {
    const char* name;
    std::string reply;
    std::string served;
    const char* version;
    const char* stream;
    const wchar_t* own_executable;
    std::string server;
    Status status;
    const char* message;
    // No temporary folder to lock a download name in.
    bool folder_gone = false;
  };
  const std::string channel_with_line_feed = ProductInfo::GetChannel() + "\n";
  const Case cases[] = {
      {"wrong checksum", ReplyNaming(PackageUrl(""), Sha256Hex("other")),
       package_, nullptr, nullptr, nullptr, "", PackageFetcher::DOWNLOAD_FAILED,
       "Checksum incorrect for the downloaded package"},
      // Nothing to map: the checksum of nothing cannot match what was read.
      {"empty package", ReplyNaming(PackageUrl(""), Sha256Hex("")), "", nullptr,
       nullptr, nullptr, "", PackageFetcher::DOWNLOAD_FAILED,
       "Checksum incorrect for the downloaded package"},
      {"upper-case checksum",
       ReplyNaming(PackageUrl(""), base::ToUpperASCII(Sha256Hex(package_))),
       package_, nullptr, nullptr, nullptr, "", PackageFetcher::DOWNLOAD_FAILED,
       "Checksum incorrect for the downloaded package"},
      {"unreachable server", good_reply, package_, nullptr, nullptr, nullptr,
       unreachable, PackageFetcher::DOWNLOAD_FAILED,
       "Failed fetching the download URL"},
      {"older package", good_reply, package_, "1.0", nullptr, nullptr, "",
       PackageFetcher::DOWNLOAD_FAILED,
       "Downloaded package is older than the installer"},
      {"no version", good_reply, package_, "version", nullptr, nullptr, "",
       PackageFetcher::DOWNLOAD_FAILED,
       "Downloaded package is older than the installer"},
      {"other stream", good_reply, package_, nullptr, "stable-other", nullptr,
       "", PackageFetcher::DOWNLOAD_FAILED,
       "Downloaded package is of a different stream than the installer"},
      {"stream with a line feed", good_reply, package_, nullptr,
       channel_with_line_feed.c_str(), nullptr, "",
       PackageFetcher::DOWNLOAD_FAILED,
       "Downloaded package is of a different stream than the installer"},
      {"unsigned package for a signed installer", good_reply, package_, nullptr,
       nullptr, L"signed.exe", "", PackageFetcher::DOWNLOAD_FAILED,
       "Signature incorrect for the downloaded package"},
      {"unusable server address", good_reply, package_, nullptr, nullptr,
       nullptr, "not an address", PackageFetcher::DOWNLOAD_FAILED,
       "Failed fetching the download URL"},
      {"reply without checksum", "{\"installer\": \"" + PackageUrl("") + "\"}",
       package_, nullptr, nullptr, nullptr, "", PackageFetcher::DOWNLOAD_FAILED,
       "Failed parsing json reply"},
      {"reply not JSON", "installer=x", package_, nullptr, nullptr, nullptr, "",
       PackageFetcher::DOWNLOAD_FAILED, "Failed parsing json reply"},
      {"package missing",
       ReplyNaming(base::UTF16ToUTF8(server_.Url("/files/none")), "x"),
       package_, nullptr, nullptr, nullptr, "", PackageFetcher::DOWNLOAD_FAILED,
       "Failed downloading the Vexlo package"},
      {"program without a package",
       ReplyNaming(PackageUrl(""), Sha256Hex(plain_program)), plain_program,
       nullptr, nullptr, nullptr, "", PackageFetcher::DOWNLOAD_FAILED,
       "Could not find 7z payload in full package"},
      {"damaged archive", ReplyNaming(PackageUrl(""), Sha256Hex(damaged)),
       damaged, nullptr, nullptr, nullptr, "", PackageFetcher::UNPACKING_FAILED,
       "Archive unpacking failed"},
      {"no lock", good_reply, package_, nullptr, nullptr, nullptr, "",
       PackageFetcher::INITIALIZATION_FAILED,
       "Unable to obtain or clean the download/extraction path", true},
  };
  size_t attempt = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Serve("reply.json", c.reply);
    Serve("package.exe", c.served);
    SetEnvironmentVariableA(kVersionVariable, c.version);
    SetEnvironmentVariableA(kStreamVariable, c.stream);
    if (!c.server.empty()) {
      base::CommandLine::ForCurrentProcess()->AppendSwitchASCII(
          PackageFetcher::kPackageServerSwitch, c.server);
    }
    // Without its folder a fetcher locks no name; the folder is back for
    // the start, which must not go on in it all the same.
    if (c.folder_gone) {
      ASSERT_TRUE(base::DeleteFile(temp_.path(), false));
    }
    MakeFetcher();
    ASSERT_TRUE(base::CreateDirectory(temp_.path()));
    if (c.own_executable)
      fetcher_->SetOwnExecutableForTesting(PackageFixture(c.own_executable));
    ScopedLogCapture log;
    EXPECT_EQ(c.status, Fetch());
    EXPECT_TRUE(log.Saw(c.message));
    EXPECT_EQ(c.message, AttemptString(attempt, "failure_reason"));
    EXPECT_EQ(PackageFetcher::GetStatusName(c.status),
              AttemptString(attempt, "result"));
    const base::FilePath download = fetcher_->download_path();
    EXPECT_TRUE(!base::PathExists(download) || NobodyHolds(download));
    EXPECT_TRUE(EndLeavesNothing());
    SetEnvironmentVariableA(kVersionVariable, nullptr);
    SetEnvironmentVariableA(kStreamVariable, nullptr);
    base::CommandLine::ForCurrentProcess()->AppendSwitchNative(
        PackageFetcher::kPackageServerSwitch, server_.Url("/files/reply.json"));
    ++attempt;
  }
}

// The package is unverified code until its checksum and signer passed: it
// never runs before. Its answers are asked for together, yet judged in
// order: the first refused one decides, and a later one is not recorded.
TEST_F(PackageFetcherTest, ThePackageRunsOnlyOnceVerifiedAndIsJudgedInOrder) {
  const base::FilePath run_log = temp_.path().Append(L"runs.txt");
  ScopedVariable logged_runs("VEXLO_TEST_PACKAGE_RUN_LOG",
                             base::UTF16ToUTF8(run_log.value()).c_str());
  const std::string own_version = ProductInfo::GetInternalVersion();
  const std::string own_stream = ProductInfo::GetChannel();
  const std::string both = "internal-version\nstream\n";
  struct Case {
    const char* name;
    bool right_checksum;
    const wchar_t* own_executable;
    const char* version;
    const char* stream;
    Status status;
    const char* message;
    std::string runs;
    std::string recorded_version;
    std::string recorded_stream;
  };
  const Case cases[] = {
      {"wrong checksum", false, nullptr, nullptr, nullptr,
       PackageFetcher::DOWNLOAD_FAILED,
       "Checksum incorrect for the downloaded package", "", "", ""},
      {"unsigned package for a signed installer", true, L"signed.exe", nullptr,
       nullptr, PackageFetcher::DOWNLOAD_FAILED,
       "Signature incorrect for the downloaded package", "", "", ""},
      {"older and of another stream", true, nullptr, "1.0", "other",
       PackageFetcher::DOWNLOAD_FAILED,
       "Downloaded package is older than the installer", both, "1.0", ""},
      {"of another stream", true, nullptr, nullptr, "other",
       PackageFetcher::DOWNLOAD_FAILED,
       "Downloaded package is of a different stream than the installer", both,
       own_version, "other"},
      {"accepted", true, nullptr, nullptr, nullptr,
       PackageFetcher::PACKAGE_READY, nullptr, both, own_version, own_stream},
  };
  size_t attempt = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Serve("reply.json",
          ReplyNaming(PackageUrl(""),
                      Sha256Hex(c.right_checksum ? package_ : "other")));
    ScopedVariable version(kVersionVariable, c.version);
    ScopedVariable stream(kStreamVariable, c.stream);
    MakeFetcher();
    if (c.own_executable)
      fetcher_->SetOwnExecutableForTesting(PackageFixture(c.own_executable));
    ScopedLogCapture log;
    EXPECT_EQ(c.status, Fetch());
    if (c.message) {
      EXPECT_TRUE(log.Saw(c.message));
      EXPECT_EQ(c.message, AttemptString(attempt, "failure_reason"));
    }
    EXPECT_EQ(PackageFetcher::GetStatusName(c.status),
              AttemptString(attempt, "result"));
    EXPECT_EQ(c.recorded_version, AttemptString(attempt, "internal_version"));
    EXPECT_EQ(c.recorded_stream, AttemptString(attempt, "stream"));
    // Every run has ended by the end of the attempt: the package it ran
    // from is no longer in use.
    EXPECT_TRUE(!base::PathExists(fetcher_->download_path()) ||
                NobodyHolds(fetcher_->download_path()));
    std::string runs = ReadWholeFile(run_log);
    std::vector<std::string> lines = base::SplitString(
        runs, "\n", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY);
    std::sort(lines.begin(), lines.end());
    runs.clear();
    for (const std::string& line : lines)
      runs += line + "\n";
    EXPECT_EQ(c.runs, runs);
    base::DeleteFile(run_log, false);
    EXPECT_TRUE(EndLeavesNothing());
    ++attempt;
  }
}

TEST_F(PackageFetcherTest, ACutDownloadIsResumedWhereItBroke) {
  Reply("?cut=100000,250000");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_EQ("plain text\r\n", UnpackedReadme());
  const std::vector<HttpTestServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(4u, requests.size());
  EXPECT_EQ("bytes=100000-", requests[2].headers.at("Range"));
  EXPECT_EQ("bytes=250000-", requests[3].headers.at("Range"));
}

TEST_F(PackageFetcherTest, TheInstallersOwnPackageNeedsNoServer) {
  base::UniqueTestDir own_folder;
  const base::FilePath own = own_folder.path().Append(L"installer.exe");
  ASSERT_TRUE(WriteBytes(own, package_));
  fetcher_->SetOwnExecutableForTesting(own);
  TamperAtEveryStep(own, "tamper", "");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_EQ((std::vector<int>{0, 1, 4, 6}), delegate_.statuses);
  EXPECT_TRUE(server_.GetRequests().empty());
  EXPECT_TRUE(delegate_.tracking_data.empty());
  EXPECT_EQ(std::vector<int32_t>{10}, delegate_.totals);
  EXPECT_EQ("plain text\r\n", UnpackedReadme());
  EXPECT_FALSE(
      base::PathExists(PackageFolder().Append(L"server_tracking_data")));
  const std::vector<std::pair<std::string, DWORD>> refused = {
      {"payload", 0}, {"archive", 0}, {"unpack", 0}};
  EXPECT_EQ(refused, tamper_.attempts);
  EXPECT_EQ(package_, ReadWholeFile(own));
  // The reader still maps the file, but no longer keeps writers out.
  EXPECT_EQ(0u, RunChild("overwrite", own));
  EXPECT_TRUE(EndLeavesNothing());
}

TEST_F(PackageFetcherTest, NobodyChangesThePackageBetweenItsChecks) {
  Reply("");
  TamperAtEveryStep(fetcher_->download_path(), "tamper", "downloaded");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  const std::vector<std::pair<std::string, DWORD>> refused = {
      {"hold", 0},   {"checksum", 0}, {"signer", 0},  {"internal_version", 0},
      {"stream", 0}, {"payload", 0},  {"archive", 0}, {"unpack", 0}};
  EXPECT_EQ(refused, tamper_.attempts);
  EXPECT_EQ(package_, ReadWholeFile(fetcher_->download_path()));
  EXPECT_EQ("plain text\r\n", UnpackedReadme());
  EXPECT_TRUE(NobodyHolds(fetcher_->download_path()));
  EXPECT_TRUE(EndLeavesNothing());
}

TEST_F(PackageFetcherTest, APackageChangedBeforeTheHoldFailsItsChecksum) {
  Reply("");
  TamperAtEveryStep(fetcher_->download_path(), "overwrite", "");
  ScopedLogCapture log;
  EXPECT_EQ(PackageFetcher::DOWNLOAD_FAILED, Fetch());
  EXPECT_TRUE(log.Saw("Checksum incorrect for the downloaded package"));
  ASSERT_EQ(2u, tamper_.attempts.size());
  EXPECT_EQ("downloaded", tamper_.attempts[0].first);
  EXPECT_EQ(0u, tamper_.attempts[0].second);
  // Taken, then dropped with the failure.
  EXPECT_EQ("hold", tamper_.attempts[1].first);
  EXPECT_NE(0u, tamper_.attempts[1].second);
  EXPECT_TRUE(NobodyHolds(fetcher_->download_path()));
  EXPECT_TRUE(EndLeavesNothing());
}

TEST_F(PackageFetcherTest, APackageSomeoneOpenedForWritingIsRefused) {
  Reply("");
  TamperAtEveryStep(fetcher_->download_path(), "keep-open", "");
  ScopedLogCapture log;
  EXPECT_EQ(PackageFetcher::DOWNLOAD_FAILED, Fetch());
  EXPECT_TRUE(log.Saw("Could not hold the downloaded package"));
  tamper_.kept.Close();
  EXPECT_TRUE(EndLeavesNothing());
}

// The owner may end the fetcher at any moment: it stops what runs, drops
// the hold and deletes everything.
TEST_F(PackageFetcherTest, EndingMidDownloadLeavesNothing) {
  Reply("?slow=100");
  fetcher_->Start();
  const base::FilePath download = fetcher_->download_path();
  int64_t size = 0;
  for (int i = 0; i < 1500 && !(base::GetFileSize(download, &size) && size);
       ++i) {
    Sleep(20);
  }
  ASSERT_GT(size, 0);
  EXPECT_TRUE(EndLeavesNothing());
}

TEST_F(PackageFetcherTest, EndingWhileThePackageIsHeldLeavesNothing) {
  Reply("");
  // The package's first run takes long enough for the end to come first.
  ScopedVariable slow_answers("VEXLO_TEST_PACKAGE_ANSWER_DELAY_MS", "1000");
  base::win::ScopedHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  fetcher_->SetStepCallbackForTesting(
      base::Bind(&SignalAtStep, held.Get(), std::string("hold")));
  fetcher_->Start();
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held.Get(), 60000));
  EXPECT_TRUE(EndLeavesNothing());
}

// The end deletes the unpacked package whatever it came to hold: a chain of
// folders far past MAX_PATH goes, and a link goes as a link, never through
// it.
TEST_F(PackageFetcherTest, EndingRemovesDeepFoldersAndLinksButNotTheirData) {
  Reply("");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  base::FilePath deep = PackageFolder().Append(L"deep");
  ASSERT_TRUE(base::CreateDirectory(deep));
  for (int level = 0; level < 300; ++level) {
    deep = deep.Append(L"d");
    ASSERT_TRUE(
        ::CreateDirectoryW((L"\\\\?\\" + deep.value()).c_str(), nullptr));
  }
  base::UniqueTestDir elsewhere;
  const base::FilePath kept = elsewhere.path().Append(L"kept.txt");
  ASSERT_EQ(1, base::WriteFile(kept, "k", 1));
  ASSERT_TRUE(base::MakeFolderLink(PackageFolder().Append(L"sub\\link"),
                                   elsewhere.path()));
  EXPECT_TRUE(EndLeavesNothing());
  EXPECT_EQ("k", ReadWholeFile(kept));
}

TEST_F(PackageFetcherTest, ACorruptedOwnPayloadOrATakenArchivePathFails) {
  // An installer whose certificate table would start beyond its end.
  std::string corrupted = ReadWholeFile(TestChild());
  const uint32_t pe = *reinterpret_cast<const uint32_t*>(&corrupted[0x3C]);
  *reinterpret_cast<uint32_t*>(&corrupted[pe + 0xA8]) = 0x7FFFFFF0;
  base::UniqueTestDir own_folder;
  const base::FilePath own = own_folder.path().Append(L"installer.exe");
  ASSERT_TRUE(WriteBytes(own, corrupted));
  fetcher_->SetOwnExecutableForTesting(own);
  {
    ScopedLogCapture log;
    EXPECT_EQ(PackageFetcher::UNPACKING_FAILED, Fetch());
    EXPECT_TRUE(log.Saw("Corrupted payload"));
  }
  EXPECT_TRUE(EndLeavesNothing());

  MakeFetcher();
  Reply("");
  ASSERT_TRUE(base::CreateDirectory(
      fetcher_->download_path().ReplaceExtension(L"7z").Append(L"taken")));
  ScopedLogCapture log;
  EXPECT_EQ(PackageFetcher::UNPACKING_FAILED, Fetch());
  EXPECT_TRUE(log.Saw("Could not write out 7z archive from full package"));
  ASSERT_TRUE(base::DeleteFile(
      fetcher_->download_path().ReplaceExtension(L"7z"), true));
  EXPECT_TRUE(EndLeavesNothing());
}

TEST_F(PackageFetcherTest, ARestartIsANewAttemptThatCountsTheFailures) {
  Serve("reply.json", "{\"installer\": \"" + PackageUrl("") + "\"}");
  EXPECT_EQ(PackageFetcher::DOWNLOAD_FAILED, Fetch());
  Reply("");
  EXPECT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 6}), delegate_.statuses);
  base::AutoLock hold(stats_lock_);
  const base::ListValue* fetches = nullptr;
  ASSERT_TRUE(stats_root_.GetList("fetches", &fetches));
  ASSERT_EQ(2u, fetches->GetSize());
  int restarts = 0;
  EXPECT_TRUE(stats_root_.GetInteger("fetcher_restarts", &restarts));
  EXPECT_EQ(1, restarts);
  int try_number = -1;
  ASSERT_TRUE(AttemptRecord(1));
  EXPECT_TRUE(AttemptRecord(1)->GetInteger("try_number", &try_number));
  EXPECT_EQ(1, try_number);
}

TEST_F(PackageFetcherTest, PartnerFilesArePlacedOnlyUnderPlainNames) {
  package_ = MakeInstaller(ReadWholeFile(PackageFixture(L"listed.7z")));
  Serve("package.exe", package_);
  Serve("a.txt", "first partner file");
  Serve("b.txt", "second partner file");
  // A name that leaves the folder is a malformed item, and a file that
  // cannot be moved into place ends the list: what came before stays,
  // nothing is written outside, and no name is listed.
  const struct {
    std::string second;
    const char* line;
  } failures[] = {
      {PartnerItem("b.txt", "..\\\\b.txt", "second partner file"),
       "Failed parsing partner content part of JSON reply"},
      {PartnerItem("b.txt", "sub", "second partner file"),
       "Failed moving partner content into place"},
      {"{\"href\": \"not an address\", \"filename\": \"b.txt\", "
       "\"checksum\": \"0\"}",
       "Failed downloading partner content"},
  };
  for (const auto& failure : failures) {
    Reply("", ", \"partner_content\": [" +
                  PartnerItem("a.txt", "a.txt", "first partner file") + ", " +
                  failure.second + "]");
    ScopedLogCapture log;
    ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
    EXPECT_TRUE(log.Saw(failure.line)) << failure.line;
    EXPECT_TRUE(base::PathExists(PackageFolder().Append(L"a.txt")));
    EXPECT_FALSE(base::PathExists(temp_.path().Append(L"b.txt")));
    EXPECT_EQ("readme.txt\r\n",
              ReadWholeFile(PackageFolder().Append(L"files_list")));
    // The download, its folder and its lock: no partner file's download.
    EXPECT_EQ(3u, Contents(temp_.path()).size());
  }

  // The next attempt lists only its own files.
  Reply("", ", \"partner_content\": [" +
                PartnerItem("a.txt", "a.txt", "first partner file") + ", " +
                PartnerItem("b.txt", "b.txt", "second partner file") + "]");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6}), delegate_.statuses);
  EXPECT_EQ("first partner file",
            ReadWholeFile(PackageFolder().Append(L"a.txt")));
  EXPECT_EQ("readme.txt\r\na.txt\r\nb.txt\r\n",
            ReadWholeFile(PackageFolder().Append(L"files_list")));
  base::AutoLock hold(stats_lock_);
  const base::ListValue* files = nullptr;
  const base::Value* second = nullptr;
  const base::DictionaryValue* file = nullptr;
  std::string url;
  ASSERT_TRUE(AttemptRecord(3) &&
              AttemptRecord(3)->GetList("addtional_files", &files) &&
              files->Get(1, &second) && second->GetAsDictionary(&file) &&
              file->GetString("download_url", &url));
  EXPECT_EQ(base::UTF16ToUTF8(server_.Url("/files/b.txt")), url);
  EXPECT_TRUE(EndLeavesNothing());
}

// A reply may name partner files after the package's own files, which
// passed the signer check, or after each other: none is ever replaced, and
// the downloaded file does not stay behind in the temporary folder.
TEST_F(PackageFetcherTest, PartnerFilesNeverTakeThePlaceOfAnother) {
  package_ = MakeInstaller(ReadWholeFile(PackageFixture(L"listed.7z")));
  Serve("package.exe", package_);
  Serve("a.txt", "first partner file");
  Serve("hostile", "hostile bytes");
  const char* const kRefused =
      "Failed parsing partner content part of JSON reply";
  const char* const kNotPlaced = "Failed moving partner content into place";
  const struct {
    const char* name;
    const char* line;
  } cases[] = {
      {"readme.txt", kNotPlaced},
      {"README.TXT", kNotPlaced},
      {"ReadMe.txt", kNotPlaced},
      {"readme.txt.", kRefused},
      {"readme.txt ", kRefused},
      {"README.TXT . .", kRefused},
      {"readme.txt::$DATA", kRefused},
      {"files_list", kRefused},
      {"Files_List", kRefused},
      {"SERVER_TRACKING_DATA", kRefused},
      {"sub", kNotPlaced},
      {"SUB", kNotPlaced},
      {"a.txt", kNotPlaced},
      {"A.TXT", kNotPlaced},
      {"con", kRefused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reply("", ", \"partner_content\": [" +
                  PartnerItem("a.txt", "a.txt", "first partner file") + ", " +
                  PartnerItem("hostile", c.name, "hostile bytes") + "]");
    ScopedLogCapture log;
    ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
    EXPECT_TRUE(log.Saw(c.line));
    const base::FilePath folder = PackageFolder();
    EXPECT_EQ("plain text\r\n", ReadWholeFile(folder.Append(L"readme.txt")));
    EXPECT_EQ("readme.txt\r\n", ReadWholeFile(folder.Append(L"files_list")));
    EXPECT_EQ(kTrackingData,
              ReadWholeFile(folder.Append(L"server_tracking_data")));
    EXPECT_EQ("first partner file", ReadWholeFile(folder.Append(L"a.txt")));
    EXPECT_TRUE(base::DirectoryExists(folder.Append(L"sub")));
    EXPECT_FALSE(base::PathExists(temp_.path().Append(L"partner_content.tmp")));
  }
  EXPECT_TRUE(EndLeavesNothing());
}

// From its writing to the end of its unpacking the archive is held as the
// package is: another process can neither rewrite, rename nor delete it.
TEST_F(PackageFetcherTest, NobodyChangesTheArchiveBeforeItIsUnpacked) {
  Reply("");
  const base::FilePath archive =
      fetcher_->download_path().ReplaceExtension(L"7z");
  TamperAtEveryStep(archive, "tamper", "");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  ASSERT_EQ(9u, tamper_.attempts.size());
  EXPECT_EQ("archive", tamper_.attempts[7].first);
  EXPECT_EQ("unpack", tamper_.attempts[8].first);
  for (const auto& attempt : tamper_.attempts)
    EXPECT_EQ(0u, attempt.second) << attempt.first;
  EXPECT_EQ("plain text\r\n", UnpackedReadme());
  EXPECT_FALSE(base::PathExists(archive));
  EXPECT_TRUE(EndLeavesNothing());
}

// The package and partner content may come from any host the reply names:
// their checksums guard them, not the installer's own domains, which keep
// only the request for the reply. "127.1" is this machine, under a name
// that none of those domains ends with.
TEST_F(PackageFetcherTest, ThePackageMayComeFromAnyHost) {
  const auto elsewhere = [this](const std::string& name) {
    std::string url = base::UTF16ToUTF8(server_.Url("/files/" + name));
    const std::string loopback = "127.0.0.1";
    const size_t host = url.find(loopback);
    EXPECT_NE(std::string::npos, host) << url;
    return url.replace(host, loopback.size(), "127.1");
  };
  Serve("a.txt", "partner file");
  Serve(
      "reply.json",
      ReplyNaming(elsewhere("package.exe"), Sha256Hex(package_),
                  ", \"partner_content\": [{\"href\": \"" + elsewhere("a.txt") +
                      "\", \"filename\": \"a.txt\", \"checksum\": \"" +
                      Sha256Hex("partner file") + "\"}]"));
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_EQ("plain text\r\n", UnpackedReadme());
  EXPECT_EQ("partner file", ReadWholeFile(PackageFolder().Append(L"a.txt")));
  EXPECT_EQ(3u, server_.GetRequests().size());
  EXPECT_TRUE(EndLeavesNothing());
}

// An installer whose own executable someone else holds open for writing
// cannot vouch for the package it carries: that package is not unpacked.
TEST_F(PackageFetcherTest, AnOwnPackageThatCannotBeHeldIsRefused) {
  base::UniqueTestDir own_folder;
  const base::FilePath own = own_folder.path().Append(L"installer.exe");
  ASSERT_TRUE(WriteBytes(own, package_));
  base::win::ScopedHandle writer(
      CreateFileW(own.value().c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer.IsValid());
  fetcher_->SetOwnExecutableForTesting(own);
  ScopedLogCapture log;
  EXPECT_EQ(PackageFetcher::UNPACKING_FAILED, Fetch());
  EXPECT_TRUE(log.Saw("Could not hold the package"));
  EXPECT_FALSE(base::PathExists(PackageFolder()));
  EXPECT_TRUE(server_.GetRequests().empty());
  writer.Close();
  EXPECT_TRUE(EndLeavesNothing());
}

// What stands where the package folder goes when the unpacking begins.
struct Planted {
  base::FilePath folder;
  base::FilePath victim;
  // A hard link to the victim where the readme goes, else a library of
  // someone else's beside the package's files.
  bool link = false;
  // A hard link to the victim where the archive goes, before it is written.
  bool archive = false;
  bool made = false;
};

void PlantAtArchiveStep(Planted* planted, const std::string& step) {
  if (planted->archive && step == "signer") {
    planted->made =
        CreateHardLinkW(planted->folder.value().c_str(),
                        planted->victim.value().c_str(), nullptr) != FALSE;
  }
  if (planted->archive || step != "archive")
    return;
  planted->made =
      base::CreateDirectory(planted->folder) &&
      (planted->link
           ? CreateHardLinkW(
                 planted->folder.Append(L"readme.txt").value().c_str(),
                 planted->victim.value().c_str(), nullptr) != FALSE
           : WriteBytes(planted->folder.Append(L"planted.dll"), "planted"));
}

// A folder that someone made in the package folder's place after the
// attempt cleaned it: the unpacking refuses it, writes through nothing and
// leaves no file of someone else's among the package's. The archive is
// made new likewise, never written through what stands at its name.
TEST_F(PackageFetcherTest, APlantedPackageFolderIsRefused) {
  base::UniqueTestDir outside;
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    MakeFetcher();
    Reply("");
    Planted planted;
    planted.archive = kind == 2;
    planted.folder = planted.archive
                         ? fetcher_->download_path().ReplaceExtension(L"7z")
                         : PackageFolder();
    planted.victim = outside.path().Append(L"victim.txt");
    planted.link = kind == 0;
    ASSERT_TRUE(WriteBytes(planted.victim, "user data"));
    fetcher_->SetStepCallbackForTesting(
        base::Bind(&PlantAtArchiveStep, &planted));
    ScopedLogCapture log;
    EXPECT_EQ(PackageFetcher::UNPACKING_FAILED, Fetch());
    EXPECT_TRUE(planted.made);
    EXPECT_TRUE(log.Saw(planted.archive
                            ? "Could not write out 7z archive from full package"
                            : "Archive unpacking failed"));
    EXPECT_TRUE(EndLeavesNothing());
    EXPECT_EQ("user data", ReadWholeFile(planted.victim));
  }
}

// The names of what fetchers made in |folder|.
std::set<base::string16> FetcherEntries(const base::FilePath& folder) {
  std::set<base::string16> names;
  for (const base::FilePath& entry : Contents(folder)) {
    if (base::StartsWith16(entry.BaseName().value(), L"vexlo_installer_",
                           base::CompareCase::SENSITIVE)) {
      names.insert(entry.BaseName().value());
    }
  }
  return names;
}

// Waits until the local time is in a later second than when it was called:
// a fetcher's files are named after the second it was made in.
void WaitForTheNextSecond() {
  base::Time::Exploded start;
  base::Time::Now().Explode(true, &start);
  for (base::Time::Exploded now = start; now.second == start.second;
       base::Time::Now().Explode(true, &now)) {
    Sleep(50);
  }
}

// A process that fetched the package its executable carries into |folder|
// and then waits; it ends with the fixture.
class FetchingChild {
 public:
  FetchingChild(const base::FilePath& executable,
                const base::FilePath& folder) {
    const base::string16 event_name =
        L"vexlo_fetching_child_" + base::UintToString16(GetCurrentProcessId()) +
        L"_" + base::UintToString16(++count_);
    ready_.Set(CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
    base::CommandLine command_line(executable);
    command_line.AppendSwitchPath("fetch-own-package", folder);
    command_line.AppendSwitchNative("ready-event", event_name);
    process_ = base::LaunchProcess(command_line, base::LaunchOptions());
  }
  ~FetchingChild() { Kill(); }

  // Whether it has its package ready and runs on.
  bool WaitUntilReady() {
    const HANDLE handles[] = {ready_.Get(), process_.Handle()};
    return process_.IsValid() &&
           WaitForMultipleObjects(2, handles, FALSE, 90000) == WAIT_OBJECT_0;
  }
  void Kill() {
    if (process_.IsValid()) {
      process_.Terminate(1, true);
      process_.Close();
    }
  }

 private:
  static int count_;
  base::win::ScopedHandle ready_;
  base::Process process_;
};

int FetchingChild::count_ = 0;

// A run killed from outside leaves its download and unpacked folder; the
// next fetcher removes them once it can tell that their run is gone, and
// leaves those of a run that still goes on.
TEST_F(PackageFetcherTest, TheNextRunRemovesWhatAKilledRunLeft) {
  fetcher_.reset();
  base::UniqueTestDir own_folder;
  const base::FilePath own = own_folder.path().Append(L"installer.exe");
  ASSERT_TRUE(WriteBytes(own, package_));

  FetchingChild killed(own, temp_.path());
  ASSERT_TRUE(killed.WaitUntilReady());
  killed.Kill();
  const std::set<base::string16> left = FetcherEntries(temp_.path());
  // The download-free road leaves the unpacked folder and the lock.
  ASSERT_EQ(2u, left.size());
  WaitForTheNextSecond();
  FetchingChild running(own, temp_.path());
  ASSERT_TRUE(running.WaitUntilReady());
  std::set<base::string16> kept = FetcherEntries(temp_.path());
  for (const base::string16& name : left)
    kept.erase(name);
  ASSERT_EQ(2u, kept.size());

  WaitForTheNextSecond();
  MakeFetcher();
  Reply("");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  std::set<base::string16> now = FetcherEntries(temp_.path());
  for (const base::string16& name : left)
    EXPECT_EQ(0u, now.count(name)) << name;
  for (const base::string16& name : kept)
    EXPECT_EQ(1u, now.count(name)) << name;

  // Once the other run is gone too, nothing is left.
  running.Kill();
  fetcher_.reset();
  MakeFetcher();
  EXPECT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_TRUE(EndLeavesNothing());
}

TEST_F(PackageFetcherTest, APartnerFileThatNeverMatchesIsTriedFourTimes) {
  Serve("a.txt", "partner file");
  Reply("", ", \"partner_content\": [{\"href\": \"" +
                base::UTF16ToUTF8(server_.Url("/files/a.txt")) +
                "\", \"filename\": \"a.txt\", \"checksum\": \"0\"}]");
  ScopedLogCapture log;
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_TRUE(log.Saw("Giving up on partner content download"));
  EXPECT_EQ(6u, server_.GetRequests().size());
  EXPECT_FALSE(base::PathExists(PackageFolder().Append(L"a.txt")));
  EXPECT_EQ("", AttemptString(0, "result"));
  EXPECT_TRUE(EndLeavesNothing());
}

// Two runs named after the same second, side by side: each keeps to a name
// of its own, and the end of one takes nothing of the other's.
TEST_F(PackageFetcherTest, FetchersOfOneSecondKeepToTheirOwnFiles) {
  Reply("");
  const base::Time second = base::Time::Now();
  RecordingDelegate first_delegate;
  base::RunLoop first_loop;
  first_delegate.quit = first_loop.QuitClosure();
  auto first = std::make_unique<PackageFetcher>(temp_.path(), stats_, &ui_,
                                                &first_delegate, second);
  first->ConfigureClientForTesting(base::Bind(&UseImmediateRetries));
  first->Start();
  MakeFetcher(second);
  EXPECT_NE(first->download_path().value(), fetcher_->download_path().value());
  EXPECT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  ASSERT_TRUE(base::test::RunWithTimeout(&first_loop,
                                         base::TimeDelta::FromSeconds(90)));
  EXPECT_EQ(PackageFetcher::PACKAGE_READY, first_delegate.statuses.back());
  fetcher_.reset();
  EXPECT_EQ("plain text\r\n",
            ReadWholeFile(first->GetPackageFolder().Append(L"readme.txt")));
  EXPECT_TRUE(package_ == ReadWholeFile(first->download_path()));
  first.reset();
  EXPECT_TRUE(Contents(temp_.path()).empty());
}

// What a killed run left goes with the next run, even a lock alone, and
// the partner file it was downloading. What cannot go yet stays with its
// lock, and files without their lock are nobody's: the next run does not
// take their name either.
TEST_F(PackageFetcherTest, EverythingOfAKilledRunGoesEvenALoneLock) {
  const struct {
    std::vector<const wchar_t*> entries;
    // The last entry stays open while the next run cleans up.
    bool last_open;
    // The entries left once the next run has ended.
    size_t kept;
  } kRuns[] = {
      {{L".lock"}, false, 0},
      {{L".lock", L".exe", L".7z", L".partner", L"\\sub\\file"}, false, 0},
      {{L".lock", L".partner"}, true, 2},
      {{L".exe"}, false, 1},
  };
  // The fixture's fetcher cleans up on its own thread: it is gone first.
  fetcher_.reset();
  base::win::ScopedHandle open;
  size_t kept = 0;
  int stamp = 0;
  for (const auto& run : kRuns) {
    const base::FilePath name = temp_.path().Append(
        L"vexlo_installer_2000010100000" + base::IntToString16(stamp++));
    for (const wchar_t* entry : run.entries) {
      const base::FilePath path(name.value() + entry);
      ASSERT_TRUE(base::CreateDirectory(path.DirName()));
      ASSERT_TRUE(WriteBytes(path, "left"));
    }
    if (run.last_open) {
      open.Set(CreateFileW((name.value() + run.entries.back()).c_str(),
                           GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
      ASSERT_TRUE(open.IsValid());
    }
    kept += run.kept;
  }
  // Named after the first run: the runs' names come first.
  const base::Time::Exploded first = {2000, 1, 6, 1, 0, 0, 0, 0};
  MakeFetcher(base::Time::FromExploded(true, first));
  Reply("");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_EQ(3u + kept, Contents(temp_.path()).size());
  fetcher_.reset();
  EXPECT_EQ(kept, Contents(temp_.path()).size());
}

// A file of the package folder that another part of the run still holds
// open when the fetcher ends keeps the folder, and with it the lock: the
// next run removes both once the file is closed.
TEST_F(PackageFetcherTest, WhatIsStillOpenAtTheEndGoesWithTheNextRun) {
  Reply("");
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  const base::FilePath overrides =
      PackageFolder().Append(L"pref_default_overrides");
  base::win::ScopedHandle open(
      CreateFileW(overrides.value().c_str(), GENERIC_WRITE, 0, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(open.IsValid());
  const base::FilePath lock =
      fetcher_->download_path().ReplaceExtension(L"lock");
  fetcher_.reset();
  EXPECT_TRUE(base::PathExists(overrides));
  EXPECT_TRUE(base::PathExists(lock));
  open.Close();
  MakeFetcher();
  ASSERT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_FALSE(base::PathExists(lock));
  EXPECT_TRUE(EndLeavesNothing());
}

// A package body that passes the bound fails the download as it passes it,
// whether it announced its size or not, and leaves nothing behind; it is
// not asked for again.
TEST_F(PackageFetcherTest, APackageBeyondTheBoundFailsAtOnce) {
  const struct {
    const char* name;
    std::string path;
    uint64_t bound;
    const char* line;
  } cases[] = {
      // Without a length the body goes on until the server closes, far
      // past the bound.
      {"a body without end in sight", "/bytes/68719476736?nolength=1",
       1024 * 1024, "The body passes the bound of 1048576 bytes"},
      // Sent by a server that breaks off early, so that the refusal is not
      // followed by five gigabytes.
      {"five gigabytes announced", "/bytes/5368709120?cut=1048576", 0,
       "The body of 5368709120 bytes passes the bound"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MakeFetcher();
    if (c.bound)
      fetcher_->SetMaxPackageSizeForTesting(c.bound);
    ASSERT_TRUE(server_.Reset());
    Serve("reply.json", ReplyNaming(base::UTF16ToUTF8(server_.Url(c.path)),
                                    Sha256Hex(package_)));
    ScopedLogCapture log;
    EXPECT_EQ(PackageFetcher::DOWNLOAD_FAILED, Fetch());
    EXPECT_TRUE(log.Saw(c.line));
    EXPECT_TRUE(log.Saw("Failed downloading the Vexlo package"));
    EXPECT_EQ(2u, server_.GetRequests().size());
    EXPECT_FALSE(base::PathExists(fetcher_->download_path()));
    EXPECT_TRUE(EndLeavesNothing());
  }
}

// A package whose answers a process it started keeps open is judged on
// what it wrote once its time is up: the wait stays bounded.
TEST_F(PackageFetcherTest, AProcessThatKeepsTheAnswersOpenHoldsNobody) {
  Reply("");
  const base::string16 event_name =
      L"vexlo_fetcher_lingerer_" + base::UintToString16(GetCurrentProcessId());
  base::win::ScopedHandle release(
      CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
  ASSERT_TRUE(release.IsValid());
  ScopedVariable lingerer("VEXLO_TEST_PACKAGE_LINGERER",
                          base::UTF16ToUTF8(TestChild().value()).c_str());
  ScopedVariable event("VEXLO_TEST_PACKAGE_LINGER_EVENT",
                       base::UTF16ToUTF8(event_name).c_str());
  fetcher_->SetAnswerLimitForTesting(base::TimeDelta::FromSeconds(2));
  EXPECT_EQ(PackageFetcher::PACKAGE_READY, Fetch());
  EXPECT_EQ(ProductInfo::GetInternalVersion(),
            AttemptString(0, "internal_version"));
  EXPECT_EQ(ProductInfo::GetChannel(), AttemptString(0, "stream"));
  SetEvent(release.Get());
  EXPECT_TRUE(EndLeavesNothing());
}

TEST(PackageFetcherNamesTest, PartnerFileNamesMustBePlain) {
  const struct {
    const char* name;
    bool plain;
  } cases[] = {
      {"a.txt", true},
      {"bookmarks.html", true},
      {"..a", true},
      {"ünï.txt", true},
      {"", false},
      {".", false},
      {"..", false},
      {"..\\a", false},
      {"a/b", false},
      {"sub\\a", false},
      {"c:a", false},
      {"a\tb", false},
      {"a\x7f", false},
      // Windows drops trailing dots and spaces, and keeps devices and
      // wildcards for itself.
      {"readme.txt.", false},
      {"readme.txt ", false},
      {"readme.txt. .", false},
      {" a", true},
      {"con", false},
      {"NUL.txt", false},
      {"lpt1 .log", false},
      {"a*", false},
      {"a?b", false},
      {"<a", false},
      {"a>", false},
      {"a|b", false},
      {"a\"b", false},
      // The files the fetcher writes itself, in any case.
      {"files_list", false},
      {"FILES_LIST", false},
      {"Server_Tracking_Data", false},
      {"installer_prefs_include.json", false},
      {"files_list.txt", true},
      // Not UTF-8.
      {"\xff.txt", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.plain, PackageFetcher::IsPlainFileName(c.name)) << c.name;
}

TEST(PackageFetcherNamesTest, StatusNamesAndTheNetInstallerUrl) {
  EXPECT_STREQ("package_ready",
               PackageFetcher::GetStatusName(PackageFetcher::PACKAGE_READY));
  EXPECT_STREQ(
      "initialization_failed",
      PackageFetcher::GetStatusName(PackageFetcher::INITIALIZATION_FAILED));
  EXPECT_STREQ("download_failed",
               PackageFetcher::GetStatusName(PackageFetcher::DOWNLOAD_FAILED));
  EXPECT_STREQ("unpacking_failed",
               PackageFetcher::GetStatusName(PackageFetcher::UNPACKING_FAILED));
  EXPECT_STREQ("invalid",
               PackageFetcher::GetStatusName(PackageFetcher::EXTRACTING));

  const base::CommandLine saved = CurrentCommandLine();
  base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  command_line->InitFromArgv(base::CommandLine::StringVector{saved.argv()[0]});
  const std::string channel = ProductInfo::GetChannel();
  EXPECT_EQ("https://autoupdate.test.example.invalid/netinstaller/" + channel,
            base::UTF16ToUTF8(PackageFetcher::GetNetInstallerUrl()));
  command_line->AppendSwitch(PackageFetcher::kPackageServerSwitch);
  EXPECT_EQ("http://localhost:3002/netinstaller/" + channel,
            base::UTF16ToUTF8(PackageFetcher::GetNetInstallerUrl()));
  command_line->AppendSwitchASCII(PackageFetcher::kPackageServerSwitch,
                                  "http://127.0.0.1:1/x?y=z");
  EXPECT_EQ("http://127.0.0.1:1/x?y=z",
            base::UTF16ToUTF8(PackageFetcher::GetNetInstallerUrl()));
  *command_line = saved;
}

// Only the lock of a download that a killed run left with nothing else of
// it goes: a held lock belongs to a run that goes on, and the leftovers of
// a download go with their lock in the next download's clean-up.
TEST(PackageFetcherLocksTest, RemovesOnlyTheLoneLocksOfKilledRuns) {
  const struct {
    const char* name;
    const wchar_t* lock;
    bool held;
    const wchar_t* beside;
    bool removed;
  } kCases[] = {
      {"lone", L"vexlo_installer_20161207091939.lock", false, nullptr, true},
      {"held", L"vexlo_installer_20161207091939.lock", true, nullptr, false},
      {"beside its package", L"vexlo_installer_20161207091939.lock", false,
       L"vexlo_installer_20161207091939.exe", false},
      {"beside its archive", L"vexlo_installer_20161207091939.lock", false,
       L"vexlo_installer_20161207091939.7z", false},
      {"beside its folder", L"vexlo_installer_20161207091939.lock", false,
       L"vexlo_installer_20161207091939", false},
      {"beside its partner file", L"vexlo_installer_20161207091939.lock", false,
       L"vexlo_installer_20161207091939.partner", false},
      {"beside a log of its time", L"vexlo_installer_20161207091939.lock",
       false, L"vexlo_installer_20161207091939.log", true},
      {"another program's", L"installer_20161207091939.lock", false, nullptr,
       false},
  };
  base::UniqueTestDir dir;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const base::FilePath folder = dir.path().AppendASCII(c.name);
    ASSERT_TRUE(base::CreateDirectory(folder));
    const base::FilePath lock = folder.Append(c.lock);
    // As a download holds it.
    base::win::ScopedHandle holder(::CreateFileW(lock.value().c_str(),
                                                 GENERIC_WRITE, 0, nullptr,
                                                 CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(holder.IsValid());
    if (!c.held)
      holder.Close();
    // A name without extension is the download's unpacked folder.
    if (c.beside && base::FilePath(c.beside).Extension().empty()) {
      ASSERT_TRUE(base::CreateDirectory(folder.Append(c.beside)));
    } else if (c.beside) {
      ASSERT_EQ(1, base::WriteFile(folder.Append(c.beside), "x", 1));
    }
    PackageFetcher::RemoveAbandonedLocks(folder);
    EXPECT_EQ(!c.removed, base::PathExists(lock));
    EXPECT_TRUE(!c.beside || base::PathExists(folder.Append(c.beside)));
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"

#include <windows.h>

#include <memory>
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
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/test/task_test_util.h"
#include "base/test/unique_test_dir.h"
#include "base/values.h"
#include "crypto/secure_hash.h"
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

std::string Sha256Hex(const std::string& bytes) {
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  hash->Update(bytes.data(), bytes.size());
  unsigned char digest[32];
  hash->Finish(digest, sizeof(digest));
  return base::ToLowerASCII(base::HexEncode(digest, sizeof(digest)));
}

// An installer that carries |payload|: the test child with the trailer.
std::string MakeInstaller(const std::string& payload) {
  const uint32_t length = static_cast<uint32_t>(payload.size());
  return ReadWholeFile(TestChild()) + "VXQ" + payload +
         std::string(reinterpret_cast<const char*>(&length), sizeof(length));
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
  base::Lock lock;
  std::vector<std::pair<std::string, DWORD>> attempts;
};

void TamperAtStep(TamperLog* log, const std::string& step) {
  const DWORD code = RunChild(log->mode, log->target);
  base::AutoLock hold(log->lock);
  log->attempts.emplace_back(step, code);
}

void UseImmediateRetries(Wininet* client) {
  client->SetRetryTaskRunnerForTesting(new ImmediateRetryRunner);
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

  void MakeFetcher() {
    fetcher_ = std::make_unique<PackageFetcher>(temp_.path(), stats_, &ui_,
                                                &delegate_);
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
    Serve("reply.json", "{\"installer\": \"" + PackageUrl(query) +
                            "\", \"installer_checksum\": \"" +
                            Sha256Hex(package_) + "\"" + extra + "}");
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

  // The value at |path| of the |index|-th attempt's statistics.
  std::string AttemptString(size_t index, const std::string& path) {
    base::AutoLock hold(stats_lock_);
    const base::ListValue* fetches = nullptr;
    const base::Value* attempt = nullptr;
    const base::DictionaryValue* record = nullptr;
    std::string value;
    if (stats_root_.GetList("fetches", &fetches) &&
        fetches->Get(index, &attempt) && attempt->GetAsDictionary(&record)) {
      record->GetString(path, &value);
    }
    return value;
  }

  base::FilePath PackageFolder() { return fetcher_->GetPackageFolder(); }

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
  EXPECT_EQ(ProductInfo::GetInternalVersion(),
            AttemptString(0, "internal_version"));
  EXPECT_TRUE(NobodyHolds(fetcher_->download_path()));
  EXPECT_TRUE(EndLeavesNothing());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

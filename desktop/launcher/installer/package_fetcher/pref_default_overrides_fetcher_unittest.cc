#include "desktop/launcher/installer/package_fetcher/pref_default_overrides_fetcher.h"

#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/task_test_util.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/package_fetcher/installer_domains.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/launcher/installer/wininet/test/immediate_retry_runner.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

void Count(int* count) {
  ++*count;
}

// The process command line, made from this process's arguments when no one
// has made it yet.
const base::CommandLine& CurrentCommandLine() {
  base::CommandLine::Init();
  return *base::CommandLine::ForCurrentProcess();
}

void CountAndQuit(int* count, const base::Closure& quit) {
  ++*count;
  quit.Run();
}

class NoUICallbackRunner : public UICallbackRunner {
 public:
  void RunUICallbackAndPostReply(
      const UICallback& /*ui_callback*/,
      const base::scoped_refptr<base::SingleThreadTaskRunner>& /*runner*/,
      const Reply& /*reply*/) override {
    ADD_FAILURE() << "no prompt expected";
  }
};

class PrefDefaultOverridesFetcherTest : public testing::Test {
 protected:
  PrefDefaultOverridesFetcherTest()
      : saved_registry_(*base::FeatureRegistry::GetInstance()),
        saved_command_line_(CurrentCommandLine()) {}

  ~PrefDefaultOverridesFetcherTest() override {
    *base::FeatureRegistry::GetInstance() = saved_registry_;
    *base::CommandLine::ForCurrentProcess() = saved_command_line_;
  }

  void SetUp() override {
    SetFeature(true);
    retry_runner_ = new ImmediateRetryRunner;
    fetcher_.client_for_testing()->SetRetryTaskRunnerForTesting(retry_runner_);
  }

  void SetFeature(bool enabled) {
    base::FeatureRegistry registry;
    registry.RegisterFeature(PrefDefaultOverridesFetcher::kFeatureName, enabled,
                             false);
    *base::FeatureRegistry::GetInstance() = registry;
  }

  void PointAtServer(const std::string& path) {
    base::CommandLine::ForCurrentProcess()->AppendSwitchNative(
        PrefDefaultOverridesFetcher::kServerSwitch, server_.Url(path));
  }

  // Runs one fetch of |fetcher| to its end; the number of times |done| ran.
  int Fetch(const std::string& body,
            PrefDefaultOverridesFetcher* fetcher = nullptr) {
    int done = 0;
    base::RunLoop run_loop;
    (fetcher ? fetcher : &fetcher_)
        ->Start(body, base::Bind(&CountAndQuit, &done, run_loop.QuitClosure()));
    if (!done)
      base::test::RunWithTimeout(&run_loop, base::TimeDelta::FromSeconds(30));
    base::test::RunUntilIdle();
    return done;
  }

  bool TargetExists() { return base::PathExists(fetcher_.target_file()); }

  size_t FolderEntries() {
    base::FileEnumerator entries(dir_.path(), false,
                                 base::FileEnumerator::FILES);
    size_t count = 0;
    while (!entries.Next().empty())
      ++count;
    return count;
  }

  base::FeatureRegistry saved_registry_;
  base::CommandLine saved_command_line_;
  base::MessageLoop loop_;
  base::UniqueTestDir dir_;
  HttpTestServer server_;
  NoUICallbackRunner ui_runner_;
  base::scoped_refptr<ImmediateRetryRunner> retry_runner_;
  PrefDefaultOverridesFetcher fetcher_{dir_.path(), &ui_runner_};
};

TEST_F(PrefDefaultOverridesFetcherTest, OffFeatureFinishesAtOnceWithNoFile) {
  SetFeature(false);
  int done = 0;
  fetcher_.Start("tracking", base::Bind(&Count, &done));
  EXPECT_EQ(1, done);
  EXPECT_FALSE(TargetExists());
}

TEST_F(PrefDefaultOverridesFetcherTest, AnswersDecideWhetherTheFileStays) {
  ASSERT_TRUE(server_.Start());
  struct Case {
    const char* path;
    const char* body;
    bool stored;
    std::string contents;
    size_t requests;
    // A folder takes the overrides' name, so the answer cannot.
    bool name_taken = false;
  } cases[] = {
      {"/bytes/3000?x=1", "", true, HttpTestServer::Pattern(3000), 1},
      {"/echo", "tracking data", true, "tracking data", 1},
      {"/status/404", "", false, "", 1},
      {"/echo", "tracking data", true, "tracking data", 1},
      {"/echo", "tracking data", false, "", 1, true},
      {"/echo", "tracking data", true, "tracking data", 1},
      // One counted retry, then failure.
      {"/status/503", "", false, "", 2},
      {"/seq/503,200", "", true, HttpTestServer::Pattern(1000), 2},
      {"/bytes/3000?cut=10,10,10,10", "", false, "", 3},
      // Past the bound of what is read whole, announced or not: no file.
      {"/bytes/4194305", "", false, "", 1},
      {"/bytes/4194305?nolength=1", "", false, "", 1},
  };
  // Each answer meets the overrides that the row before left: a failed
  // fetch leaves none, whatever was there.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(server_.Reset());
    *base::CommandLine::ForCurrentProcess() = saved_command_line_;
    PointAtServer(c.path);
    if (c.name_taken) {
      ASSERT_TRUE(base::DeleteFile(fetcher_.target_file(), false));
      ASSERT_TRUE(base::CreateDirectory(fetcher_.target_file()));
    }
    EXPECT_EQ(1, Fetch(c.body));
    EXPECT_EQ(c.stored, TargetExists());
    std::string contents;
    base::ReadFileToString(fetcher_.target_file(), &contents);
    EXPECT_TRUE(c.contents == contents);
    // Nothing else: the fetch's own file is gone.
    EXPECT_EQ(c.stored ? 1u : 0u, FolderEntries());
    std::vector<HttpTestServer::Request> requests = server_.GetRequests();
    ASSERT_EQ(c.requests, requests.size());
    EXPECT_EQ(c.path, requests[0].path);
    EXPECT_EQ(c.body[0] ? "POST" : "GET", requests[0].method);
    EXPECT_EQ(c.body, requests[0].body);
  }
}

// Also after another fetcher placed its answer in the folder.
TEST_F(PrefDefaultOverridesFetcherTest, DisallowedHostFinishesAtOnce) {
  ASSERT_TRUE(server_.Start());
  PointAtServer("/echo");
  PrefDefaultOverridesFetcher earlier(dir_.path(), &ui_runner_);
  ASSERT_EQ(1, Fetch("earlier answer", &earlier));
  ASSERT_TRUE(TargetExists());
  *base::CommandLine::ForCurrentProcess() = saved_command_line_;
  base::CommandLine::ForCurrentProcess()->AppendSwitchASCII(
      PrefDefaultOverridesFetcher::kServerSwitch,
      "http://overrides.elsewhere.example/api");
  int done = 0;
  fetcher_.Start("", base::Bind(&Count, &done));
  EXPECT_EQ(1, done);
  EXPECT_FALSE(TargetExists());
  EXPECT_EQ(0u, FolderEntries());
}

TEST_F(PrefDefaultOverridesFetcherTest, UrlComesFromSwitchOrConfiguration) {
  const std::string path =
      "api/prefs/?product=" + ProductInfo::GetProductName() +
      "&version=" + ProductInfo::GetVersionString();
  EXPECT_EQ("https://autoupdate.test.example.invalid/" + path,
            base::UTF16ToUTF8(PrefDefaultOverridesFetcher::GetOverridesUrl()));
  base::CommandLine::ForCurrentProcess()->AppendSwitch(
      PrefDefaultOverridesFetcher::kServerSwitch);
  EXPECT_EQ("http://localhost:3001/" + path,
            base::UTF16ToUTF8(PrefDefaultOverridesFetcher::GetOverridesUrl()));
}

TEST(InstallerDomainsTest, ConfiguredDomainComesFirstUnlessCovered) {
  const std::vector<base::string16> domains = GetInstallerServerDomains();
  EXPECT_EQ((std::vector<base::string16>{
                L"test.example.invalid", kMakerWebDomain,
                kMakerDevelopmentDomain, kLoopbackHostName, kLoopbackAddress}),
            domains);
}

}  // namespace

}  // namespace installer
}  // namespace vexlo

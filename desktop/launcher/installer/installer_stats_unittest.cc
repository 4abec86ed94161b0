#include "desktop/launcher/installer/installer_stats.h"

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/task_test_util.h"
#include "base/threading/simple_thread.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/package_fetcher/test/no_ui_callback_runner.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/launcher/installer/wininet/test/immediate_retry_runner.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

NoUICallbackRunner g_no_ui;

// The record's value at |path| as compact JSON; empty when there is none.
std::string Read(InstallerStats* stats, const std::string& path) {
  std::string json;
  EXPECT_TRUE(stats->SerializeRecord(&json));
  base::DictionaryValue* root = nullptr;
  std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
  const base::Value* found = nullptr;
  if (!value || !value->GetAsDictionary(&root) || !root->Get(path, &found))
    return "";
  std::string text;
  base::JSONWriter::Write(*found, &text);
  return text;
}

const char kTimePattern[] =
    "\"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\"";

TEST(InstallerStatsTest, StartsTheRecord) {
  base::CommandLine::Init();
  InstallerStats stats(&g_no_ui);
  const base::win::OSInfo* os = base::win::OSInfo::GetInstance();
  const struct {
    const char* path;
    std::string json;  // A pattern.
  } kCases[] = {
      {"installer_start_time",
       "\\{\"elapsed\":\\d+,\"time\":" + std::string(kTimePattern) + "\\}"},
      {"installation_start_time", kTimePattern},
      {"version", "\"" + ProductInfo::GetVersionString() + "\""},
      {"stream", "\"" + ProductInfo::GetChannel() + "\""},
      {"product", "\"" + ProductInfo::GetProductName() + "\""},
      {"os.name", "\"windows\""},
      {"os.version.major", base::IntToString(os->version_number().major)},
      {"os.version.build", base::IntToString(os->version_number().build)},
      {"os.version.minor", base::IntToString(os->version_number().minor)},
      {"os.service_pack.major", base::IntToString(os->service_pack().major)},
      {"os.service_pack.minor", base::IntToString(os->service_pack().minor)},
      // No summary without a fetch.
      {"wininet_retries", ""},
  };
  stats.WriteFetchSummary();
  for (const auto& c : kCases) {
    EXPECT_TRUE(std::regex_match(Read(&stats, c.path), std::regex(c.json)))
        << c.path << " " << Read(&stats, c.path);
  }
  // The arguments only with "installer-ui-stats" on (an earlier test of
  // the same process may have turned it on).
  if (!base::IsFeatureEnabled("installer-ui-stats")) {
    EXPECT_EQ("", Read(&stats, "command_line_args"));
  }
  base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                        true, true);
  InstallerStats with_feature(&g_no_ui);
  std::string expected;
  base::JSONWriter::Write(
      base::StringValue(base::UTF16ToUTF8(
          base::CommandLine::ForCurrentProcess()->GetArgumentsString(false))),
      &expected);
  EXPECT_NE("\"\"", expected);
  EXPECT_EQ(expected, Read(&with_feature, "command_line_args"));
}

TEST(InstallerStatsTest, WritesThroughViews) {
  InstallerStats stats(&g_no_ui);
  StatsDictionary* top = stats.stats();
  top->IncrementInteger("counters.new");
  top->IncrementInteger("counters.twice");
  top->IncrementInteger("counters.twice");
  top->SetInteger("counters.set", -5);
  top->IncrementInteger("counters.set");
  top->SetString("a.b.c", "deep");
  top->SetString("version", "replaced");
  StatsDictionary first = top->AppendDictionary("fetches");
  StatsDictionary second = top->AppendDictionary("fetches");
  first.SetString("url", "one");
  second.IncrementInteger("tries");
  second.AppendDictionary("download_chunks").SetString("ip", "::1");
  top->SetString("not_a_list", "x");
  top->AppendDictionary("not_a_list").SetInteger("n", 1);
  top->RecordTime("phase");
  const struct {
    const char* path;
    const char* json;
  } kCases[] = {
      {"counters", "{\"new\":1,\"set\":-4,\"twice\":2}"},
      {"a", "{\"b\":{\"c\":\"deep\"}}"},
      {"version", "\"replaced\""},
      {"fetches",
       "[{\"url\":\"one\"},{\"download_chunks\":[{\"ip\":\"::1\"}],"
       "\"tries\":1}]"},
      {"not_a_list", "[{\"n\":1}]"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.json, Read(&stats, c.path)) << c.path;
  EXPECT_TRUE(
      std::regex_match(Read(&stats, "phase.time"), std::regex(kTimePattern)));
  EXPECT_TRUE(
      std::regex_match(Read(&stats, "phase.elapsed"), std::regex("\\d+")));
}

TEST(InstallerStatsTest, FormatsTimes) {
  const struct {
    base::Time::Exploded exploded;
    const char* text;
  } kCases[] = {
      {{2026, 12, 1, 7, 6, 5, 4, 3}, "2026-12-07 06:05:04.003"},
      {{1601, 1, 1, 1, 0, 0, 0, 0}, "1601-01-01 00:00:00.000"},
      {{30827, 12, 0, 31, 23, 59, 59, 999}, "30827-12-31 23:59:59.999"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.text,
              FormatStatsTime(base::Time::FromExploded(false, c.exploded)));
  }
}

// Chunk counts and addresses of every fetch, in order, duplicates kept;
// entries of the wrong shape are passed over.
TEST(InstallerStatsTest, SummarizesTheFetches) {
  InstallerStats stats(&g_no_ui);
  StatsDictionary* top = stats.stats();
  StatsDictionary fetch = top->AppendDictionary("fetches");
  fetch.AppendDictionary("download_chunks").SetString("ip", "10.0.0.1");
  fetch.AppendDictionary("download_chunks");
  fetch.AppendDictionary("download_chunks").SetString("ip", "10.0.0.2");
  top->AppendDictionary("fetches").SetString("download_chunks", "not a list");
  StatsDictionary third = top->AppendDictionary("fetches");
  third.AppendDictionary("download_chunks").SetString("ip", "10.0.0.1");
  third.AppendDictionary("download_chunks").SetInteger("ip", 7);
  stats.WriteFetchSummary();
  EXPECT_EQ("5", Read(&stats, "wininet_retries"));
  EXPECT_EQ("\"10.0.0.1; 10.0.0.2; 10.0.0.1\"", Read(&stats, "download_ips"));

  // Fetches without chunks: zero and an empty list.
  InstallerStats empty(&g_no_ui);
  empty.stats()->AppendDictionary("fetches");
  empty.WriteFetchSummary();
  EXPECT_EQ("0", Read(&empty, "wininet_retries"));
  EXPECT_EQ("\"\"", Read(&empty, "download_ips"));
}

// Writers on several threads, each through views of its own, lose nothing.
class StatsWriter : public base::SimpleThread {
 public:
  StatsWriter(InstallerStats* stats, int index)
      : base::SimpleThread("StatsWriter"), stats_(stats), index_(index) {}

  static constexpr int kRounds = 300;

  void Run() override {
    StatsDictionary top = *stats_->stats();
    const std::string own = "own." + base::IntToString(index_);
    for (int i = 0; i < kRounds; ++i) {
      top.IncrementInteger("shared");
      top.IncrementInteger(own);
      top.AppendDictionary("fetches")
          .AppendDictionary("download_chunks")
          .SetString("ip", own);
      std::string json;
      if (i % 50 == 0)
        stats_->SerializeRecord(&json);
    }
  }

 private:
  InstallerStats* const stats_;
  const int index_;
};

TEST(InstallerStatsTest, KeepsEveryWriteOfConcurrentWriters) {
  constexpr int kThreads = 4;
  InstallerStats stats(&g_no_ui);
  std::vector<std::unique_ptr<StatsWriter>> writers;
  for (int i = 0; i < kThreads; ++i) {
    writers.emplace_back(new StatsWriter(&stats, i));
    ASSERT_TRUE(writers.back()->Start());
  }
  for (auto& writer : writers)
    writer->Join();
  stats.WriteFetchSummary();
  const std::string total = base::IntToString(kThreads * StatsWriter::kRounds);
  EXPECT_EQ(total, Read(&stats, "shared"));
  EXPECT_EQ(total, Read(&stats, "wininet_retries"));
  const std::string own = base::IntToString(StatsWriter::kRounds);
  EXPECT_EQ("{\"0\":" + own + ",\"1\":" + own + ",\"2\":" + own +
                ",\"3\":" + own + "}",
            Read(&stats, "own"));
}

void CountAndQuit(int* count, const base::Closure& quit) {
  ++*count;
  quit.Run();
}

// Uploads to the loopback server, which stands in for the update server.
class InstallerStatsUploadTest : public testing::Test {
 protected:
  InstallerStatsUploadTest() {
    base::CommandLine::Init();
    saved_command_line_ = *base::CommandLine::ForCurrentProcess();
  }

  ~InstallerStatsUploadTest() override {
    *base::CommandLine::ForCurrentProcess() = saved_command_line_;
    ProductConfiguration::SwapDictionaryForTesting(
        std::move(saved_configuration_));
  }

  void SetUp() override { ASSERT_TRUE(server_.Start()); }

  void SetUpdateServer(const std::string& url) {
    auto configuration = std::make_unique<base::DictionaryValue>();
    configuration->SetString("urls.autoupdate", url);
    std::unique_ptr<base::DictionaryValue> previous =
        ProductConfiguration::SwapDictionaryForTesting(
            std::move(configuration));
    if (!saved_configuration_)
      saved_configuration_ = std::move(previous);
  }

  // Uploads |stats| to its end; the number of times the completion ran.
  int Upload(InstallerStats* stats, bool online, bool* started) {
    base::scoped_refptr<ImmediateRetryRunner> retries =
        new ImmediateRetryRunner;
    stats->client_for_testing()->SetRetryTaskRunnerForTesting(retries);
    int done = 0;
    base::RunLoop run_loop;
    *started = stats->Upload(
        base::Bind(&CountAndQuit, &done, run_loop.QuitClosure()), online);
    if (!done)
      base::test::RunWithTimeout(&run_loop, base::TimeDelta::FromSeconds(30));
    base::test::RunUntilIdle();
    for (int64_t delay : retries->delays_ms())
      EXPECT_EQ(Wininet::kRetryDelayMs, delay);
    return done;
  }

  base::MessageLoop loop_;
  HttpTestServer server_;
  base::CommandLine saved_command_line_{base::CommandLine::NO_PROGRAM};
  std::unique_ptr<base::DictionaryValue> saved_configuration_;
};

// The record goes out as it stands once summed up: a POST of its compact
// JSON to the feedback path under the update server, with or without the
// summary of fetches.
TEST_F(InstallerStatsUploadTest, PostsTheRecordAsJson) {
  SetUpdateServer(base::UTF16ToUTF8(server_.Url("/echo/")));
  for (bool fetched : {true, false}) {
    SCOPED_TRACE(fetched);
    ASSERT_TRUE(server_.Reset());
    InstallerStats stats(&g_no_ui);
    if (fetched) {
      StatsDictionary fetch = stats.stats()->AppendDictionary("fetches");
      fetch.AppendDictionary("download_chunks").SetString("ip", "10.0.0.1");
      fetch.AppendDictionary("download_chunks").SetString("ip", "10.0.0.2");
    }
    bool started = false;
    EXPECT_EQ(1, Upload(&stats, true, &started));
    EXPECT_TRUE(started);
    EXPECT_EQ(Wininet::STATE_COMPLETED, stats.client_for_testing()->state());
    std::string json;
    ASSERT_TRUE(stats.SerializeRecord(&json));
    EXPECT_EQ(fetched ? "2" : "", Read(&stats, "wininet_retries"));
    EXPECT_EQ(fetched ? "\"10.0.0.1; 10.0.0.2\"" : "",
              Read(&stats, "download_ips"));
    std::vector<HttpTestServer::Request> requests = server_.GetRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ("/echo/netinstaller/feedback", requests[0].path);
    EXPECT_EQ(json, requests[0].body);
    EXPECT_EQ(base::IntToString(json.size()),
              requests[0].headers["Content-Length"]);
    EXPECT_EQ(0u, requests[0].headers.count("Range"));
  }
}

// Offline, the upload tries once and retries twice; online it keeps the
// client's patience. Either way the completion runs once.
TEST_F(InstallerStatsUploadTest, RetriesTwiceOnlyAfterAnOfflineInstallation) {
  const struct {
    const char* server;
    bool online;
    size_t requests;
    Wininet::State state;
  } kCases[] = {
      {"/status/503/", false, 3, Wininet::STATE_FAILED},
      {"/seq/503,503,200/", false, 3, Wininet::STATE_COMPLETED},
      {"/seq/503,503,503,200/", false, 3, Wininet::STATE_FAILED},
      {"/seq/503,503,503,503,503,200/", true, 6, Wininet::STATE_COMPLETED},
      {"/status/404/", false, 1, Wininet::STATE_FAILED},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.server);
    ASSERT_TRUE(server_.Reset());
    SetUpdateServer(base::UTF16ToUTF8(server_.Url(c.server)));
    InstallerStats stats(&g_no_ui);
    bool started = false;
    EXPECT_EQ(1, Upload(&stats, c.online, &started));
    EXPECT_TRUE(started);
    EXPECT_EQ(c.state, stats.client_for_testing()->state());
    EXPECT_EQ(c.requests, server_.GetRequests().size());
  }
}

// An upload that cannot begin still reports that it is over, at once.
TEST_F(InstallerStatsUploadTest, CompletesAtOnceWhenItCannotStart) {
  for (const char* server : {"", "http://elsewhere.example.invalid/"}) {
    SCOPED_TRACE(server);
    SetUpdateServer(server);
    InstallerStats stats(&g_no_ui);
    bool started = true;
    EXPECT_EQ(1, Upload(&stats, false, &started));
    EXPECT_FALSE(started);
  }
  EXPECT_TRUE(server_.GetRequests().empty());
}

TEST_F(InstallerStatsUploadTest, TheSwitchChoosesTheLocalServer) {
  SetUpdateServer("https://update.vexlo.example.invalid/");
  EXPECT_EQ(L"https://update.vexlo.example.invalid/netinstaller/feedback",
            InstallerStats::GetUploadUrl());
  base::CommandLine::ForCurrentProcess()->AppendSwitch(
      InstallerStats::kLocalServerSwitch);
  EXPECT_EQ(L"http://localhost:3000/netinstaller/feedback",
            InstallerStats::GetUploadUrl());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

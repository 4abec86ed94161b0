#include <memory>
#include <string>

#include "base/bind.h"
#include "base/json/json_writer.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/lock.h"
#include "base/test/task_test_util.h"
#include "base/values.h"
#include "desktop/launcher/installer/package_fetcher/test/no_ui_callback_runner.h"
#include "desktop/launcher/installer/stats_dictionary.h"
#include "desktop/launcher/installer/wininet/chunk_stats_delegate.h"
#include "desktop/launcher/installer/wininet/fetch_stats_delegate.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/launcher/installer/wininet/test/immediate_retry_runner.h"
#include "desktop/launcher/installer/wininet/wininet.h"
#include "desktop/launcher/installer/wininet/wininet_response_writer.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

class StatsDelegatesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    retry_runner_ = new ImmediateRetryRunner;
    client_.SetRetryTaskRunnerForTesting(retry_runner_);
  }

  // Runs one transfer of |path| to its end with |delegate| watching.
  void Fetch(const std::string& path,
             std::unique_ptr<WininetDelegate> delegate) {
    base::RunLoop run_loop;
    ASSERT_TRUE(client_.Start(server_.Url(path), "", run_loop.QuitClosure(),
                              std::make_unique<DiscardingResponseWriter>(),
                              std::move(delegate)));
    ASSERT_TRUE(base::test::RunWithTimeout(&run_loop,
                                           base::TimeDelta::FromSeconds(30)));
  }

  // The record as JSON, without the keys whose values vary from run to run
  // (times, the server's headers and address); those are checked to be
  // there, or for the address, to be right when WinINet reports it.
  std::string StableJson() {
    base::ListValue* chunks = nullptr;
    if (root_.GetList("download_chunks", &chunks)) {
      for (size_t i = 0; i < chunks->GetSize(); ++i) {
        base::Value* chunk_value = nullptr;
        base::DictionaryValue* chunk = nullptr;
        if (!chunks->Get(i, &chunk_value) ||
            !chunk_value->GetAsDictionary(&chunk)) {
          ADD_FAILURE() << "chunk " << i << " is not a dictionary";
          continue;
        }
        std::string text;
        for (const char* key : {"chunk_start_time.time", "chunk_end_time.time",
                                "headers.Server"}) {
          EXPECT_TRUE(chunk->GetString(key, &text)) << key << " of " << i;
        }
        if (chunk->GetString("ip", &text)) {
          EXPECT_EQ("127.0.0.1", text);
        }
        for (const char* key :
             {"chunk_start_time", "chunk_end_time", "headers", "ip"}) {
          chunk->Remove(key, nullptr);
        }
      }
    }
    std::string json;
    base::JSONWriter::Write(root_, &json);
    return json;
  }

  base::MessageLoop loop_;
  HttpTestServer server_;
  NoUICallbackRunner ui_runner_;
  base::scoped_refptr<ImmediateRetryRunner> retry_runner_;
  Wininet client_{&ui_runner_, nullptr};
  base::DictionaryValue root_;
  base::Lock lock_;
  StatsDictionary record_{&root_, &lock_, base::TimeTicks::Now()};
};

TEST_F(StatsDelegatesTest, FetchDelegateKeepsTheErrorAndStatusUnderItsPrefix) {
  Fetch("/status/404",
        std::make_unique<FetchStatsDelegate>(record_, "fetch_download_url_"));
  EXPECT_EQ(
      "{\"fetch_download_url_http_status\":404,"
      "\"fetch_download_url_wininet_error\":0}",
      StableJson());
}

// One record per request: a cut body's resume and a retry after a busy
// server each start a new chunk, numbered on from the last (the retry asks
// for a range too, so its answer is a 206).
TEST_F(StatsDelegatesTest, ChunkDelegateRecordsEveryRequest) {
  const struct {
    const char* path;
    const char* json;
  } kCases[] = {
      {"/bytes/3000?cut=1000",
       "{\"download_chunks\":["
       "{\"chunk_end\":1000,\"chunk_number\":0,\"chunk_start\":0,"
       "\"http_status\":200,\"wininet_error\":0},"
       "{\"chunk_end\":3000,\"chunk_number\":1,\"chunk_start\":1000,"
       "\"http_status\":206,\"retry_count\":0,\"wininet_error\":0}]}"},
      {"/seq/503,200?size=1000",
       "{\"download_chunks\":["
       "{\"chunk_end\":0,\"chunk_number\":0,\"chunk_start\":0,"
       "\"http_status\":503,\"wininet_error\":0},"
       "{\"chunk_end\":1000,\"chunk_number\":1,\"chunk_start\":0,"
       "\"http_status\":206,\"retry_count\":1,\"wininet_error\":0}]}"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    root_.Clear();
    Fetch(c.path,
          std::make_unique<ChunkStatsDelegate>(record_, "download_chunks"));
    EXPECT_EQ(c.json, StableJson());
  }
}

// What arrives before the first chunk has no record to go to; text is
// stored as UTF-8.
TEST_F(StatsDelegatesTest, ChunkDelegateWritesOnlyIntoAStartedChunk) {
  ChunkStatsDelegate delegate(record_, "list");
  delegate.OnHttpStatus(500);
  delegate.OnChunkEnd(9);
  EXPECT_TRUE(root_.empty());
  delegate.OnChunkStart(5);
  delegate.OnRedirected(L"http://h\u00e9/");
  delegate.OnResponseHeader(L"X-Served-By", L"\u00e9");
  delegate.OnServerAddress("::1");
  delegate.OnChunkEnd(7);
  delegate.OnChunkStart(7);
  std::string json;
  base::JSONWriter::Write(root_, &json);
  EXPECT_NE(std::string::npos,
            json.find("\"chunk_end\":7,\"chunk_end_time\":{"))
      << json;
  EXPECT_NE(std::string::npos, json.find("\"chunk_number\":0,\"chunk_start\":5,"
                                         "\"chunk_start_time\":{"))
      << json;
  EXPECT_NE(
      std::string::npos,
      json.find("\"headers\":{\"X-Served-By\":\"\xc3\xa9\"},"
                "\"ip\":\"::1\",\"redirected_url\":\"http://h\xc3\xa9/\"}"))
      << json;
  EXPECT_NE(std::string::npos,
            json.find("{\"chunk_number\":1,\"chunk_start\":7,"))
      << json;
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

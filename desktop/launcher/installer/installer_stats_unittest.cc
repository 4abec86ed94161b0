#include "desktop/launcher/installer/installer_stats.h"

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/simple_thread.h"
#include "base/values.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_info.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// The record as the upload would send it, read back.
std::unique_ptr<base::DictionaryValue> ReadRecord(InstallerStats* stats) {
  std::string json;
  EXPECT_TRUE(stats->SerializeRecord(&json));
  std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary))
    return nullptr;
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

bool IsStatsTime(const std::string& text) {
  return std::regex_match(
      text, std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}"));
}

TEST(InstallerStatsTest, StartsTheRecord) {
  InstallerStats stats;
  std::unique_ptr<base::DictionaryValue> record = ReadRecord(&stats);
  ASSERT_TRUE(record);
  std::string text;
  int number = -1;
  EXPECT_TRUE(record->GetString("installer_start_time.time", &text));
  EXPECT_TRUE(IsStatsTime(text)) << text;
  EXPECT_TRUE(record->GetInteger("installer_start_time.elapsed", &number));
  EXPECT_GE(number, 0);
  EXPECT_TRUE(record->GetString("installation_start_time", &text));
  EXPECT_TRUE(IsStatsTime(text)) << text;
  EXPECT_TRUE(record->GetString("version", &text));
  EXPECT_EQ(ProductInfo::GetVersionString(), text);
  EXPECT_TRUE(record->GetString("stream", &text));
  EXPECT_EQ(ProductInfo::GetChannel(), text);
  EXPECT_TRUE(record->GetString("product", &text));
  EXPECT_EQ(ProductInfo::GetProductName(), text);
  EXPECT_TRUE(record->GetString("os.name", &text));
  EXPECT_EQ("windows", text);
  const base::win::OSInfo* os = base::win::OSInfo::GetInstance();
  const struct {
    const char* path;
    int value;
  } kNumbers[] = {
      {"os.version.major", os->version_number().major},
      {"os.version.minor", os->version_number().minor},
      {"os.version.build", os->version_number().build},
      {"os.service_pack.major", os->service_pack().major},
      {"os.service_pack.minor", os->service_pack().minor},
  };
  for (const auto& n : kNumbers) {
    EXPECT_TRUE(record->GetInteger(n.path, &number)) << n.path;
    EXPECT_EQ(n.value, number) << n.path;
  }
  // No fetch yet: no download summary.
  stats.WriteFetchSummary();
  record = ReadRecord(&stats);
  EXPECT_FALSE(record->Get("wininet_retries", nullptr));
  EXPECT_FALSE(record->Get("download_ips", nullptr));
}

// The command line goes into the record only with "installer-ui-stats" on.
TEST(InstallerStatsTest, RecordsTheArgumentsWithTheFeatureOnly) {
  base::CommandLine::Init();
  EXPECT_FALSE(
      ReadRecord(std::unique_ptr<InstallerStats>(new InstallerStats).get())
          ->Get("command_line_args", nullptr));
  base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                        true, true);
  InstallerStats stats;
  std::string arguments;
  EXPECT_TRUE(ReadRecord(&stats)->GetString("command_line_args", &arguments));
  EXPECT_EQ(
      base::UTF16ToUTF8(
          base::CommandLine::ForCurrentProcess()->GetArgumentsString(false)),
      arguments);
  EXPECT_FALSE(arguments.empty());
}

TEST(InstallerStatsTest, WritesThroughViews) {
  InstallerStats stats;
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

  std::unique_ptr<base::DictionaryValue> record = ReadRecord(&stats);
  ASSERT_TRUE(record);
  std::string json;
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
  for (const auto& c : kCases) {
    const base::Value* value = nullptr;
    ASSERT_TRUE(record->Get(c.path, &value)) << c.path;
    std::string text;
    base::JSONWriter::Write(*value, &text);
    EXPECT_EQ(c.json, text) << c.path;
  }
  std::string time;
  int elapsed = -1;
  EXPECT_TRUE(record->GetString("phase.time", &time));
  EXPECT_TRUE(IsStatsTime(time));
  EXPECT_TRUE(record->GetInteger("phase.elapsed", &elapsed));
  EXPECT_GE(elapsed, 0);
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
  InstallerStats stats;
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

  std::unique_ptr<base::DictionaryValue> record = ReadRecord(&stats);
  int retries = 0;
  std::string addresses;
  EXPECT_TRUE(record->GetInteger("wininet_retries", &retries));
  EXPECT_EQ(5, retries);
  EXPECT_TRUE(record->GetString("download_ips", &addresses));
  EXPECT_EQ("10.0.0.1; 10.0.0.2; 10.0.0.1", addresses);

  // Fetches without chunks: zero and an empty list.
  InstallerStats empty;
  empty.stats()->AppendDictionary("fetches");
  empty.WriteFetchSummary();
  record = ReadRecord(&empty);
  EXPECT_TRUE(record->GetInteger("wininet_retries", &retries));
  EXPECT_EQ(0, retries);
  EXPECT_TRUE(record->GetString("download_ips", &addresses));
  EXPECT_EQ("", addresses);
}

// Writers on several threads, each through views of its own, lose nothing.
class StatsWriter : public base::SimpleThread {
 public:
  StatsWriter(InstallerStats* stats, int index)
      : base::SimpleThread("StatsWriter"), stats_(stats), index_(index) {}

  static constexpr int kRounds = 300;

  void Run() override {
    StatsDictionary top = *stats_->stats();
    const std::string own = "own." + std::to_string(index_);
    for (int i = 0; i < kRounds; ++i) {
      top.IncrementInteger("shared.count");
      top.IncrementInteger(own);
      StatsDictionary fetch = top.AppendDictionary("fetches");
      fetch.AppendDictionary("download_chunks").SetString("ip", own);
      if (i % 50 == 0) {
        std::string json;
        stats_->SerializeRecord(&json);
      }
    }
  }

 private:
  InstallerStats* const stats_;
  const int index_;
};

TEST(InstallerStatsTest, KeepsEveryWriteOfConcurrentWriters) {
  constexpr int kThreads = 4;
  InstallerStats stats;
  std::vector<std::unique_ptr<StatsWriter>> writers;
  for (int i = 0; i < kThreads; ++i) {
    writers.emplace_back(new StatsWriter(&stats, i));
    ASSERT_TRUE(writers.back()->Start());
  }
  for (auto& writer : writers)
    writer->Join();
  stats.WriteFetchSummary();

  std::unique_ptr<base::DictionaryValue> record = ReadRecord(&stats);
  int count = 0;
  EXPECT_TRUE(record->GetInteger("shared.count", &count));
  EXPECT_EQ(kThreads * StatsWriter::kRounds, count);
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_TRUE(record->GetInteger("own." + std::to_string(i), &count));
    EXPECT_EQ(StatsWriter::kRounds, count);
  }
  EXPECT_TRUE(record->GetInteger("wininet_retries", &count));
  EXPECT_EQ(kThreads * StatsWriter::kRounds, count);
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

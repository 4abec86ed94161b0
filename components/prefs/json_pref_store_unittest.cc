#include "components/prefs/json_pref_store.h"

#include <float.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/message_loop/message_loop.h"
#include "base/metrics/histogram_base.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/null_task_runner.h"
#include "base/test/random_value_tree.h"
#include "base/test/test_simple_task_runner.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/time/clock.h"
#include "base/values.h"
#include "components/prefs/pref_store_observer.h"
#include "gtest/gtest.h"

namespace {

using base::DictionaryValue;
using base::FilePath;
using base::Value;
using Store = PersistentPrefStoreInterface;
constexpr uint32_t kLossy = Store::kLossyPrefWriteFlag;

// JSON in the tables below uses ' for ", to keep them short.
std::unique_ptr<Value> Parsed(std::string json) {
  std::replace(json.begin(), json.end(), '\'', '"');
  return base::JSONReader::Read(json);
}

// The value at |key| as JSON, or "-".
std::string ValueAt(const PrefStoreInterface& store, const std::string& key) {
  const Value* value = nullptr;
  std::string json = "-";
  if (store.GetValue(key, &value))
    base::JSONWriter::Write(*value, &json);
  return json;
}

// A file's contents with " as ', or "-" when it cannot be read.
std::string ReadText(const FilePath& path) {
  std::string contents;
  if (!base::ReadFileToString(path, &contents))
    return "-";
  std::replace(contents.begin(), contents.end(), '"', '\'');
  return contents;
}

void WriteText(const FilePath& path, std::string text) {
  std::replace(text.begin(), text.end(), '\'', '"');
  EXPECT_EQ(static_cast<int>(text.size()),
            base::WriteFile(path, text.data(), static_cast<int>(text.size())));
}

// Holds |path| open without sharing, as another process may.
void Lock(base::File* holder, const FilePath& path) {
  holder->Initialize(path, base::File::FLAG_OPEN | base::File::FLAG_READ |
                               base::File::FLAG_EXCLUSIVE_READ |
                               base::File::FLAG_EXCLUSIVE_WRITE);
}

// Logs what a store tells its observers and its error delegate.
class Recorder : public PrefStoreObserver, public PrefReadErrorDelegate {
 public:
  explicit Recorder(std::string* log) : log_(log) {}
  void OnValueChanged(const std::string& key) override { *log_ += key + ","; }
  void OnInitialized(bool succeeded) override {
    *log_ += succeeded ? "initialized," : "failed,";
  }
  void OnReadError(int32_t error) override {
    *log_ += "error " + base::IntToString(error) + ",";
  }

 private:
  std::string* const log_;
};

// The store's timer and disk work go to runners that run only when the test
// says so: the commit interval passes when the timer's task runs.
class JsonPrefStoreTest : public testing::Test {
 protected:
  JsonPrefStoreTest()
      : thread_runner_(new base::TestSimpleTaskRunner),
        file_runner_(new base::TestSimpleTaskRunner),
        thread_handle_(thread_runner_),
        recorder_(&log_),
        path_(dir_.path().Append(L"prefs.json")),
        bad_path_(dir_.path().Append(L"prefs.bad")) {}

  base::scoped_refptr<JsonPrefStore> NewStore(
      std::unique_ptr<PrefStoreFilter> filter = nullptr) {
    base::scoped_refptr<JsonPrefStore> store =
        new JsonPrefStore(path_, file_runner_, std::move(filter));
    store->AddObserver(&recorder_);
    return store;
  }

  // Lets every timer fall due and every disk task run.
  void RunAll() {
    for (int round = 0; round < 100 && (thread_runner_->HasPendingTask() ||
                                        file_runner_->HasPendingTask());
         ++round) {
      thread_runner_->RunUntilIdle();
      file_runner_->RunUntilIdle();
    }
  }

  // Where a write is on its way: 'f' on the file runner, 't' a timer with
  // the commit interval on the store's thread, '-' nowhere.
  char Pending() const {
    if (file_runner_->HasPendingTask())
      return 'f';
    for (const auto& posted : thread_runner_->GetPendingTasks()) {
      if (posted.delay == base::TimeDelta::FromSeconds(10))
        return 't';
    }
    return '-';
  }

  // What was logged since the last call.
  std::string TakeLog() {
    std::string log;
    log.swap(log_);
    return log;
  }

  base::scoped_refptr<base::TestSimpleTaskRunner> thread_runner_;
  base::scoped_refptr<base::TestSimpleTaskRunner> file_runner_;
  base::ThreadTaskRunnerHandle thread_handle_;
  std::string log_;
  Recorder recorder_;
  base::UniqueTestDir dir_;
  FilePath path_;
  FilePath bad_path_;
};

// A file that cannot be read survives: a corrupt one moved aside, an
// unreadable one untouched by a store that turns read-only.
TEST_F(JsonPrefStoreTest, ReadFailuresKeepWhatCouldNotBeRead) {
  const struct {
    const char* contents;  // Null: no file; "/": a folder in its place.
    const char* bad;       // The ".bad" file before the read, or null.
    char locked;           // 'f': the file, 'b': the ".bad" file.
    Store::PrefReadError error;
    const char* file_after;
    const char* bad_after;
  } kCases[] = {
      {nullptr, nullptr, 0, Store::PREF_READ_ERROR_NO_FILE, "{'k':1}", "-"},
      {"[1]", nullptr, 0, Store::PREF_READ_ERROR_JSON_TYPE, "{'k':1}", "[1]"},
      {"{", nullptr, 0, Store::PREF_READ_ERROR_JSON_PARSE, "{'k':1}", "{"},
      {"{'a':", "old", 0, Store::PREF_READ_ERROR_JSON_REPEAT, "{'k':1}",
       "{'a':"},
      {"{", "old", 'b', Store::PREF_READ_ERROR_FILE_OTHER, "{", "old"},
      {"{'a':1}", nullptr, 'f', Store::PREF_READ_ERROR_FILE_LOCKED, "{'a':1}",
       "-"},
      {"/", nullptr, 0, Store::PREF_READ_ERROR_ACCESS_DENIED, "-", "-"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.error);
    base::DeleteFile(path_, true);
    base::DeleteFile(bad_path_, false);
    if (c.contents && c.contents[0] == '/')
      ASSERT_TRUE(base::CreateDirectory(path_));
    else if (c.contents)
      WriteText(path_, c.contents);
    if (c.bad)
      WriteText(bad_path_, c.bad);
    base::File holder;
    if (c.locked)
      Lock(&holder, c.locked == 'f' ? path_ : bad_path_);
    base::scoped_refptr<JsonPrefStore> store = NewStore();
    store->ReadPrefsAsync(std::make_unique<Recorder>(&log_));
    RunAll();
    EXPECT_EQ(c.error, store->GetReadError());
    EXPECT_EQ("error " + base::IntToString(c.error) + ",initialized,",
              TakeLog());
    // Read-only, changes live in memory only.
    const bool read_only = c.error >= Store::PREF_READ_ERROR_ACCESS_DENIED &&
                           c.error <= Store::PREF_READ_ERROR_FILE_LOCKED;
    EXPECT_EQ(read_only, store->IsReadOnly());
    store->SetValue("k", Parsed("1"), 0);
    store->SetValue("l", Parsed("2"), kLossy);
    store->FlushLossyChanges();
    EXPECT_EQ(read_only ? '-' : 't', Pending());
    EXPECT_EQ("2", ValueAt(*store, "l"));
    store->RemoveValue("l", kLossy);
    store = nullptr;
    RunAll();
    holder.Close();
    EXPECT_EQ(c.file_after, ReadText(path_));
    EXPECT_EQ(c.bad_after, ReadText(bad_path_));
    TakeLog();
  }
}

// A store writes its file only once it has read it: one gone before its
// read ended, or one whose read failed, leaves the file as it was.
TEST_F(JsonPrefStoreTest, NeverWritesOverAFileItHasNotRead) {
  // a: read asynchronously; s: change; f, t: run what waits on the file
  // runner or the store's; r: release the store; l, u: lock, unlock the file.
  const struct {
    const char* steps;
    const char* file_after;
  } kCases[] = {
      {"asr", "{'also':2,'keep':1}"},
      {"afsr", "{'also':2,'keep':1}"},
      {"astr", "{'also':2,'keep':1}"},
      {"lafsutr", "{'also':2,'keep':1}"},
      {"aftsr", "{'also':2,'keep':1,'new':3}"},
  };
  for (const auto& c : kCases) {
    WriteText(path_, "{'also':2,'keep':1}");
    base::scoped_refptr<JsonPrefStore> store = NewStore();
    base::File holder;
    for (const char* step = c.steps; *step; ++step) {
      if (*step == 'a')
        store->ReadPrefsAsync(nullptr);
      else if (*step == 's')
        store->SetValue("new", Parsed("3"), 0);
      else if (*step == 'f')
        file_runner_->RunPendingTasks();
      else if (*step == 't')
        thread_runner_->RunPendingTasks();
      else if (*step == 'r')
        store = nullptr;
      else if (*step == 'l')
        Lock(&holder, path_);
      else
        holder.Close();
    }
    RunAll();
    EXPECT_EQ(c.file_after, ReadText(path_)) << c.steps;
  }
}

TEST_F(JsonPrefStoreTest, ReadsAsynchronouslyOrFromTheAlternateFile) {
  WriteText(path_, "{'a':1}");
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  store->ReadPrefsAsync(std::make_unique<Recorder>(&log_));
  ASSERT_EQ(1u, file_runner_->GetPendingTasks().size());
  EXPECT_STREQ("JsonPrefStore::ReadPrefsAsync",
               file_runner_->GetPendingTasks()[0].from_here.function_name());
  // The result is taken in on the store's thread.
  file_runner_->RunUntilIdle();
  EXPECT_FALSE(store->IsInitializationComplete());
  thread_runner_->RunUntilIdle();
  EXPECT_EQ("initialized, 1", TakeLog() + " " + ValueAt(*store, "a"));
  // A runner that refuses the read leaves it to the calling thread.
  store = new JsonPrefStore(path_, new base::NullTaskRunner, nullptr);
  store->ReadPrefsAsync(nullptr);
  EXPECT_EQ("1", ValueAt(*store, "a"));

  // No folder: the store stays uninitialized, and the error is not told.
  const FilePath alternate = dir_.path().Append(L"old.json");
  WriteText(alternate, "{'alt':1}");
  path_ = dir_.path().Append(L"missing\\prefs.json");
  store = NewStore();
  EXPECT_EQ(Store::PREF_READ_ERROR_NO_FILE, store->ReadPrefs());
  store->ReadPrefsAsync(std::make_unique<Recorder>(&log_));
  RunAll();
  EXPECT_FALSE(store->IsInitializationComplete());
  EXPECT_EQ("failed,failed,", TakeLog());
  // Without a file of its own, a store takes over the alternate one.
  path_ = dir_.path().Append(L"new.json");
  for (const char* alternate_text : {"{'alt':2}", "{'alt':3}"}) {
    WriteText(alternate, alternate_text);
    store = new JsonPrefStore(path_, alternate, file_runner_, nullptr);
    EXPECT_EQ(Store::PREF_READ_ERROR_NONE, store->ReadPrefs());
    EXPECT_EQ("2", ValueAt(*store, "alt"));
  }
  EXPECT_EQ("{'alt':3}", ReadText(alternate));
}

// Only real changes notify and write; lossy ones wait for the next write.
TEST_F(JsonPrefStoreTest, ChangesNotifyAndWrite) {
  WriteText(path_, "{'a':{'b':1}}");
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  EXPECT_TRUE(store->HasObservers() && !store->IsInitializationComplete());
  EXPECT_EQ(Store::PREF_READ_ERROR_NONE, store->ReadPrefs());
  EXPECT_TRUE(store->IsInitializationComplete() && !store->IsReadOnly());
  EXPECT_EQ("initialized, 1 -", TakeLog() + " " + ValueAt(*store, "a.b") + " " +
                                    ValueAt(*store, "a.c"));
  const struct {
    const char* op;
    const char* key;
    const char* json;
    const char* log;
    char pending;
    const char* file;
  } kSteps[] = {
      {"inplace", "a", "2", "a,", 't', "{'a':{'b':1,'c':2}}"},
      {"set", "a", "1", "a,", 't', "{'a':1}"},
      {"set", "a", "1", "", '-', "{'a':1}"},
      {"set", "a", "1.0", "a,", 't', "{'a':1.0}"},
      {"quiet", "b", "2", "", 't', "{'a':1.0,'b':2}"},
      {"set", "c.d", "[]", "c.d,", 't', "{'a':1.0,'b':2,'c':{'d':[]}}"},
      {"remove", "c.d", "", "c.d,", 't', "{'a':1.0,'b':2}"},
      {"remove", "c.d", "", "", '-', "{'a':1.0,'b':2}"},
      {"lossy", "l", "1", "l,", '-', "{'a':1.0,'b':2}"},
      {"flush", "", "", "", 't', "{'a':1.0,'b':2,'l':1}"},
      {"flush", "", "", "", '-', "{'a':1.0,'b':2,'l':1}"},
      {"lossy", "l", "2", "l,", '-', "{'a':1.0,'b':2,'l':1}"},
      {"set", "b", "3", "b,", 't', "{'a':1.0,'b':3,'l':2}"},
      {"quiet", "b", "3", "", '-', "{'a':1.0,'b':3,'l':2}"},
      {"lossy", "l", "4", "l,", '-', "{'a':1.0,'b':3,'l':2}"},
      {"commit", "", "", "", 'f', "{'a':1.0,'b':3,'l':4}"},
  };
  for (const auto& step : kSteps) {
    const std::string op = step.op;
    Value* value = nullptr;
    if (op == "set" || op == "lossy") {
      store->SetValue(step.key, Parsed(step.json), op == "set" ? 0 : kLossy);
    } else if (op == "inplace" && store->GetMutableValue(step.key, &value)) {
      static_cast<DictionaryValue*>(value)->Set("c", Parsed(step.json));
      store->NotifyValueChanged(step.key, 0);
    } else if (op == "quiet") {
      store->SetValueWithoutNotification(step.key, Parsed(step.json), 0);
    } else if (op == "remove") {
      store->RemoveValue(step.key, 0);
    } else if (op == "flush") {
      store->FlushLossyChanges();
    } else if (op == "commit") {
      store->CommitPendingWrite();
    }
    EXPECT_EQ(step.log, TakeLog()) << op << " " << step.key;
    EXPECT_EQ(step.pending, Pending()) << op << " " << step.key;
    RunAll();
    EXPECT_EQ(step.file, ReadText(path_)) << op << " " << step.key;
  }
  // The store's end writes what is pending at once, lossy changes included.
  store->SetValue("l", Parsed("5"), kLossy);
  store->RemoveObserver(&recorder_);
  EXPECT_FALSE(store->HasObservers());
  store = nullptr;
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{'a':1.0,'b':3,'l':5}", ReadText(path_));
}

// Whatever a store writes, the next one reads back equal: no file is ever
// moved aside as corrupt.
TEST_F(JsonPrefStoreTest, WrittenValuesReadBackEqual) {
  std::vector<std::unique_ptr<Value>> values;
  // Noncharacters and a zero byte, in keys and in values.
  for (const std::string& text :
       {std::string("\xEF\xB7\x90"), std::string("\xEF\xBF\xBE"),
        std::string("\xF4\x8F\xBF\xBF"), std::string("a\0b", 3)}) {
    auto dictionary = std::make_unique<DictionaryValue>();
    dictionary->SetStringWithoutPathExpansion("key " + text, text);
    values.push_back(std::move(dictionary));
  }
  for (double number : {1e-310, -5e-324, 2.225073858507201e-308, DBL_MAX})
    values.push_back(std::make_unique<base::FundamentalValue>(number));
  base::RandomValueTree random_trees(7);
  for (int i = 0; i < 30; ++i)
    values.push_back(random_trees.NextDictionary(3));
  for (const auto& value : values) {
    base::scoped_refptr<JsonPrefStore> writer = NewStore();
    writer->ReadPrefs();
    writer->SetValue("v", value->CreateDeepCopy(), 0);
    writer = nullptr;
    RunAll();
    base::scoped_refptr<JsonPrefStore> reader = NewStore();
    EXPECT_EQ(Store::PREF_READ_ERROR_NONE, reader->ReadPrefs());
    const Value* read = nullptr;
    EXPECT_TRUE(reader->GetValue("v", &read) && read->Equals(value.get()))
        << ReadText(path_);
    ASSERT_FALSE(base::PathExists(bad_path_)) << ReadText(bad_path_);
  }
}

// Hands the callback that ends the read to the test, logs updates and marks
// what it serializes.
class HoldingFilter : public PrefStoreFilter {
 public:
  HoldingFilter(std::string* log, PostFilterOnLoadCallback* callback)
      : log_(log), callback_(callback) {}
  void OnLoad(const PostFilterOnLoadCallback& callback,
              std::unique_ptr<DictionaryValue>) override {
    *callback_ = callback;
  }
  void OnUpdate(const std::string&) override { *log_ += "update,"; }
  void OnSerialize(DictionaryValue* contents) override {
    contents->SetInteger("serialized", 1);
  }

 private:
  std::string* const log_;
  PostFilterOnLoadCallback* const callback_;
};

TEST_F(JsonPrefStoreTest, AFilterHoldsTheReadUntilItIsDone) {
  WriteText(path_, "{'a':1}");
  PrefStoreFilter::PostFilterOnLoadCallback callback;
  base::scoped_refptr<JsonPrefStore> store =
      NewStore(std::make_unique<HoldingFilter>(&log_, &callback));
  EXPECT_EQ(Store::PREF_READ_ERROR_ASYNCHRONOUS_TASK_INCOMPLETE,
            store->ReadPrefs());
  EXPECT_FALSE(store->IsInitializationComplete());
  // The filter's dictionary replaces the one read; it may ask for a write.
  auto filtered = std::make_unique<DictionaryValue>();
  filtered->SetInteger("filtered", 1);
  callback.Run(std::move(filtered), true);
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_EQ('t', Pending());
  store->SetValue("b", Parsed("2"), 0);
  EXPECT_EQ("initialized,update,b,", TakeLog());
  RunAll();
  EXPECT_EQ("{'b':2,'filtered':1,'serialized':1}", ReadText(path_));
  // A filter finishing after its store is gone does nothing.
  store = NewStore(std::make_unique<HoldingFilter>(&log_, &callback));
  store->ReadPrefs();
  store = nullptr;
  callback.Run(std::make_unique<DictionaryValue>(), true);
  RunAll();
  EXPECT_EQ("{'b':2,'filtered':1,'serialized':1}", ReadText(path_));
}

class FakeClock : public base::Clock {
 public:
  explicit FakeClock(base::Time* now) : now_(now) {}
  base::Time Now() override { return *now_; }

 private:
  base::Time* const now_;
};

class RecordingHistogram : public base::HistogramBase {
 public:
  RecordingHistogram() : HistogramBase("test") {}
  void Add(Sample value) override { samples += base::IntToString(value) + ","; }
  std::string samples;
};

TEST(JsonPrefStoreWriteCountRecorderTest, ReportsWritesPerFiveMinutes) {
  const base::Time start = base::Time::FromInternalValue(1000000000000);
  base::Time now = start;
  RecordingHistogram histogram;
  {
    JsonPrefStore::WriteCountRecorder recorder(
        base::TimeDelta::FromSeconds(10), FilePath(L"prefs.json"),
        std::make_unique<FakeClock>(&now), &histogram);
    // At a time (s), writes recorded or -1 for a report; then the samples,
    // the writes counted and the time of the last report.
    const struct {
      int64_t seconds;
      int writes;
      const char* samples;
      uint32_t counted;
      int64_t last_report;
    } kSteps[] = {
        {0, 4, "", 4, 0},
        // Twelve minutes on: 4 writes in the first interval, none in the
        // second; the third has just begun.
        {720, -1, "4,0,", 0, 600},
        // One interval after the last report is not yet past it.
        {900, 2, "4,0,", 2, 600},
        {901, 1, "4,0,2,", 1, 900},
        // A clock set back reports nothing.
        {0, -1, "4,0,2,", 1, 900},
        {1260, 0, "4,0,2,", 1, 900},
    };
    for (const auto& step : kSteps) {
      now = start + base::TimeDelta::FromSeconds(step.seconds);
      for (int i = 0; i < step.writes; ++i)
        recorder.RecordWriteOccurred();
      if (step.writes < 0)
        recorder.ReportOutstandingWrites();
      EXPECT_EQ(step.samples, histogram.samples) << step.seconds;
      EXPECT_EQ(step.counted, recorder.writes_since_last_report());
      EXPECT_EQ(start + base::TimeDelta::FromSeconds(step.last_report),
                recorder.last_report_time());
    }
  }
  // Its end reports what is outstanding.
  EXPECT_EQ("4,0,2,1,", histogram.samples);
}

// With a real worker pool: all the disk work of one file runs in the order
// posted, whichever runner of the file posts it, and shutdown waits for it.
class JsonPrefStorePoolTest : public testing::Test, public PrefStoreObserver {
 public:
  static void WriteAfterPause(const FilePath& path) {
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(50));
    WriteText(path, "{'a':1}");
  }
  void OnValueChanged(const std::string&) override {}
  void OnInitialized(bool) override { run_loop_.Quit(); }

  base::MessageLoop loop_;
  base::RunLoop run_loop_;
  base::UniqueTestDir dir_;
};

TEST_F(JsonPrefStorePoolTest, OneFileHasOneSequence) {
  const FilePath path = dir_.path().Append(L"prefs.json");
  base::scoped_refptr<base::SequencedWorkerPool> pool(
      new base::SequencedWorkerPool(3, "PrefsTaskPool"));
  // The file appears only after a pause: a free worker would read before it
  // if the two runners did not share a sequence.
  JsonPrefStore::GetTaskRunnerForFile(path, pool.get())
      ->PostTask(LOCATION_FROM_HERE("OneFileHasOneSequence"),
                 base::Bind(&WriteAfterPause, path));
  base::scoped_refptr<JsonPrefStore> store(new JsonPrefStore(
      path, JsonPrefStore::GetTaskRunnerForFile(path, pool.get()), nullptr));
  store->AddObserver(this);
  store->ReadPrefsAsync(nullptr);
  base::ThreadTaskRunnerHandle::Get()->PostDelayedTask(
      LOCATION_FROM_HERE("OneFileHasOneSequence"), run_loop_.QuitClosure(),
      base::TimeDelta::FromSeconds(30));
  run_loop_.Run();
  EXPECT_EQ("1", ValueAt(*store, "a"));

  store->SetValue("a", Parsed("2"), 0);
  store->CommitPendingWrite();
  store->SetValue("a", Parsed("3"), 0);
  store->RemoveObserver(this);
  // The store's end hands the last change to the pool.
  store = nullptr;
  pool->Shutdown(0);
  // Shutdown waits for both writes.
  EXPECT_EQ("{'a':3}", ReadText(path));
}

}  // namespace

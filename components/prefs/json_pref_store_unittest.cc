#include "components/prefs/json_pref_store.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/metrics/histogram_base.h"
#include "base/run_loop.h"
#include "base/synchronization/lock.h"
#include "base/test/null_task_runner.h"
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
using base::FundamentalValue;
using base::Value;
using Store = PersistentPrefStoreInterface;

std::unique_ptr<Value> Int(int value) {
  return std::unique_ptr<Value>(new FundamentalValue(value));
}

// The integer at |key|, or -1.
int IntAt(const PrefStoreInterface& store, const std::string& key) {
  const Value* value = nullptr;
  int result = -1;
  if (store.GetValue(key, &value))
    value->GetAsInteger(&result);
  return result;
}

std::string ReadText(const FilePath& path) {
  std::string contents;
  if (!base::ReadFileToString(path, &contents))
    return "(unreadable)";
  return contents;
}

// Keeps what a store tells its observers, in order, in one log shared with
// the error delegate.
class RecordingObserver : public PrefStoreObserver {
 public:
  explicit RecordingObserver(std::vector<std::string>* log) : log_(log) {}

  void OnValueChanged(const std::string& key) override {
    log_->push_back("changed " + key);
  }
  void OnInitialized(bool succeeded) override {
    log_->push_back(succeeded ? "initialized" : "initialization failed");
  }

 private:
  std::vector<std::string>* const log_;
};

class RecordingErrorDelegate : public PrefReadErrorDelegate {
 public:
  explicit RecordingErrorDelegate(std::vector<std::string>* log) : log_(log) {}

  void OnReadError(int32_t error) override {
    log_->push_back("error " + std::to_string(error));
  }

 private:
  std::vector<std::string>* const log_;
};

// The store's timer and disk work go to runners that run only when the test
// says so: the commit interval passes when the timer's task runs.
class JsonPrefStoreTest : public testing::Test {
 protected:
  JsonPrefStoreTest()
      : thread_runner_(new base::TestSimpleTaskRunner),
        file_runner_(new base::TestSimpleTaskRunner),
        thread_handle_(thread_runner_) {}

  void SetUp() override {
    ASSERT_TRUE(dir_.IsValid());
    path_ = dir_.path().Append(L"prefs.json");
    bad_path_ = dir_.path().Append(L"prefs.bad");
  }

  base::scoped_refptr<JsonPrefStore> NewStore(
      std::unique_ptr<PrefStoreFilter> filter = nullptr) {
    return new JsonPrefStore(path_, file_runner_, std::move(filter));
  }

  void WriteText(const FilePath& path, const std::string& text) {
    ASSERT_EQ(
        static_cast<int>(text.size()),
        base::WriteFile(path, text.data(), static_cast<int>(text.size())));
  }

  // Lets every timer fall due and every disk task run.
  void RunAll() {
    while (thread_runner_->HasPendingTask() || file_runner_->HasPendingTask()) {
      thread_runner_->RunUntilIdle();
      file_runner_->RunUntilIdle();
    }
  }

  // A timer waits on the store's thread with the commit interval.
  bool WriteIsScheduled() const {
    for (const auto& posted : thread_runner_->GetPendingTasks()) {
      if (posted.delay == base::TimeDelta::FromSeconds(10))
        return true;
    }
    return false;
  }

  base::UniqueTestDir dir_;
  FilePath path_;
  FilePath bad_path_;
  base::scoped_refptr<base::TestSimpleTaskRunner> thread_runner_;
  base::scoped_refptr<base::TestSimpleTaskRunner> file_runner_;
  base::ThreadTaskRunnerHandle thread_handle_;
  std::vector<std::string> log_;
};

TEST_F(JsonPrefStoreTest, ReadsAFileAndWritesChangesBehind) {
  WriteText(path_, "{\"a\":{\"b\":1},\"s\":\"text\"}");
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  EXPECT_FALSE(store->IsInitializationComplete());
  EXPECT_EQ(Store::PREF_READ_ERROR_NONE, store->ReadPrefs());
  EXPECT_EQ(Store::PREF_READ_ERROR_NONE, store->GetReadError());
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_FALSE(store->IsReadOnly());
  EXPECT_EQ(1, IntAt(*store, "a.b"));
  EXPECT_TRUE(store->GetValue("s", nullptr));
  EXPECT_FALSE(store->GetValue("a.c", nullptr));
  // Reading writes nothing.
  EXPECT_FALSE(thread_runner_->HasPendingTask());

  // A change made in place is announced by the caller.
  RecordingObserver observer(&log_);
  store->AddObserver(&observer);
  Value* a = nullptr;
  ASSERT_TRUE(store->GetMutableValue("a", &a));
  DictionaryValue* dictionary = nullptr;
  ASSERT_TRUE(a->GetAsDictionary(&dictionary));
  dictionary->SetInteger("c", 2);
  store->NotifyValueChanged("a", Store::kDefaultPrefWriteFlags);
  EXPECT_EQ(std::vector<std::string>({"changed a"}), log_);
  EXPECT_TRUE(WriteIsScheduled());

  // The timer hands the data to the file runner; only that writes.
  thread_runner_->RunUntilIdle();
  EXPECT_TRUE(file_runner_->HasPendingTask());
  EXPECT_EQ("{\"a\":{\"b\":1},\"s\":\"text\"}", ReadText(path_));
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{\"a\":{\"b\":1,\"c\":2},\"s\":\"text\"}", ReadText(path_));
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, AMissingFileStartsEmptyAndIsCreatedByTheFirstWrite) {
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  EXPECT_EQ(Store::PREF_READ_ERROR_NO_FILE, store->ReadPrefs());
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_FALSE(store->IsReadOnly());

  store->SetValue("x.y", Int(5), Store::kDefaultPrefWriteFlags);
  EXPECT_TRUE(WriteIsScheduled());
  thread_runner_->RunUntilIdle();
  EXPECT_FALSE(base::PathExists(path_));
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{\"x\":{\"y\":5}}", ReadText(path_));
}

TEST_F(JsonPrefStoreTest, ANonDictionaryFileIsMovedAside) {
  WriteText(path_, "[1]");
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  EXPECT_EQ(Store::PREF_READ_ERROR_JSON_TYPE, store->ReadPrefs());
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_FALSE(store->IsReadOnly());
  EXPECT_FALSE(base::PathExists(path_));
  EXPECT_EQ("[1]", ReadText(bad_path_));

  // The store starts empty, and its first write leaves the bad file alone.
  store->SetValue("k", Int(1), Store::kDefaultPrefWriteFlags);
  RunAll();
  EXPECT_EQ("{\"k\":1}", ReadText(path_));
  EXPECT_EQ("[1]", ReadText(bad_path_));
}

TEST_F(JsonPrefStoreTest, ACorruptFileIsMovedAsideEachTime) {
  WriteText(path_, "{");
  base::scoped_refptr<JsonPrefStore> first = NewStore();
  EXPECT_EQ(Store::PREF_READ_ERROR_JSON_PARSE, first->ReadPrefs());
  EXPECT_FALSE(first->IsReadOnly());
  EXPECT_EQ("{", ReadText(bad_path_));
  EXPECT_FALSE(base::PathExists(path_));
  first = nullptr;

  // The next corrupt file replaces the bad one, and the error says so.
  WriteText(path_, "{\"a\":");
  base::scoped_refptr<JsonPrefStore> second = NewStore();
  RecordingObserver observer(&log_);
  second->AddObserver(&observer);
  second->ReadPrefsAsync(std::unique_ptr<PrefReadErrorDelegate>(
      new RecordingErrorDelegate(&log_)));
  RunAll();
  EXPECT_EQ(Store::PREF_READ_ERROR_JSON_REPEAT, second->GetReadError());
  EXPECT_EQ(std::vector<std::string>({"error 7", "initialized"}), log_);
  EXPECT_EQ("{\"a\":", ReadText(bad_path_));
  EXPECT_FALSE(base::PathExists(path_));
  second->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, ACorruptFileThatCannotBeMovedIsNeverOverwritten) {
  WriteText(path_, "{");
  WriteText(bad_path_, "older");
  // Held open without sharing, the bad file can be neither replaced nor
  // removed.
  base::File holder(bad_path_, base::File::FLAG_OPEN | base::File::FLAG_READ |
                                   base::File::FLAG_EXCLUSIVE_READ |
                                   base::File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(holder.IsValid());
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  EXPECT_EQ(Store::PREF_READ_ERROR_FILE_OTHER, store->ReadPrefs());
  EXPECT_TRUE(store->IsReadOnly());
  store->SetValue("k", Int(1), Store::kDefaultPrefWriteFlags);
  store->CommitPendingWrite();
  store = nullptr;
  RunAll();
  holder.Close();
  EXPECT_EQ("{", ReadText(path_));
  EXPECT_EQ("older", ReadText(bad_path_));
}

TEST_F(JsonPrefStoreTest, AnUnreadableFileMakesTheStoreReadOnly) {
  // Locked: another process holds the file without sharing.
  {
    WriteText(path_, "{\"a\":1}");
    base::File holder(path_, base::File::FLAG_OPEN | base::File::FLAG_READ |
                                 base::File::FLAG_EXCLUSIVE_READ);
    ASSERT_TRUE(holder.IsValid());
    base::scoped_refptr<JsonPrefStore> store = NewStore();
    EXPECT_EQ(Store::PREF_READ_ERROR_FILE_LOCKED, store->ReadPrefs());
    EXPECT_TRUE(store->IsInitializationComplete());
    EXPECT_TRUE(store->IsReadOnly());
    // Changes live in memory only.
    store->SetValue("a", Int(2), Store::kDefaultPrefWriteFlags);
    store->SetValue("lossy", Int(3), Store::kLossyPrefWriteFlag);
    EXPECT_EQ(2, IntAt(*store, "a"));
    EXPECT_FALSE(thread_runner_->HasPendingTask());
    store->FlushLossyChanges();
    store->CommitPendingWrite();
    store = nullptr;
    EXPECT_FALSE(thread_runner_->HasPendingTask());
    EXPECT_FALSE(file_runner_->HasPendingTask());
  }
  EXPECT_EQ("{\"a\":1}", ReadText(path_));

  // Access denied: a folder stands where the file should be.
  ASSERT_TRUE(base::DeleteFile(path_, false));
  ASSERT_TRUE(base::CreateDirectory(path_));
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  EXPECT_EQ(Store::PREF_READ_ERROR_ACCESS_DENIED, store->ReadPrefs());
  EXPECT_TRUE(store->IsReadOnly());
  store->SetValue("a", Int(2), Store::kDefaultPrefWriteFlags);
  EXPECT_FALSE(thread_runner_->HasPendingTask());
  EXPECT_TRUE(base::DirectoryExists(path_));
}

TEST_F(JsonPrefStoreTest, AWriteScheduledBeforeAFailedReadIsDropped) {
  WriteText(path_, "{\"keep\":1}");
  base::File holder(path_, base::File::FLAG_OPEN | base::File::FLAG_READ |
                               base::File::FLAG_EXCLUSIVE_READ);
  ASSERT_TRUE(holder.IsValid());
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  store->ReadPrefsAsync(nullptr);
  // The read has run but its result has not reached the store yet.
  file_runner_->RunUntilIdle();
  store->SetValue("early", Int(1), Store::kDefaultPrefWriteFlags);
  EXPECT_TRUE(WriteIsScheduled());
  holder.Close();
  // The result arrives first, then the timer fires: the store is read-only
  // by then and must not replace the file it could not read.
  RunAll();
  EXPECT_TRUE(store->IsReadOnly());
  EXPECT_EQ(Store::PREF_READ_ERROR_FILE_LOCKED, store->GetReadError());
  store = nullptr;
  RunAll();
  EXPECT_EQ("{\"keep\":1}", ReadText(path_));
}

TEST_F(JsonPrefStoreTest, AMissingFolderLeavesTheStoreUninitialized) {
  path_ = dir_.path().Append(L"missing\\prefs.json");
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  RecordingObserver observer(&log_);
  store->AddObserver(&observer);
  EXPECT_EQ(Store::PREF_READ_ERROR_NO_FILE, store->ReadPrefs());
  EXPECT_FALSE(store->IsInitializationComplete());

  // Asynchronously the error delegate hears nothing either.
  store->ReadPrefsAsync(std::unique_ptr<PrefReadErrorDelegate>(
      new RecordingErrorDelegate(&log_)));
  RunAll();
  EXPECT_FALSE(store->IsInitializationComplete());
  EXPECT_EQ(std::vector<std::string>(
                {"initialization failed", "initialization failed"}),
            log_);
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, AnAsyncReadEndsOnTheStoresThread) {
  WriteText(path_, "{\"a\":1}");
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  RecordingObserver observer(&log_);
  store->AddObserver(&observer);
  store->ReadPrefsAsync(std::unique_ptr<PrefReadErrorDelegate>(
      new RecordingErrorDelegate(&log_)));
  std::vector<base::TestSimpleTaskRunner::PostedTask> reads =
      file_runner_->GetPendingTasks();
  ASSERT_EQ(1u, reads.size());
  EXPECT_STREQ("JsonPrefStore::ReadPrefsAsync",
               reads[0].from_here.function_name());
  file_runner_->RunUntilIdle();
  EXPECT_FALSE(store->IsInitializationComplete());
  EXPECT_TRUE(log_.empty());
  thread_runner_->RunUntilIdle();
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_EQ(Store::PREF_READ_ERROR_NONE, store->GetReadError());
  EXPECT_EQ(1, IntAt(*store, "a"));
  EXPECT_EQ(std::vector<std::string>({"initialized"}), log_);
  store->RemoveObserver(&observer);

  // A store released before the result arrives is simply gone.
  store->ReadPrefsAsync(nullptr);
  store = nullptr;
  RunAll();
  EXPECT_EQ("{\"a\":1}", ReadText(path_));
}

TEST_F(JsonPrefStoreTest, AnAsyncReadThatCannotBePostedRunsAtOnce) {
  WriteText(path_, "{\"a\":1}");
  base::scoped_refptr<JsonPrefStore> store(
      new JsonPrefStore(path_, new base::NullTaskRunner, nullptr));
  RecordingObserver observer(&log_);
  store->AddObserver(&observer);
  store->ReadPrefsAsync(std::unique_ptr<PrefReadErrorDelegate>(
      new RecordingErrorDelegate(&log_)));
  // Rather than never initializing, the store read on its own thread.
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_EQ(1, IntAt(*store, "a"));
  EXPECT_EQ(std::vector<std::string>({"initialized"}), log_);
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, TheAlternateFileIsTakenOverWhenThereIsNoFile) {
  const FilePath alternate = dir_.path().Append(L"old_prefs.json");
  WriteText(alternate, "{\"alt\":1}");
  base::scoped_refptr<JsonPrefStore> store(
      new JsonPrefStore(path_, alternate, file_runner_, nullptr));
  EXPECT_EQ(Store::PREF_READ_ERROR_NONE, store->ReadPrefs());
  EXPECT_EQ(1, IntAt(*store, "alt"));
  EXPECT_EQ("{\"alt\":1}", ReadText(path_));
  EXPECT_FALSE(base::PathExists(alternate));

  // With a file of its own, the alternate one is left alone.
  WriteText(alternate, "{\"alt\":2}");
  store = new JsonPrefStore(path_, alternate, file_runner_, nullptr);
  EXPECT_EQ(Store::PREF_READ_ERROR_NONE, store->ReadPrefs());
  EXPECT_EQ(1, IntAt(*store, "alt"));
  EXPECT_EQ("{\"alt\":2}", ReadText(alternate));
}

TEST_F(JsonPrefStoreTest, OnlyRealChangesNotifyAndWrite) {
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  store->ReadPrefs();
  RecordingObserver observer(&log_);
  store->AddObserver(&observer);
  store->SetValue("a", Int(1), Store::kDefaultPrefWriteFlags);
  EXPECT_EQ(std::vector<std::string>({"changed a"}), log_);
  RunAll();
  EXPECT_EQ("{\"a\":1}", ReadText(path_));

  // An equal value changes nothing, with or without notification.
  store->SetValue("a", Int(1), Store::kDefaultPrefWriteFlags);
  store->SetValueWithoutNotification("a", Int(1),
                                     Store::kDefaultPrefWriteFlags);
  EXPECT_FALSE(thread_runner_->HasPendingTask());
  // A value of another type is no equal value.
  store->SetValue("a", std::unique_ptr<Value>(new FundamentalValue(1.0)),
                  Store::kDefaultPrefWriteFlags);
  EXPECT_EQ(std::vector<std::string>({"changed a", "changed a"}), log_);
  RunAll();
  EXPECT_EQ("{\"a\":1.0}", ReadText(path_));

  // Without notification, the change is still written.
  store->SetValueWithoutNotification("b", Int(2),
                                     Store::kDefaultPrefWriteFlags);
  EXPECT_EQ(2u, log_.size());
  EXPECT_TRUE(WriteIsScheduled());
  RunAll();
  EXPECT_EQ("{\"a\":1.0,\"b\":2}", ReadText(path_));
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, RemovingTheLastKeyRemovesItsParents) {
  WriteText(path_, "{\"a\":{\"b\":1},\"c\":2}");
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  ASSERT_EQ(Store::PREF_READ_ERROR_NONE, store->ReadPrefs());
  RecordingObserver observer(&log_);
  store->AddObserver(&observer);
  store->RemoveValue("a.b", Store::kDefaultPrefWriteFlags);
  EXPECT_FALSE(store->GetValue("a", nullptr));
  EXPECT_EQ(std::vector<std::string>({"changed a.b"}), log_);
  RunAll();
  EXPECT_EQ("{\"c\":2}", ReadText(path_));

  // Nothing removed, nothing told and nothing written.
  store->RemoveValue("a.b", Store::kDefaultPrefWriteFlags);
  store->RemoveValue("c.d", Store::kDefaultPrefWriteFlags);
  EXPECT_EQ(1u, log_.size());
  EXPECT_FALSE(thread_runner_->HasPendingTask());
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, LossyChangesWaitForTheNextWrite) {
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  store->ReadPrefs();
  RecordingObserver observer(&log_);
  store->AddObserver(&observer);

  // Told, but not written until flushed.
  store->SetValue("l1", Int(1), Store::kLossyPrefWriteFlag);
  EXPECT_EQ(std::vector<std::string>({"changed l1"}), log_);
  EXPECT_FALSE(thread_runner_->HasPendingTask());
  store->FlushLossyChanges();
  EXPECT_TRUE(WriteIsScheduled());
  RunAll();
  EXPECT_EQ("{\"l1\":1}", ReadText(path_));
  store->FlushLossyChanges();
  EXPECT_FALSE(thread_runner_->HasPendingTask());

  // An ordinary change takes the lossy one along.
  store->SetValue("l2", Int(2), Store::kLossyPrefWriteFlag);
  store->SetValue("o", Int(3), Store::kDefaultPrefWriteFlags);
  RunAll();
  EXPECT_EQ("{\"l1\":1,\"l2\":2,\"o\":3}", ReadText(path_));

  // A commit writes it at once.
  store->SetValue("l3", Int(4), Store::kLossyPrefWriteFlag);
  store->CommitPendingWrite();
  EXPECT_TRUE(file_runner_->HasPendingTask());
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{\"l1\":1,\"l2\":2,\"l3\":4,\"o\":3}", ReadText(path_));

  // So does the end of the store.
  store->SetValue("l4", Int(5), Store::kLossyPrefWriteFlag);
  store->RemoveObserver(&observer);
  store = nullptr;
  RunAll();
  EXPECT_EQ("{\"l1\":1,\"l2\":2,\"l3\":4,\"l4\":5,\"o\":3}", ReadText(path_));
}

TEST_F(JsonPrefStoreTest, TheEndOfTheStoreCommitsItsPendingWrite) {
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  store->ReadPrefs();
  store->SetValue("a", Int(1), Store::kDefaultPrefWriteFlags);
  store = nullptr;
  // The write did not wait for the timer, which is gone with the store.
  EXPECT_TRUE(file_runner_->HasPendingTask());
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{\"a\":1}", ReadText(path_));
  thread_runner_->RunUntilIdle();
  EXPECT_FALSE(file_runner_->HasPendingTask());
}

bool AllStepsBut(base::ImportantFileWriter::WriteStep failing,
                 base::ImportantFileWriter::WriteStep step) {
  return step != failing;
}

TEST_F(JsonPrefStoreTest, AFailedWriteAtAnyStepKeepsTheLastGoodFile) {
  using WriteStep = base::ImportantFileWriter::WriteStep;
  WriteText(path_, "{\"a\":0}");
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  ASSERT_EQ(Store::PREF_READ_ERROR_NONE, store->ReadPrefs());
  int value = 0;
  for (WriteStep step :
       {WriteStep::kCreateTemporaryFile, WriteStep::kOpen, WriteStep::kWrite,
        WriteStep::kFlush, WriteStep::kReplace}) {
    SCOPED_TRACE(static_cast<int>(step));
    base::ImportantFileWriter::SetStepHookForTesting(
        base::Bind(&AllStepsBut, step));
    store->SetValue("a", Int(++value), Store::kDefaultPrefWriteFlags);
    store->CommitPendingWrite();
    file_runner_->RunUntilIdle();
    base::ImportantFileWriter::SetStepHookForTesting(
        base::ImportantFileWriter::StepHook());

    EXPECT_EQ("{\"a\":0}", ReadText(path_));
    base::scoped_refptr<JsonPrefStore> reader = NewStore();
    EXPECT_EQ(Store::PREF_READ_ERROR_NONE, reader->ReadPrefs());
    EXPECT_EQ(0, IntAt(*reader, "a"));
  }
  store->CommitPendingWrite();
  EXPECT_FALSE(file_runner_->HasPendingTask());
  store->SetValue("a", Int(++value), Store::kDefaultPrefWriteFlags);
  store = nullptr;
  file_runner_->RunUntilIdle();
  EXPECT_EQ("{\"a\":6}", ReadText(path_));
}

// Holds the loaded dictionary until the test hands it back.
class HoldingFilter : public PrefStoreFilter {
 public:
  explicit HoldingFilter(std::vector<std::string>* log) : log_(log) {}

  void OnLoad(const PostFilterOnLoadCallback& callback,
              std::unique_ptr<DictionaryValue> contents) override {
    callback_ = callback;
    contents_ = std::move(contents);
  }
  void OnUpdate(const std::string& key) override {
    log_->push_back("update " + key);
  }
  void OnSerialize(DictionaryValue* contents) override {
    contents->SetInteger("serialized", 1);
  }

  void Release(bool schedule_write) {
    contents_->SetInteger("filtered", 1);
    callback_.Run(std::move(contents_), schedule_write);
  }

 private:
  std::vector<std::string>* const log_;
  PostFilterOnLoadCallback callback_;
  std::unique_ptr<DictionaryValue> contents_;
};

TEST_F(JsonPrefStoreTest, AFilterHoldsTheReadUntilItIsDone) {
  WriteText(path_, "{\"a\":1}");
  HoldingFilter* filter = new HoldingFilter(&log_);
  base::scoped_refptr<JsonPrefStore> store =
      NewStore(std::unique_ptr<PrefStoreFilter>(filter));
  RecordingObserver observer(&log_);
  store->AddObserver(&observer);
  EXPECT_EQ(Store::PREF_READ_ERROR_ASYNCHRONOUS_TASK_INCOMPLETE,
            store->ReadPrefs());
  EXPECT_FALSE(store->IsInitializationComplete());
  EXPECT_TRUE(log_.empty());

  filter->Release(true);
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_EQ(Store::PREF_READ_ERROR_NONE, store->GetReadError());
  EXPECT_EQ(1, IntAt(*store, "filtered"));
  EXPECT_EQ(std::vector<std::string>({"initialized"}), log_);
  // The filter asked for a write.
  EXPECT_TRUE(WriteIsScheduled());

  store->SetValue("b", Int(2), Store::kDefaultPrefWriteFlags);
  EXPECT_EQ(std::vector<std::string>({"initialized", "update b", "changed b"}),
            log_);
  RunAll();
  EXPECT_EQ("{\"a\":1,\"b\":2,\"filtered\":1,\"serialized\":1}",
            ReadText(path_));
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, AFilterFinishingAfterTheStoreIsGoneDoesNothing) {
  // The filter goes with the store; its callback stays on our side.
  PrefStoreFilter::PostFilterOnLoadCallback callback;
  class CapturingFilter : public PrefStoreFilter {
   public:
    explicit CapturingFilter(PostFilterOnLoadCallback* out) : out_(out) {}
    void OnLoad(const PostFilterOnLoadCallback& callback,
                std::unique_ptr<DictionaryValue> /*contents*/) override {
      *out_ = callback;
    }
    void OnUpdate(const std::string& /*key*/) override {}
    void OnSerialize(DictionaryValue* /*contents*/) override {}

   private:
    PostFilterOnLoadCallback* const out_;
  };
  base::scoped_refptr<JsonPrefStore> store = NewStore(
      std::unique_ptr<PrefStoreFilter>(new CapturingFilter(&callback)));
  store->ReadPrefs();
  ASSERT_FALSE(callback.is_null());
  store = nullptr;
  callback.Run(std::unique_ptr<DictionaryValue>(new DictionaryValue), true);
  RunAll();
  EXPECT_FALSE(base::PathExists(path_));
}

// Changes the observer list while it is being notified.
class MeddlingObserver : public PrefStoreObserver {
 public:
  MeddlingObserver(JsonPrefStore* store,
                   PrefStoreObserver* to_remove,
                   PrefStoreObserver* to_add,
                   std::vector<std::string>* log)
      : store_(store), to_remove_(to_remove), to_add_(to_add), log_(log) {}

  void OnValueChanged(const std::string& key) override {
    log_->push_back("meddler " + key);
    store_->RemoveObserver(to_remove_);
    store_->AddObserver(to_add_);
  }
  void OnInitialized(bool /*succeeded*/) override {}

 private:
  JsonPrefStore* const store_;
  PrefStoreObserver* const to_remove_;
  PrefStoreObserver* const to_add_;
  std::vector<std::string>* const log_;
};

TEST_F(JsonPrefStoreTest, ObserversMayChangeDuringANotification) {
  base::scoped_refptr<JsonPrefStore> store = NewStore();
  EXPECT_FALSE(store->HasObservers());
  std::vector<std::string> removed_log;
  std::vector<std::string> added_log;
  RecordingObserver removed(&removed_log);
  RecordingObserver added(&added_log);
  RecordingObserver last(&log_);
  MeddlingObserver meddler(store.get(), &removed, &added, &log_);
  store->AddObserver(&meddler);
  store->AddObserver(&removed);
  store->AddObserver(&last);
  store->AddObserver(&last);
  EXPECT_TRUE(store->HasObservers());

  store->SetValue("k", Int(1), Store::kDefaultPrefWriteFlags);
  // Told in order of registration, once each; the removed one not at all,
  // the one added during the notification within it.
  EXPECT_EQ(std::vector<std::string>({"meddler k", "changed k"}), log_);
  EXPECT_TRUE(removed_log.empty());
  EXPECT_EQ(std::vector<std::string>({"changed k"}), added_log);

  store->RemoveObserver(&meddler);
  store->RemoveObserver(&last);
  EXPECT_TRUE(store->HasObservers());
  store->RemoveObserver(&added);
  EXPECT_FALSE(store->HasObservers());
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
  void Add(Sample value) override { samples.push_back(value); }

  std::vector<Sample> samples;
};

TEST(JsonPrefStoreWriteCountRecorderTest, ReportsWritesPerFiveMinutes) {
  auto minutes = [](int64_t count) {
    return base::TimeDelta::FromSeconds(60 * count);
  };
  const base::Time start = base::Time::FromInternalValue(1000000000000);
  base::Time now = start;
  RecordingHistogram histogram;
  {
    JsonPrefStore::WriteCountRecorder recorder(
        base::TimeDelta::FromSeconds(10), FilePath(L"prefs.json"),
        std::unique_ptr<base::Clock>(new FakeClock(&now)), &histogram);
    for (int i = 0; i < 4; ++i)
      recorder.RecordWriteOccurred();
    EXPECT_TRUE(histogram.samples.empty());

    // Twelve minutes on: four writes in the first interval, none in the
    // second; the third has just begun.
    now = start + minutes(12);
    recorder.ReportOutstandingWrites();
    EXPECT_EQ(std::vector<int>({4, 0}), histogram.samples);
    EXPECT_EQ(start + minutes(10), recorder.last_report_time());
    EXPECT_EQ(0u, recorder.writes_since_last_report());

    // Exactly one interval after the last report is not yet more than one.
    recorder.RecordWriteOccurred();
    now = start + minutes(15);
    recorder.RecordWriteOccurred();
    EXPECT_EQ(2u, recorder.writes_since_last_report());
    EXPECT_EQ(2u, histogram.samples.size());

    // A write past the interval reports before it counts.
    now = now + base::TimeDelta::FromMicroseconds(1);
    recorder.RecordWriteOccurred();
    EXPECT_EQ(std::vector<int>({4, 0, 2}), histogram.samples);
    EXPECT_EQ(1u, recorder.writes_since_last_report());
    EXPECT_EQ(start + minutes(15), recorder.last_report_time());

    // A clock set back reports nothing.
    now = start;
    recorder.ReportOutstandingWrites();
    EXPECT_EQ(3u, histogram.samples.size());
    now = start + minutes(21);
  }
  // Its end reports what is outstanding.
  EXPECT_EQ(std::vector<int>({4, 0, 2, 1}), histogram.samples);
}

// With a real worker pool: the store's disk work runs on the pool, in the
// order posted, and shutdown waits for it.
class JsonPrefStorePoolTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.IsValid());
    path_ = dir_.path().Append(L"prefs.json");
    pool_ = new base::SequencedWorkerPool(3, "PrefsTaskPool");
  }
  void TearDown() override { pool_->Shutdown(0); }

  base::MessageLoop loop_;
  base::UniqueTestDir dir_;
  FilePath path_;
  base::scoped_refptr<base::SequencedWorkerPool> pool_;
};

// Records the threads that ran the write steps.
class ThreadRecorder {
 public:
  bool OnStep(base::ImportantFileWriter::WriteStep /*step*/) {
    base::AutoLock auto_lock(lock_);
    threads_.push_back(base::PlatformThread::CurrentId());
    return true;
  }
  std::vector<base::PlatformThreadId> threads() {
    base::AutoLock auto_lock(lock_);
    return threads_;
  }

 private:
  base::Lock lock_;
  std::vector<base::PlatformThreadId> threads_;
};

void AppendAfterPause(std::vector<int>* order, base::Lock* lock, int value) {
  base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(20));
  base::AutoLock auto_lock(*lock);
  order->push_back(value);
}

TEST_F(JsonPrefStorePoolTest, OneFileHasOneSequence) {
  base::scoped_refptr<base::SequencedTaskRunner> first =
      JsonPrefStore::GetTaskRunnerForFile(path_, pool_.get());
  base::scoped_refptr<base::SequencedTaskRunner> second =
      JsonPrefStore::GetTaskRunnerForFile(path_, pool_.get());
  std::vector<int> order;
  base::Lock lock;
  // The first tasks pause, so a worker free for the later ones would
  // overtake them if the two runners did not share a sequence.
  for (int i = 0; i < 6; ++i) {
    (i % 2 ? second : first)
        ->PostTask(LOCATION_FROM_HERE("OneFileHasOneSequence"),
                   base::Bind(&AppendAfterPause, &order, &lock, i));
  }
  pool_->Shutdown(0);
  EXPECT_EQ(std::vector<int>({0, 1, 2, 3, 4, 5}), order);
}

TEST_F(JsonPrefStorePoolTest, TheStoreReadsAndWritesOnItsSequence) {
  ASSERT_EQ(7, base::WriteFile(path_, "{\"a\":1}", 7));
  ThreadRecorder recorder;
  base::ImportantFileWriter::SetStepHookForTesting(
      base::Bind(&ThreadRecorder::OnStep, &recorder));
  std::vector<std::string> log;
  base::scoped_refptr<JsonPrefStore> store(new JsonPrefStore(
      path_, JsonPrefStore::GetTaskRunnerForFile(path_, pool_.get()), nullptr));
  RecordingObserver observer(&log);
  store->AddObserver(&observer);
  base::RunLoop run_loop;
  class QuittingObserver : public PrefStoreObserver {
   public:
    explicit QuittingObserver(const base::Closure& quit) : quit_(quit) {}
    void OnValueChanged(const std::string& /*key*/) override {}
    void OnInitialized(bool /*succeeded*/) override { quit_.Run(); }

   private:
    const base::Closure quit_;
  } quitter(run_loop.QuitClosure());
  store->AddObserver(&quitter);
  store->ReadPrefsAsync(nullptr);
  run_loop.Run();
  EXPECT_EQ(std::vector<std::string>({"initialized"}), log);
  EXPECT_EQ(1, IntAt(*store, "a"));

  store->SetValue("a", Int(2), Store::kDefaultPrefWriteFlags);
  store->CommitPendingWrite();
  store->SetValue("a", Int(3), Store::kDefaultPrefWriteFlags);
  store->RemoveObserver(&observer);
  store->RemoveObserver(&quitter);
  // The store's end hands the last change to the pool; shutdown waits for
  // both writes.
  store = nullptr;
  pool_->Shutdown(0);
  base::ImportantFileWriter::SetStepHookForTesting(
      base::ImportantFileWriter::StepHook());
  EXPECT_EQ("{\"a\":3}", ReadText(path_));
  const std::vector<base::PlatformThreadId> threads = recorder.threads();
  EXPECT_EQ(12u, threads.size());
  for (base::PlatformThreadId thread : threads)
    EXPECT_NE(base::PlatformThread::CurrentId(), thread);
}

TEST_F(JsonPrefStorePoolTest, AStoreOutlivingItsPoolStillWrites) {
  base::scoped_refptr<JsonPrefStore> store(new JsonPrefStore(
      path_, JsonPrefStore::GetTaskRunnerForFile(path_, pool_.get()), nullptr));
  EXPECT_EQ(Store::PREF_READ_ERROR_NO_FILE, store->ReadPrefs());
  store->SetValue("a", Int(1), Store::kDefaultPrefWriteFlags);
  pool_->Shutdown(0);
  // The pool refuses the write, so it happens here rather than be lost.
  store = nullptr;
  EXPECT_EQ("{\"a\":1}", ReadText(path_));
}

}  // namespace

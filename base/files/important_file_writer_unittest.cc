#include "base/files/important_file_writer.h"

#include <windows.h>

#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "base/test/loop_thread.h"
#include "base/test/null_task_runner.h"
#include "base/test/test_simple_task_runner.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/time/time.h"
#include "gtest/gtest.h"

namespace base {

namespace {

using Outcome = ImportantFileWriter::StepOutcome;
using WriteStep = ImportantFileWriter::WriteStep;

bool WriteAtomically(const FilePath& path, StringPiece data) {
  return ImportantFileWriter::WriteFileAtomically(path, data);
}

std::string ContentsOf(const FilePath& path) {
  std::string contents;
  return ReadFileToString(path, &contents) ? contents : "(missing)";
}

class ImportantFileWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.IsValid());
    target_ = temp_dir_.path().Append(L"target.json");
  }

  // The names in the test folder: a temporary file left behind shows here.
  // Wine's ReplaceFileW leaves a backup of its own ("rf" and hex digits)
  // when it fails; the writer's files have no prefix.
  std::set<string16> Names() const {
    std::set<string16> names;
    FileEnumerator enumerator(
        temp_dir_.path(), false,
        FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
    for (FilePath path = enumerator.Next(); !path.empty();
         path = enumerator.Next()) {
      if (path.BaseName().value().compare(0, 2, L"rf") != 0)
        names.insert(path.BaseName().value());
    }
    return names;
  }

  std::string Contents() const { return ContentsOf(target_); }

  UniqueTestDir temp_dir_;
  FilePath target_;
};

TEST_F(ImportantFileWriterTest, CreatesAndReplaces) {
  for (const std::string& data : {std::string("first"), std::string("2nd"),
                                  std::string(), std::string("a\0b\r\n", 5)}) {
    EXPECT_TRUE(WriteAtomically(target_, data));
    EXPECT_EQ(data, Contents());
  }
  EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
}

TEST_F(ImportantFileWriterTest, RefusedWritesChangeNothing) {
  const struct {
    const wchar_t* target;
    bool target_in_use;
  } kRefused[] = {
      {L"missing\\new.json", false},
      // The file class refuses to open the temporary file beside it.
      {L"sub\\..\\new.json", false},
      // A folder is not moved aside for a file.
      {L"sub", false},
      {L"target.json", true},
  };
  ASSERT_TRUE(WriteAtomically(target_, "old"));
  const FilePath inside = temp_dir_.path().Append(L"sub\\inside.txt");
  ASSERT_TRUE(CreateDirectory(inside.DirName()));
  ASSERT_TRUE(WriteAtomically(inside, "inside"));
  for (const auto& refused : kRefused) {
    SCOPED_TRACE(refused.target);
    File holder;
    if (refused.target_in_use)
      holder.Initialize(target_, File::FLAG_OPEN | File::FLAG_READ);
    EXPECT_FALSE(
        WriteAtomically(temp_dir_.path().Append(refused.target), "new"));
    holder.Close();
    EXPECT_EQ("old", Contents());
    EXPECT_EQ("inside", ContentsOf(inside));
    EXPECT_EQ(std::set<string16>({L"sub", L"target.json"}), Names());
  }
  // The data pointer faults when touched: the refusal must come first.
  const StringPiece huge(reinterpret_cast<const char*>(16), size_t{1} << 31);
  EXPECT_FALSE(WriteAtomically(target_, huge));
  EXPECT_EQ("old", Contents());
}

// Watches the steps of the atomic writes while it lives, noting what the
// target and, joined, the other files held as each began, and gives
// |outcome| to |failing_step|.
class StepWatcher {
 public:
  explicit StepWatcher(const FilePath& target,
                       WriteStep failing_step = WriteStep::kClose,
                       Outcome outcome = Outcome::kProceed)
      : target_(target), failing_step_(failing_step), outcome_(outcome) {
    ImportantFileWriter::SetStepHookForTesting(
        Bind(&StepWatcher::OnStep, this));
  }
  ~StepWatcher() {
    ImportantFileWriter::SetStepHookForTesting(ImportantFileWriter::StepHook());
  }

  std::vector<WriteStep> steps;
  std::vector<std::string> targets;
  std::vector<std::string> others;
  std::set<DWORD> threads;

 private:
  Outcome OnStep(WriteStep step) {
    steps.push_back(step);
    targets.push_back(ContentsOf(target_));
    threads.insert(::GetCurrentThreadId());
    std::string beside;
    FileEnumerator enumerator(target_.DirName(), false, FileEnumerator::FILES);
    for (FilePath path = enumerator.Next(); !path.empty();
         path = enumerator.Next()) {
      if (path != target_)
        beside += ContentsOf(path) + ";";
    }
    others.push_back(beside);
    return step == failing_step_ ? outcome_ : Outcome::kProceed;
  }

  const FilePath target_;
  const WriteStep failing_step_;
  const Outcome outcome_;
};

TEST_F(ImportantFileWriterTest, EveryMomentOfAWriteLeavesAWholeFile) {
  ASSERT_TRUE(WriteAtomically(target_, "old data"));
  StepWatcher watcher(target_);
  EXPECT_TRUE(WriteAtomically(target_, "new data"));
  EXPECT_EQ("new data", Contents());
  EXPECT_EQ(
      std::vector<WriteStep>({WriteStep::kCreateTemporaryFile, WriteStep::kOpen,
                              WriteStep::kWrite, WriteStep::kFlush,
                              WriteStep::kClose, WriteStep::kReplace}),
      watcher.steps);
  // Until the rename the target is untouched; the temporary file beside it
  // is whole by then.
  EXPECT_EQ(std::vector<std::string>(6, "old data"), watcher.targets);
  EXPECT_EQ(std::vector<std::string>(
                {"", ";", ";", "new data;", "new data;", "new data;"}),
            watcher.others);
  EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
}

TEST_F(ImportantFileWriterTest, AFailureAtAnyStepKeepsTheOldFile) {
  const struct {
    WriteStep step;
    Outcome outcome;
  } kFailures[] = {
      {WriteStep::kCreateTemporaryFile, Outcome::kFail},
      {WriteStep::kOpen, Outcome::kFail},
      {WriteStep::kWrite, Outcome::kFail},
      {WriteStep::kWrite, Outcome::kFallShort},
      {WriteStep::kFlush, Outcome::kFail},
      {WriteStep::kReplace, Outcome::kFail},
  };
  const FilePath fresh = temp_dir_.path().Append(L"fresh.json");
  for (const auto& failure : kFailures) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(failure.step) << " "
                                    << static_cast<int>(failure.outcome));
    ASSERT_TRUE(WriteAtomically(target_, "old"));
    StepWatcher watcher(target_, failure.step, failure.outcome);
    EXPECT_FALSE(WriteAtomically(target_, "new!"));
    // A target that did not exist is not created half way either.
    EXPECT_FALSE(WriteAtomically(fresh, "new!"));
    EXPECT_EQ("old", Contents());
    EXPECT_FALSE(PathExists(fresh));
    EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
    if (failure.step == WriteStep::kWrite) {
      // A disk that fills up leaves a torn temporary file: it is flushed
      // and closed like any other, and then thrown away, never renamed.
      ASSERT_EQ(10u, watcher.steps.size());
      EXPECT_EQ(WriteStep::kClose, watcher.steps[4]);
      EXPECT_EQ("ne;", watcher.others[4]);
    }
  }
}

// A child replaces the target in a loop and is ended at random moments:
// each time the target must be a whole file, the old one or a new one, and
// it must be there all along.
TEST_F(ImportantFileWriterTest, AWriterEndedAtAnyMomentLeavesAWholeFile) {
  FilePath child;
  ASSERT_TRUE(PathService::Get(DIR_EXE, &child));
  const string16 command =
      L"\"" + child.Append(L"important_file_writer_test_child.exe").value() +
      L"\" \"" + target_.value() + L"\"";
  // The child writes 65536 copies of one letter at a time.
  const auto whole = [](const std::string& contents) {
    return contents.size() == 65536 &&
           contents.find_first_not_of(contents[0]) == std::string::npos;
  };
  ASSERT_TRUE(WriteAtomically(target_, std::string(65536, '-')));
  std::minstd_rand random(13);
  for (int end = 0; end < 40; ++end) {
    SCOPED_TRACE(end);
    File::Info before;
    ASSERT_TRUE(GetFileInfo(target_, &before));
    Process writer = LaunchProcess(command, LaunchOptions());
    ASSERT_TRUE(writer.IsValid());
    // The child is in its loop once the target changes.
    bool present = true;
    File::Info now = before;
    for (int poll = 0;
         present && now.last_modified == before.last_modified && poll < 10000;
         ++poll) {
      present = GetFileInfo(target_, &now);
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
    }
    for (int poll = random() % 20; present && poll > 0; --poll) {
      present = GetFileInfo(target_, &now);
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
    }
    ASSERT_TRUE(writer.Terminate(1, true));
    ASSERT_TRUE(present);
    ASSERT_NE(before.last_modified, now.last_modified) << "no write came";
    ASSERT_TRUE(whole(Contents())) << Contents().substr(0, 16);
  }
}

struct TestSerializer : ImportantFileWriter::DataSerializer {
  explicit TestSerializer(const std::string& data) : data(data) {}
  bool SerializeData(std::string* out) override {
    ++calls;
    *out = data;
    if (!on_serialize.is_null())
      on_serialize.Run();
    return succeed;
  }

  std::string data;
  bool succeed = true;
  int calls = 0;
  Closure on_serialize;
};

std::unique_ptr<std::string> Data(const char* data) {
  return std::unique_ptr<std::string>(new std::string(data));
}

// The writer's timer and its writes go to runners that run only when the
// test says so: the commit interval passes when the timer's task runs.
class ScheduledWriteTest : public ImportantFileWriterTest {
 protected:
  ScheduledWriteTest()
      : thread_runner_(new TestSimpleTaskRunner),
        file_runner_(new TestSimpleTaskRunner),
        thread_handle_(thread_runner_) {}

  scoped_refptr<TestSimpleTaskRunner> thread_runner_;
  scoped_refptr<TestSimpleTaskRunner> file_runner_;
  ThreadTaskRunnerHandle thread_handle_;
};

TEST_F(ScheduledWriteTest, ABurstIsWrittenOnceWithTheLatestData) {
  ImportantFileWriter writer(target_, file_runner_);
  EXPECT_EQ(TimeDelta::FromSeconds(10), writer.commit_interval());
  TestSerializer first("first");
  TestSerializer second("second");
  EXPECT_FALSE(writer.HasPendingWrite());
  for (TestSerializer* serializer : {&first, &first, &second})
    writer.ScheduleWrite(serializer);
  EXPECT_TRUE(writer.HasPendingWrite());
  // One timer for the whole burst, due a commit interval after the first
  // request.
  const std::vector<TestSimpleTaskRunner::PostedTask> timers =
      thread_runner_->GetPendingTasks();
  ASSERT_EQ(1u, timers.size());
  EXPECT_EQ(TimeDelta::FromSeconds(10), timers[0].delay);
  EXPECT_STREQ("base::ImportantFileWriter::ScheduleWrite",
               timers[0].from_here.function_name());

  thread_runner_->RunPendingTasks();
  EXPECT_FALSE(writer.HasPendingWrite());
  EXPECT_EQ(0, first.calls);
  EXPECT_EQ(1, second.calls);
  // The write itself waits for the file runner.
  const std::vector<TestSimpleTaskRunner::PostedTask> writes =
      file_runner_->GetPendingTasks();
  ASSERT_EQ(1u, writes.size());
  EXPECT_STREQ("base::ImportantFileWriter::PostWriteTask",
               writes[0].from_here.function_name());
  EXPECT_FALSE(PathExists(target_));
  file_runner_->RunUntilIdle();
  EXPECT_EQ("second", Contents());
}

TEST_F(ScheduledWriteTest, OnlyWritesAlreadyPostedOutliveTheTimer) {
  TestSerializer serializer("scheduled");
  {
    ImportantFileWriter writer(target_, file_runner_);
    // A failed serialization writes nothing; the next burst has a timer of
    // its own, stopped by a write now or by a forced write.
    serializer.succeed = false;
    writer.ScheduleWrite(&serializer);
    thread_runner_->RunUntilIdle();
    EXPECT_FALSE(file_runner_->HasPendingTask());
    serializer.succeed = true;
    writer.ScheduleWrite(&serializer);
    writer.WriteNow(Data("now"));
    EXPECT_FALSE(writer.HasPendingWrite());
    writer.ScheduleWrite(&serializer);
    writer.DoScheduledWrite();
    EXPECT_FALSE(writer.HasPendingWrite());
    // Destruction drops a scheduled write.
    writer.ScheduleWrite(&serializer);
  }
  thread_runner_->RunUntilIdle();
  EXPECT_EQ(2, serializer.calls);
  EXPECT_FALSE(PathExists(target_));
  // The writes posted keep their own copies of the path and the data.
  StepWatcher watcher(target_);
  file_runner_->RunUntilIdle();
  EXPECT_EQ(std::vector<std::string>({"(missing)", "now"}),
            std::vector<std::string>({watcher.targets[0], watcher.targets[6]}));
  EXPECT_EQ("scheduled", Contents());
}

TEST_F(ScheduledWriteTest, ARefusingRunnerMakesTheWriteSynchronous) {
  ImportantFileWriter writer(target_, new NullTaskRunner);
  writer.WriteNow(Data("direct"));
  EXPECT_EQ("direct", Contents());
  TestSerializer serializer("scheduled");
  writer.ScheduleWrite(&serializer);
  thread_runner_->RunUntilIdle();
  EXPECT_EQ("scheduled", Contents());
}

TEST_F(ImportantFileWriterTest, ScheduledWritesRunBehindOnTheFileThread) {
  MessageLoop loop;
  LoopThread file_thread;
  StepWatcher watcher(target_);
  const TimeDelta interval = TimeDelta::FromMilliseconds(50);
  ImportantFileWriter writer(target_, file_thread.task_runner(), interval);
  for (const char* data : {"1", "2", "3"})
    writer.WriteNow(Data(data));
  RunLoop run_loop;
  TestSerializer serializer("a");
  serializer.on_serialize = run_loop.QuitClosure();
  const TimeTicks start = TimeTicks::Now();
  writer.ScheduleWrite(&serializer);
  serializer.data = "b";
  run_loop.Run();
  EXPECT_GE(TimeTicks::Now() - start, interval);
  file_thread.Stop();
  EXPECT_EQ("b", Contents());
  // Posted writes ran in posting order, all on the file thread.
  ASSERT_EQ(4 * 6u, watcher.targets.size());
  EXPECT_EQ(
      std::vector<std::string>({"(missing)", "1", "2", "3"}),
      std::vector<std::string>({watcher.targets[0], watcher.targets[6],
                                watcher.targets[12], watcher.targets[18]}));
  EXPECT_EQ(std::set<DWORD>({file_thread.thread_id()}), watcher.threads);
}

}  // namespace

}  // namespace base

#include "base/files/important_file_writer.h"

#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"
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

class ImportantFileWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.IsValid());
    target_ = temp_dir_.path().Append(L"target.json");
  }

  // The names in the test folder: a temporary file left behind shows here.
  // Wine's ReplaceFileW leaves a backup of its own ("rf" and hex digits)
  // when it fails; the writer's files have no prefix, so they never start
  // with "rf".
  std::set<string16> Names() const {
    std::set<string16> names;
    FileEnumerator enumerator(
        temp_dir_.path(), false,
        FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
    for (FilePath path = enumerator.Next(); !path.empty();
         path = enumerator.Next()) {
      const string16 name = path.BaseName().value();
      if (name.compare(0, 2, L"rf") != 0)
        names.insert(name);
    }
    return names;
  }

  std::string Contents() const {
    std::string contents;
    if (!ReadFileToString(target_, &contents))
      return "(unreadable)";
    return contents;
  }

  UniqueTestDir temp_dir_;
  FilePath target_;
};

TEST_F(ImportantFileWriterTest, CreatesAndReplaces) {
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "first"));
  EXPECT_EQ("first", Contents());
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "2nd"));
  EXPECT_EQ("2nd", Contents());
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, ""));
  EXPECT_EQ("", Contents());
  const std::string binary("a\0b\r\n", 5);
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, binary));
  EXPECT_EQ(binary, Contents());
  EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
}

TEST_F(ImportantFileWriterTest, MissingFolderCreatesNothing) {
  const FilePath target = temp_dir_.path().Append(L"missing\\target.json");
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target, "data"));
  EXPECT_FALSE(PathExists(target));
  EXPECT_TRUE(Names().empty());
}

TEST_F(ImportantFileWriterTest, RefusesTwoGibibytesWithoutReadingThem) {
  // The data pointer faults when touched: the refusal must come first.
  const StringPiece huge(reinterpret_cast<const char*>(16), size_t{1} << 31);
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target_, huge));
  EXPECT_TRUE(Names().empty());
}

TEST_F(ImportantFileWriterTest, TargetInUseKeepsItsContents) {
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "old"));
  {
    File holder(target_, File::FLAG_OPEN | File::FLAG_READ);
    ASSERT_TRUE(holder.IsValid());
    EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target_, "new"));
  }
  EXPECT_EQ("old", Contents());
  // The temporary file went away with the failure.
  EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "new"));
  EXPECT_EQ("new", Contents());
}

TEST_F(ImportantFileWriterTest, UnopenableTemporaryFileIsRemoved) {
  // The temporary file is created beside a target reached through '..',
  // which the file class refuses to open.
  ASSERT_TRUE(CreateDirectory(temp_dir_.path().Append(L"sub")));
  const FilePath target = temp_dir_.path().Append(L"sub\\..\\target.json");
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target, "data"));
  EXPECT_EQ(std::set<string16>({L"sub"}), Names());
}

using WriteStep = ImportantFileWriter::WriteStep;

constexpr WriteStep kAllSteps[] = {
    WriteStep::kCreateTemporaryFile,
    WriteStep::kOpen,
    WriteStep::kWrite,
    WriteStep::kFlush,
    WriteStep::kClose,
    WriteStep::kReplace,
};

// What the disk held when a step was about to run: what a crash at that
// moment would leave behind.
struct StepObservation {
  WriteStep step;
  DWORD thread_id;
  // The target's contents, or "(missing)".
  std::string target;
  // The contents of the other files in the folder.
  std::vector<std::string> others;
};

// Watches the steps of the atomic write and makes one of them fail.
class StepWatcher {
 public:
  StepWatcher(const FilePath& target, const WriteStep* failing_step)
      : target_(target),
        fail_(failing_step != nullptr),
        failing_step_(fail_ ? *failing_step : WriteStep::kClose) {}

  bool OnStep(WriteStep step) {
    StepObservation observation;
    observation.step = step;
    observation.thread_id = ::GetCurrentThreadId();
    if (!ReadFileToString(target_, &observation.target))
      observation.target = "(missing)";
    FileEnumerator enumerator(target_.DirName(), false, FileEnumerator::FILES);
    for (FilePath path = enumerator.Next(); !path.empty();
         path = enumerator.Next()) {
      std::string contents;
      if (path.BaseName().value() != target_.BaseName().value() &&
          ReadFileToString(path, &contents)) {
        observation.others.push_back(contents);
      }
    }
    observations_.push_back(observation);
    return !(fail_ && step == failing_step_);
  }

  const std::vector<StepObservation>& observations() const {
    return observations_;
  }
  std::vector<WriteStep> steps() const {
    std::vector<WriteStep> steps;
    for (const StepObservation& observation : observations_)
      steps.push_back(observation.step);
    return steps;
  }

 private:
  const FilePath target_;
  const bool fail_;
  const WriteStep failing_step_;
  std::vector<StepObservation> observations_;
};

// Installs a watcher's hook for the scope.
class ScopedStepHook {
 public:
  explicit ScopedStepHook(StepWatcher* watcher) {
    ImportantFileWriter::SetStepHookForTesting(
        Bind(&StepWatcher::OnStep, watcher));
  }
  ScopedStepHook(const ScopedStepHook&) = delete;
  ScopedStepHook& operator=(const ScopedStepHook&) = delete;
  ~ScopedStepHook() {
    ImportantFileWriter::SetStepHookForTesting(ImportantFileWriter::StepHook());
  }
};

TEST_F(ImportantFileWriterTest, EveryMomentOfAWriteLeavesAWholeFile) {
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "old data"));
  StepWatcher watcher(target_, nullptr);
  {
    ScopedStepHook hook(&watcher);
    EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "new data"));
  }
  EXPECT_EQ(std::vector<WriteStep>(std::begin(kAllSteps), std::end(kAllSteps)),
            watcher.steps());
  // Until the rename the target is untouched; the temporary file sits
  // beside it, and is whole and closed by the time it is renamed.
  for (const StepObservation& observation : watcher.observations())
    EXPECT_EQ("old data", observation.target);
  const std::vector<StepObservation>& seen = watcher.observations();
  EXPECT_TRUE(seen[0].others.empty());
  EXPECT_EQ(std::vector<std::string>({""}), seen[1].others);
  EXPECT_EQ(std::vector<std::string>({"new data"}), seen[5].others);
  EXPECT_EQ("new data", Contents());
  EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
}

TEST_F(ImportantFileWriterTest, AFailureAtAnyStepKeepsTheOldFile) {
  const WriteStep kFallibleSteps[] = {WriteStep::kCreateTemporaryFile,
                                      WriteStep::kOpen, WriteStep::kWrite,
                                      WriteStep::kFlush, WriteStep::kReplace};
  const FilePath fresh = temp_dir_.path().Append(L"fresh.json");
  for (WriteStep failing_step : kFallibleSteps) {
    SCOPED_TRACE(static_cast<int>(failing_step));
    ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "old"));
    StepWatcher watcher(target_, &failing_step);
    {
      ScopedStepHook hook(&watcher);
      EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target_, "new!"));
      // A target that did not exist is not created half way either.
      EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(fresh, "new!"));
    }
    EXPECT_EQ("old", Contents());
    EXPECT_FALSE(PathExists(fresh));
    // No temporary file is left behind.
    EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
    for (const StepObservation& observation : watcher.observations()) {
      if (observation.step == WriteStep::kCreateTemporaryFile ||
          observation.target != "(missing)") {
        EXPECT_EQ("old", observation.target);
      }
    }
    if (failing_step == WriteStep::kWrite) {
      // A disk that fills up leaves a torn temporary file: it is flushed
      // and closed like any other, and then thrown away, never renamed.
      const std::vector<StepObservation>& seen = watcher.observations();
      ASSERT_EQ(10u, seen.size());
      EXPECT_EQ(WriteStep::kClose, seen[4].step);
      EXPECT_EQ(std::vector<std::string>({"ne"}), seen[4].others);
    }
  }
  // Without the fault the same writes go through.
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "new!"));
  EXPECT_EQ("new!", Contents());
}

class TestSerializer : public ImportantFileWriter::DataSerializer {
 public:
  explicit TestSerializer(const std::string& data)
      : data_(data), succeed_(true), calls_(0) {}
  ~TestSerializer() override = default;

  bool SerializeData(std::string* data) override {
    ++calls_;
    *data = data_;
    if (!on_serialize_.is_null())
      on_serialize_.Run();
    return succeed_;
  }

  void set_data(const std::string& data) { data_ = data; }
  void set_succeed(bool succeed) { succeed_ = succeed; }
  void set_on_serialize(const Closure& closure) { on_serialize_ = closure; }
  int calls() const { return calls_; }

 private:
  std::string data_;
  bool succeed_;
  int calls_;
  Closure on_serialize_;
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
  const TimeTicks first_request = TimeTicks::Now();
  writer.ScheduleWrite(&first);
  first.set_data("first, changed");
  // Later requests come later by the clock, which must not put the write
  // off.
  while (TimeTicks::Now() <= first_request)
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
  writer.ScheduleWrite(&first);
  writer.ScheduleWrite(&second);
  EXPECT_TRUE(writer.HasPendingWrite());

  // One timer for the whole burst, due a commit interval after the first
  // request.
  std::vector<TestSimpleTaskRunner::PostedTask> timers =
      thread_runner_->GetPendingTasks();
  ASSERT_EQ(1u, timers.size());
  EXPECT_EQ(TimeDelta::FromSeconds(10), timers[0].delay);
  EXPECT_STREQ("base::ImportantFileWriter::ScheduleWrite",
               timers[0].from_here.function_name());
  EXPECT_EQ(0, first.calls() + second.calls());
  EXPECT_FALSE(file_runner_->HasPendingTask());

  thread_runner_->RunPendingTasks();
  EXPECT_FALSE(writer.HasPendingWrite());
  EXPECT_EQ(0, first.calls());
  EXPECT_EQ(1, second.calls());
  // The write itself waits for the file runner.
  std::vector<TestSimpleTaskRunner::PostedTask> writes =
      file_runner_->GetPendingTasks();
  ASSERT_EQ(1u, writes.size());
  EXPECT_STREQ("base::ImportantFileWriter::PostWriteTask",
               writes[0].from_here.function_name());
  EXPECT_FALSE(PathExists(target_));
  file_runner_->RunUntilIdle();
  EXPECT_EQ("second", Contents());
  EXPECT_FALSE(thread_runner_->HasPendingTask());
}

TEST_F(ScheduledWriteTest, WriteNowSupersedesAScheduledWrite) {
  ImportantFileWriter writer(target_, file_runner_,
                             TimeDelta::FromMilliseconds(500));
  TestSerializer serializer("scheduled");
  writer.ScheduleWrite(&serializer);
  writer.WriteNow(Data("now"));
  EXPECT_FALSE(writer.HasPendingWrite());
  // The stopped timer's task does nothing when it comes.
  thread_runner_->RunUntilIdle();
  EXPECT_EQ(0, serializer.calls());
  file_runner_->RunUntilIdle();
  EXPECT_EQ("now", Contents());

  // A forced scheduled write goes at once and stops the timer.
  writer.ScheduleWrite(&serializer);
  ASSERT_TRUE(writer.HasPendingWrite());
  writer.DoScheduledWrite();
  EXPECT_FALSE(writer.HasPendingWrite());
  EXPECT_EQ(1, serializer.calls());
  file_runner_->RunUntilIdle();
  EXPECT_EQ("scheduled", Contents());
  thread_runner_->RunUntilIdle();
  EXPECT_EQ(1, serializer.calls());
  EXPECT_FALSE(file_runner_->HasPendingTask());
}

TEST_F(ScheduledWriteTest, AFailedSerializationLeavesTheFileAlone) {
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "old"));
  ImportantFileWriter writer(target_, file_runner_);
  TestSerializer serializer("new");
  serializer.set_succeed(false);
  writer.ScheduleWrite(&serializer);
  thread_runner_->RunUntilIdle();
  EXPECT_EQ(1, serializer.calls());
  EXPECT_FALSE(file_runner_->HasPendingTask());
  EXPECT_EQ("old", Contents());

  // The next burst starts a timer of its own.
  serializer.set_succeed(true);
  writer.ScheduleWrite(&serializer);
  EXPECT_TRUE(writer.HasPendingWrite());
  thread_runner_->RunUntilIdle();
  file_runner_->RunUntilIdle();
  EXPECT_EQ("new", Contents());
}

TEST_F(ScheduledWriteTest, ARefusingRunnerMakesTheWriteSynchronous) {
  StepWatcher watcher(target_, nullptr);
  ScopedStepHook hook(&watcher);
  ImportantFileWriter writer(target_, new NullTaskRunner);
  writer.WriteNow(Data("direct"));
  EXPECT_EQ("direct", Contents());

  TestSerializer serializer("scheduled");
  writer.ScheduleWrite(&serializer);
  thread_runner_->RunUntilIdle();
  EXPECT_EQ("scheduled", Contents());
  ASSERT_FALSE(watcher.observations().empty());
  for (const StepObservation& observation : watcher.observations())
    EXPECT_EQ(::GetCurrentThreadId(), observation.thread_id);
}

TEST_F(ScheduledWriteTest, DestructionDropsOnlyTheScheduledWrite) {
  TestSerializer serializer("scheduled");
  {
    ImportantFileWriter writer(target_, file_runner_);
    writer.WriteNow(Data("posted"));
    writer.ScheduleWrite(&serializer);
  }
  thread_runner_->RunUntilIdle();
  EXPECT_EQ(0, serializer.calls());
  EXPECT_FALSE(PathExists(target_));
  // The write posted before keeps its own copy of the path and the data.
  file_runner_->RunUntilIdle();
  EXPECT_EQ("posted", Contents());
}

TEST_F(ImportantFileWriterTest, ScheduledWritesRunBehindOnTheFileThread) {
  MessageLoop loop;
  LoopThread file_thread;
  StepWatcher watcher(target_, nullptr);
  ScopedStepHook hook(&watcher);
  const TimeDelta interval = TimeDelta::FromMilliseconds(50);
  ImportantFileWriter writer(target_, file_thread.task_runner(), interval);

  // Writes already posted run in posting order.
  for (const char* data : {"1", "2", "3"})
    writer.WriteNow(Data(data));

  RunLoop run_loop;
  TestSerializer serializer("a");
  serializer.set_on_serialize(run_loop.QuitClosure());
  const TimeTicks start = TimeTicks::Now();
  writer.ScheduleWrite(&serializer);
  serializer.set_data("b");
  writer.ScheduleWrite(&serializer);
  run_loop.Run();
  EXPECT_GE(TimeTicks::Now() - start, interval);
  EXPECT_EQ(1, serializer.calls());
  EXPECT_FALSE(writer.HasPendingWrite());

  // Everything posted to the file thread before this has run once it runs.
  WaitableEvent written(true, false);
  file_thread.task_runner()->PostTask(
      LOCATION_FROM_HERE("ScheduledWritesRunBehindOnTheFileThread"),
      Bind(&WaitableEvent::Signal, &written));
  written.Wait();
  EXPECT_EQ("b", Contents());
  ASSERT_EQ(4 * 6u, watcher.observations().size());
  for (const StepObservation& observation : watcher.observations())
    EXPECT_EQ(file_thread.thread_id(), observation.thread_id);
  const char* expected_before[] = {"(missing)", "1", "2", "3"};
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(expected_before[i], watcher.observations()[i * 6].target);
}

}  // namespace

}  // namespace base

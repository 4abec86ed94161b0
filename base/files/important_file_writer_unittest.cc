#include "base/files/important_file_writer.h"

#include <windows.h>

#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/test/null_task_runner.h"
#include "base/test/process_test_child_command.h"
#include "base/test/replaced_file_reader.h"
#include "base/test/test_simple_task_runner.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_task_runner_handle.h"
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

// What |dir| holds, sorted: "name=contents;" for a file, "~=contents;" for
// a temporary file (whose name the system picks), "name/;" for a folder.
// Wine's ReplaceFileW leaves a backup of its own ("rf" and hex digits) when
// it fails; that is left out.
std::string Folder(const FilePath& dir) {
  std::multiset<std::string> entries;
  FileEnumerator enumerator(
      dir, false, FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  for (FilePath path = enumerator.Next(); !path.empty();
       path = enumerator.Next()) {
    const std::string name = path.BaseName().AsUTF8();
    if (enumerator.GetInfo().IsDirectory())
      entries.insert(name + "/;");
    else if (path.Extension() == L".tmp" && name.compare(0, 2, "rf") != 0)
      entries.insert("~=" + ContentsOf(path) + ";");
    else if (path.Extension() != L".tmp")
      entries.insert(name + "=" + ContentsOf(path) + ";");
  }
  std::string joined;
  for (const std::string& entry : entries)
    joined += entry;
  return joined;
}

class ImportantFileWriterTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.IsValid()); }

  FilePath Path(const wchar_t* name) const {
    return temp_dir_.path().Append(name);
  }
  std::string Folder() const { return base::Folder(temp_dir_.path()); }

  UniqueTestDir temp_dir_;
  const FilePath target_ = Path(L"target");
};

TEST_F(ImportantFileWriterTest, CreatesAndReplaces) {
  for (const std::string& data : {std::string("first"), std::string("2nd"),
                                  std::string(), std::string("a\0b\r\n", 5)}) {
    EXPECT_TRUE(WriteAtomically(target_, data));
    EXPECT_EQ("target=" + data + ";", Folder());
  }
}

// A missing folder, a temporary file reached through ".." (which the file
// class refuses to open), a folder (which is not moved aside for a file), a
// target in use and 2 GiB of data are refused, and nothing changes.
TEST_F(ImportantFileWriterTest, RefusedWritesChangeNothing) {
  ASSERT_TRUE(WriteAtomically(target_, "old"));
  ASSERT_TRUE(CreateDirectory(Path(L"sub")));
  ASSERT_TRUE(WriteAtomically(Path(L"sub\\inside"), "inside"));
  File holder(target_, File::FLAG_OPEN | File::FLAG_READ);
  for (const wchar_t* refused :
       {L"missing\\new", L"sub\\..\\new", L"sub", L"target"}) {
    EXPECT_FALSE(WriteAtomically(Path(refused), "new")) << refused;
    EXPECT_EQ("sub/;target=old;", Folder()) << refused;
  }
  holder.Close();
  EXPECT_EQ("inside=inside;", base::Folder(Path(L"sub")));
  // The data pointer faults when touched: the refusal must come first.
  EXPECT_FALSE(WriteAtomically(
      target_,
      StringPiece(reinterpret_cast<const char*>(16), size_t{1} << 31)));
  EXPECT_EQ("sub/;target=old;", Folder());
}

// Watches the steps of the atomic writes while it lives, noting each as
// "step: folder" when it begins, and gives |outcome| to |failing_step|.
class StepWatcher {
 public:
  explicit StepWatcher(const FilePath& dir,
                       WriteStep failing_step = WriteStep::kClose,
                       Outcome outcome = Outcome::kProceed)
      : dir_(dir), failing_step_(failing_step), outcome_(outcome) {
    ImportantFileWriter::SetStepHookForTesting(
        Bind(&StepWatcher::OnStep, this));
  }
  ~StepWatcher() {
    ImportantFileWriter::SetStepHookForTesting(ImportantFileWriter::StepHook());
  }

  std::vector<std::string> seen;

 private:
  Outcome OnStep(WriteStep step) {
    seen.push_back(std::to_string(static_cast<int>(step)) + ": " +
                   Folder(dir_));
    return step == failing_step_ ? outcome_ : Outcome::kProceed;
  }

  const FilePath dir_;
  const WriteStep failing_step_;
  const Outcome outcome_;
};

// The steps in order: until the rename the target is untouched, and the
// temporary file beside it is whole by then.
TEST_F(ImportantFileWriterTest, EveryMomentOfAWriteLeavesAWholeFile) {
  ASSERT_TRUE(WriteAtomically(target_, "old"));
  StepWatcher watcher(temp_dir_.path());
  EXPECT_TRUE(WriteAtomically(target_, "new"));
  EXPECT_EQ("target=new;", Folder());
  EXPECT_EQ(std::vector<std::string>(
                {"0: target=old;", "1: target=old;~=;", "2: target=old;~=;",
                 "3: target=old;~=new;", "4: target=old;~=new;",
                 "5: target=old;~=new;"}),
            watcher.seen);
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
  ASSERT_TRUE(WriteAtomically(target_, "old"));
  for (const auto& failure : kFailures) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(failure.step) << " "
                                    << static_cast<int>(failure.outcome));
    StepWatcher watcher(temp_dir_.path(), failure.step, failure.outcome);
    EXPECT_FALSE(WriteAtomically(target_, "new!"));
    // A target that did not exist is not created half way either.
    EXPECT_FALSE(WriteAtomically(Path(L"fresh"), "new!"));
    EXPECT_EQ("target=old;", Folder());
    if (failure.step == WriteStep::kWrite) {
      // A disk that fills up leaves a torn temporary file: it is flushed
      // and closed like any other, and then thrown away, never renamed.
      ASSERT_EQ(10u, watcher.seen.size());
      EXPECT_EQ("4: target=old;~=ne;", watcher.seen[4]);
    }
  }
}

// The command line of the child program, with its mode before the target.
string16 ChildCommand(const string16& mode, const FilePath& target) {
  FilePath exe;
  if (!PathService::Get(FILE_EXE, &exe))
    return string16();
  return L"\"" +
         exe.DirName().Append(L"important_file_writer_test_child.exe").value() +
         L"\" " + mode + L"\"" + target.value() + L"\"";
}

// A child replaces the target in a loop and is ended at random moments:
// each time the target must be a whole file, the old one or a new one, and
// it must be there all along.
TEST_F(ImportantFileWriterTest, AWriterEndedAtAnyMomentLeavesAWholeFile) {
  const string16 command = ChildCommand(L"", target_);
  ASSERT_FALSE(command.empty());
  ASSERT_TRUE(WriteAtomically(target_, std::string(65536, '-')));
  std::minstd_rand random(13);
  for (int end = 0; end < 40; ++end) {
    File::Info before;
    File::Info now;
    ASSERT_TRUE(GetFileInfo(target_, &before));
    Process writer = LaunchProcess(command, LaunchOptions());
    // Once the target changes the child is in its loop; it is left to write
    // for a random while.
    bool present = true;
    for (int polls = 0, after = 1 + random() % 20;
         present && after > 0 && polls < 10000; ++polls) {
      present = GetFileInfo(target_, &now);
      after -= now.last_modified != before.last_modified;
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
    }
    ASSERT_TRUE(writer.Terminate(1, true));
    ASSERT_TRUE(present) << end;
    ASSERT_NE(before.last_modified, now.last_modified) << "no write came";
    // The child writes 65536 copies of one letter at a time.
    const std::string contents = ContentsOf(target_);
    ASSERT_TRUE(contents == std::string(65536, contents[0]))
        << end << ": " << contents.substr(0, 16);
  }
}

// Replaces the target hundreds of times with whole files of the reader's
// size while a reader opens it in a loop. A refused write must leave the
// file as it was; nearly all must land. Ends the reading with the stop word.
class ReaderBesideWriterTest : public ImportantFileWriterTest {
 protected:
  static constexpr size_t kWholeSize = 5120;
  static constexpr int kWrites = 200;

  static std::string Whole(int write) {
    return std::string(kWholeSize, static_cast<char>('a' + write % 26));
  }

  void SetUp() override {
    ImportantFileWriterTest::SetUp();
    ASSERT_TRUE(WriteAtomically(target_, Whole(0)));
  }

  void ReplaceBesideReader() {
    std::string expected = Whole(0);
    int landed = 0;
    int not_as_written = 0;
    for (int write = 1; write <= kWrites; ++write) {
      if (WriteAtomically(target_, Whole(write))) {
        ++landed;
        expected = Whole(write);
      }
      not_as_written += ContentsOf(target_) != expected;
    }
    EXPECT_EQ(0, not_as_written);
    // A reader in a tight loop holds the file for moments only.
    EXPECT_GE(landed, kWrites * 95 / 100);
    // Should the stop word never land whole, it is written in place, so
    // that the reader ends all the same.
    const StringPiece stop(ReplacedFileReader::kStopWord);
    for (int attempt = 0; !WriteAtomically(target_, stop); ++attempt) {
      if (attempt == 50) {
        ADD_FAILURE() << "the stop word never landed";
        while (WriteFile(target_, stop.data(), 4) != 4)
          PlatformThread::YieldCurrentThread();
        break;
      }
    }
  }
};

TEST_F(ReaderBesideWriterTest, AReaderThreadAlwaysFindsAWholeFile) {
  ReplacedFileReader::Tally tally;
  std::thread reader([&] {
    tally = ReplacedFileReader(target_, kWholeSize).ReadUntilStopped();
  });
  ReplaceBesideReader();
  reader.join();
  EXPECT_EQ(0, tally.missing);
  EXPECT_EQ(0, tally.torn);
  EXPECT_EQ(0, tally.failed);
  EXPECT_LT(0, tally.whole);
  EXPECT_EQ("target=stop;", Folder());
}

TEST_F(ReaderBesideWriterTest, AReaderProcessAlwaysFindsAWholeFile) {
  Process reader =
      LaunchProcess(ChildCommand(L"read ", target_), LaunchOptions());
  ASSERT_TRUE(reader.IsValid());
  // The writes begin once the child reads.
  const FilePath reading = target_.AddExtension(L"reading");
  bool began = false;
  for (int polls = 0; polls < 30000 && !(began = PathExists(reading));
       ++polls) {
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
  }
  const DWORD exit_code =
      began ? (ReplaceBesideReader(), WaitForTestChildExit(reader.Handle()))
            : STILL_ACTIVE;
  // A child that never began, or never ended, is ended here.
  reader.Terminate(1, true);
  EXPECT_EQ(0u, exit_code) << "1 missing, 2 torn, 4 failed, 8 never whole";
  EXPECT_EQ("target.reading=;target=stop;", Folder());
}

struct TestSerializer : ImportantFileWriter::DataSerializer {
  explicit TestSerializer(const std::string& data) : data(data) {}
  bool SerializeData(std::string* out) override {
    ++calls;
    *out = data;
    return succeed;
  }

  std::string data;
  bool succeed = true;
  int calls = 0;
};

std::unique_ptr<std::string> Data(const char* data) {
  return std::unique_ptr<std::string>(new std::string(data));
}

// The writer's timer and its writes go to runners that run only when the
// test says so: the commit interval passes when the timer's task runs.
class ScheduledWriteTest : public ImportantFileWriterTest {
 protected:
  scoped_refptr<TestSimpleTaskRunner> thread_runner_ = new TestSimpleTaskRunner;
  scoped_refptr<TestSimpleTaskRunner> file_runner_ = new TestSimpleTaskRunner;
  ThreadTaskRunnerHandle thread_handle_{thread_runner_};
};

TEST_F(ScheduledWriteTest, ABurstIsWrittenOnceWithTheLatestData) {
  ImportantFileWriter writer(target_, file_runner_);
  TestSerializer first("first");
  TestSerializer second("second");
  // The requests come on different ticks of the clock, so that a timer
  // started again by a later one would be due later.
  for (TestSerializer* serializer : {&first, &first, &second}) {
    const TimeTicks before = TimeTicks::Now();
    while (TimeTicks::Now() == before)
      PlatformThread::YieldCurrentThread();
    writer.ScheduleWrite(serializer);
  }
  EXPECT_TRUE(writer.HasPendingWrite());
  // One timer for the whole burst, due a commit interval after the first
  // request: when it fires it writes, and waits no longer.
  const auto timers = thread_runner_->GetPendingTasks();
  ASSERT_EQ(1u, timers.size());
  EXPECT_EQ(TimeDelta::FromSeconds(10), timers[0].delay);
  thread_runner_->RunPendingTasks();
  EXPECT_FALSE(writer.HasPendingWrite());
  EXPECT_FALSE(thread_runner_->HasPendingTask());
  EXPECT_EQ(0, first.calls);
  // The write itself waits for the file runner.
  EXPECT_EQ(1u, file_runner_->GetPendingTasks().size());
  EXPECT_EQ("", Folder());
  file_runner_->RunUntilIdle();
  EXPECT_EQ("target=second;", Folder());
}

TEST_F(ScheduledWriteTest, OnlyWritesAlreadyPostedOutliveTheTimer) {
  TestSerializer serializer("scheduled");
  {
    ImportantFileWriter writer(target_, file_runner_, TimeDelta());
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
  // The writes posted keep their own copies of the path and the data.
  StepWatcher watcher(temp_dir_.path());
  file_runner_->RunUntilIdle();
  ASSERT_EQ(12u, watcher.seen.size());
  EXPECT_EQ("0: target=now;", watcher.seen[6]);
  EXPECT_EQ("target=scheduled;", Folder());

  // A runner that refuses posts makes the writes synchronous.
  ImportantFileWriter writer(target_, new NullTaskRunner);
  writer.WriteNow(Data("direct"));
  EXPECT_EQ("target=direct;", Folder());
  serializer.data = "later";
  writer.ScheduleWrite(&serializer);
  thread_runner_->RunUntilIdle();
  EXPECT_EQ("target=later;", Folder());
}

}  // namespace

}  // namespace base

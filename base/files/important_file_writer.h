#ifndef BASE_FILES_IMPORTANT_FILE_WRITER_H_
#define BASE_FILES_IMPORTANT_FILE_WRITER_H_

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"
#include "base/strings/string_piece.h"
#include "base/time/time.h"
#include "base/timer/timer.h"

namespace base {

// Writes files so that a crash or power loss never leaves one half written:
// the new contents go to a temporary file in the same folder, which is
// written, flushed, closed and then renamed over the target.
//
// Writes run on a sequenced task runner given by the owner, in posting
// order; a write the runner refuses runs on the calling thread instead. A
// scheduled write waits for the commit interval and then asks its serializer
// for the data, so a burst of changes costs one write. The writer itself
// (scheduling, timer, serializer) belongs to the thread that created it,
// which must have a task runner for the timer.
class ImportantFileWriter {
 public:
  // Produces the file's complete contents when a scheduled write falls due.
  class DataSerializer {
   public:
    // False when there is nothing valid to write.
    virtual bool SerializeData(std::string* data) = 0;

   protected:
    virtual ~DataSerializer() = default;
  };

  // The steps of WriteFileAtomically, in order.
  enum class WriteStep {
    kCreateTemporaryFile,
    kOpen,
    kWrite,
    kFlush,
    kClose,
    kReplace,
  };
  // Called before each step on the writing thread; false makes the step
  // fail as it would on a failing disk (a write then stores only the first
  // half of the data and reports an error). Closing reports no failure, so
  // there the hook can only watch.
  using StepHook = Callback<bool(WriteStep)>;
  // What a hook of the second kind makes of a step.
  enum class StepOutcome {
    kProceed,
    // As false from a StepHook.
    kFail,
    // As kFail, but a write reports the count it stored, as a write cut
    // short without an error does.
    kFallShort,
  };
  using StepOutcomeHook = Callback<StepOutcome(WriteStep)>;

  static constexpr int64_t kDefaultCommitIntervalMs = 10000;

  // Writes |path| on |task_runner|, scheduled writes after the default
  // commit interval of 10 seconds.
  ImportantFileWriter(const FilePath& path,
                      scoped_refptr<SequencedTaskRunner> task_runner);
  ImportantFileWriter(const FilePath& path,
                      scoped_refptr<SequencedTaskRunner> task_runner,
                      TimeDelta interval);
  ImportantFileWriter(const ImportantFileWriter&) = delete;
  ImportantFileWriter& operator=(const ImportantFileWriter&) = delete;
  // Drops a pending scheduled write: an owner that must not lose it calls
  // WriteNow or DoScheduledWrite first. Writes already posted still run.
  ~ImportantFileWriter();

  const FilePath& path() const { return path_; }
  TimeDelta commit_interval() const { return commit_interval_; }

  // Whether a scheduled write waits for its timer.
  bool HasPendingWrite() const;

  // Remembers |serializer| (in place of an earlier one) and starts the
  // timer unless it runs already: the interval counts from the first
  // request of a burst, later ones do not put the write off.
  void ScheduleWrite(DataSerializer* serializer);

  // Writes what the serializer gives now, if it gives anything, and forgets
  // the serializer. Runs when the timer fires; owners call it to force a
  // pending write.
  void DoScheduledWrite();

  // Writes |data| on the task runner, superseding a pending scheduled
  // write. Data of 2 GiB or more is dropped.
  void WriteNow(std::unique_ptr<std::string> data);

  // Replaces |path| with |data| on the calling thread. The target keeps its
  // old contents unless the whole sequence succeeds; a target that readers
  // keep open for longer than a moment is left so and the write fails. Data
  // of 2 GiB or more is refused.
  static bool WriteFileAtomically(const FilePath& path, StringPiece data);

  // Makes every later WriteFileAtomically consult |hook| before each step;
  // a null hook restores plain writes.
  static void SetStepHookForTesting(const StepHook& hook);
  static void SetStepHookForTesting(const StepOutcomeHook& hook);

 private:
  // Posts |task| to the task runner, ignoring its result. False when the
  // runner refused it.
  bool PostWriteTask(const Callback<bool()>& task);

  const FilePath path_;
  const scoped_refptr<SequencedTaskRunner> task_runner_;
  OneShotTimer timer_;
  // Not owned; set from ScheduleWrite until the next DoScheduledWrite.
  DataSerializer* serializer_;
  const TimeDelta commit_interval_;
};

}  // namespace base

#endif  // BASE_FILES_IMPORTANT_FILE_WRITER_H_

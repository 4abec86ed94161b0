#include "base/files/important_file_writer.h"

#include <stdint.h>

#include <limits>
#include <utility>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/lazy_instance.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/strings/string_number_conversions.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

// Kinds of failure of the temporary-file sequence, as recorded.
enum TempFileFailure {
  FAILED_CREATING = 0,
  FAILED_OPENING = 1,
  FAILED_CLOSING = 2,  // Never recorded: closing reports nothing.
  FAILED_WRITING = 3,
  FAILED_RENAMING = 4,
  FAILED_FLUSHING = 5,
  TEMP_FILE_FAILURE_MAX
};

// File::Write takes an int size; larger data would be cut short.
constexpr size_t kMaxDataSize = std::numeric_limits<int32_t>::max();

// The hook of SetStepHookForTesting. Writes run on other threads than the
// one that sets it, hence the lock.
struct StepHookSlot {
  Lock lock;
  ImportantFileWriter::StepOutcomeHook hook;
};
LazyInstance::Leaky<StepHookSlot> g_step_hook;

ImportantFileWriter::StepOutcomeHook GetStepHook() {
  StepHookSlot& slot = g_step_hook.Get();
  AutoLock auto_lock(slot.lock);
  return slot.hook;
}

ImportantFileWriter::StepOutcome RunStepHook(
    const ImportantFileWriter::StepOutcomeHook& hook,
    ImportantFileWriter::WriteStep step) {
  return hook.is_null() ? ImportantFileWriter::StepOutcome::kProceed
                        : hook.Run(step);
}

// The outcome of a hook that answers only whether a step may go ahead.
ImportantFileWriter::StepOutcome OutcomeOfStep(
    const ImportantFileWriter::StepHook& hook,
    ImportantFileWriter::WriteStep step) {
  return hook.Run(step) ? ImportantFileWriter::StepOutcome::kProceed
                        : ImportantFileWriter::StepOutcome::kFail;
}

// Whether the hook, if any, lets |step| go ahead.
bool StepMayProceed(const ImportantFileWriter::StepOutcomeHook& hook,
                    ImportantFileWriter::WriteStep step) {
  return RunStepHook(hook, step) == ImportantFileWriter::StepOutcome::kProceed;
}

void LogFailure(const FilePath& path,
                TempFileFailure failure_code,
                const std::string& message) {
  static HistogramBase* histogram = LinearHistogram::FactoryGet(
      "ImportantFile.TempFileFailures", 1, TEMP_FILE_FAILURE_MAX,
      TEMP_FILE_FAILURE_MAX + 1, HistogramBase::kReportedHistogramFlag);
  histogram->Add(failure_code);
  LOG(WARNING) << "Failed to write " << path.AsUTF8() << ": " << message;
}

// Writes all of |data| at the start of |file|, or as the hook makes it fail:
// the first half only, as a disk that fills up stores, reported as an error
// or as a short count. The number of bytes written, or -1.
int WriteData(File* file,
              StringPiece data,
              ImportantFileWriter::StepOutcome outcome) {
  const int data_length = static_cast<int>(data.size());
  if (outcome == ImportantFileWriter::StepOutcome::kProceed)
    return file->Write(0, data.data(), data_length);
  const int written = file->Write(0, data.data(), data_length / 2);
  return outcome == ImportantFileWriter::StepOutcome::kFallShort ? written : -1;
}

// The task of WriteNow, which owns the data.
bool WriteOwnedData(const FilePath& path, std::string* data) {
  return ImportantFileWriter::WriteFileAtomically(path, *data);
}

void RunAndIgnoreResult(const Callback<bool()>& task) {
  task.Run();
}

}  // namespace

ImportantFileWriter::ImportantFileWriter(
    const FilePath& path,
    scoped_refptr<SequencedTaskRunner> task_runner)
    : ImportantFileWriter(
          path,
          std::move(task_runner),
          TimeDelta::FromMilliseconds(kDefaultCommitIntervalMs)) {}

ImportantFileWriter::ImportantFileWriter(
    const FilePath& path,
    scoped_refptr<SequencedTaskRunner> task_runner,
    TimeDelta interval)
    : path_(path),
      task_runner_(std::move(task_runner)),
      serializer_(nullptr),
      commit_interval_(interval) {
  DCHECK(task_runner_);
}

ImportantFileWriter::~ImportantFileWriter() = default;

bool ImportantFileWriter::HasPendingWrite() const {
  return timer_.IsRunning();
}

void ImportantFileWriter::ScheduleWrite(DataSerializer* serializer) {
  DCHECK(serializer);
  serializer_ = serializer;
  if (!timer_.IsRunning()) {
    timer_.Start(LOCATION_FROM_HERE("base::ImportantFileWriter::ScheduleWrite"),
                 commit_interval_,
                 Bind(&ImportantFileWriter::DoScheduledWrite, this));
  }
}

void ImportantFileWriter::DoScheduledWrite() {
  DCHECK(serializer_);
  std::unique_ptr<std::string> data(new std::string);
  if (serializer_->SerializeData(data.get()))
    WriteNow(std::move(data));
  else
    LOG(WARNING) << "Failed to serialize data to be saved in "
                 << path_.AsUTF8();
  serializer_ = nullptr;
}

void ImportantFileWriter::WriteNow(std::unique_ptr<std::string> data) {
  if (data->size() > kMaxDataSize) {
    LOG(WARNING) << "Not writing " << path_.AsUTF8() << ": data too large ("
                 << data->size() << " bytes)";
    return;
  }
  if (HasPendingWrite())
    timer_.Stop();

  const Callback<bool()> task =
      Bind(&WriteOwnedData, path_, Owned(data.release()));
  if (!PostWriteTask(task)) {
    // The runner is gone or shutting down: write here rather than lose the
    // data.
    task.Run();
  }
}

bool ImportantFileWriter::PostWriteTask(const Callback<bool()>& task) {
  return task_runner_->PostTask(
      LOCATION_FROM_HERE("base::ImportantFileWriter::PostWriteTask"),
      Bind(&RunAndIgnoreResult, task));
}

// static
bool ImportantFileWriter::WriteFileAtomically(const FilePath& path,
                                              StringPiece data) {
  if (data.size() > kMaxDataSize) {
    LOG(WARNING) << "Failed to write " << path.AsUTF8() << ": data too large ("
                 << data.size() << " bytes)";
    return false;
  }
  const StepOutcomeHook hook = GetStepHook();

  FilePath temp_file_path;
  if (!StepMayProceed(hook, WriteStep::kCreateTemporaryFile) ||
      !CreateTemporaryFileInDir(path.DirName(), &temp_file_path)) {
    LogFailure(path, FAILED_CREATING, "could not create temporary file");
    return false;
  }

  File temp_file;
  if (StepMayProceed(hook, WriteStep::kOpen))
    temp_file.Initialize(temp_file_path, File::FLAG_OPEN | File::FLAG_WRITE);
  if (!temp_file.IsValid()) {
    LogFailure(path, FAILED_OPENING, "could not open temporary file");
    // An empty file left behind would pile up with every failed attempt.
    DeleteFile(temp_file_path, false);
    return false;
  }

  // Every step runs before any is judged, so the file is closed in any case.
  const int data_length = static_cast<int>(data.size());
  const int bytes_written =
      WriteData(&temp_file, data, RunStepHook(hook, WriteStep::kWrite));
  const bool flush_success =
      StepMayProceed(hook, WriteStep::kFlush) && temp_file.Flush();
  StepMayProceed(hook, WriteStep::kClose);
  temp_file.Close();

  if (bytes_written < data_length) {
    LogFailure(path, FAILED_WRITING,
               "error writing, bytes_written=" + IntToString(bytes_written));
    DeleteFile(temp_file_path, false);
    return false;
  }
  if (!flush_success) {
    LogFailure(path, FAILED_FLUSHING, "error flushing");
    DeleteFile(temp_file_path, false);
    return false;
  }
  if (!StepMayProceed(hook, WriteStep::kReplace) ||
      !ReplaceFile(temp_file_path, path, nullptr)) {
    LogFailure(path, FAILED_RENAMING, "could not rename temporary file");
    DeleteFile(temp_file_path, false);
    return false;
  }
  return true;
}

// static
void ImportantFileWriter::SetStepHookForTesting(const StepHook& hook) {
  SetStepHookForTesting(hook.is_null() ? StepOutcomeHook()
                                       : Bind(&OutcomeOfStep, hook));
}

// static
void ImportantFileWriter::SetStepHookForTesting(const StepOutcomeHook& hook) {
  StepHookSlot& slot = g_step_hook.Get();
  AutoLock auto_lock(slot.lock);
  slot.hook = hook;
}

}  // namespace base

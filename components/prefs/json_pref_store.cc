#include "components/prefs/json_pref_store.h"

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/json/json_file_value_serializer.h"
#include "base/json/json_string_value_serializer.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/numerics/checked_math.h"
#include "base/task_runner_util.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/time/default_clock.h"
#include "base/values.h"
#include "components/prefs/pref_store_observer.h"

// What the disk read hands from the file task runner to the store.
struct PrefReadResult {
  // A dictionary, or null.
  std::unique_ptr<base::Value> value;
  PersistentPrefStoreInterface::PrefReadError error =
      PersistentPrefStoreInterface::PREF_READ_ERROR_NONE;
  // The folder of the file does not exist.
  bool no_dir = false;
};

namespace {

// Extension of a corrupt preferences file moved aside.
const wchar_t kBadExtension[] = L"bad";

// The report interval of the write-count recorder.
constexpr int64_t kReportIntervalSeconds = 5 * 60;

// The file's base name for histogram names: ASCII (else empty), spaces as
// underscores.
std::string GetSpacelessBaseName(const base::FilePath& path) {
  std::string base_name = path.BaseName().AsASCIIOrEmpty();
  std::replace(base_name.begin(), base_name.end(), ' ', '_');
  return base_name;
}

void RecordJsonDataSizeHistogram(const base::FilePath& path, size_t size) {
  // The name holds the path, so a static slot per call site cannot keep the
  // histogram; a store reads its file once.
  base::HistogramBase* histogram = base::Histogram::FactoryGet(
      "Settings.JsonDataReadSizeKilobytes." + GetSpacelessBaseName(path), 1,
      10000, 50, base::HistogramBase::kReportedHistogramFlag);
  histogram->Add(static_cast<base::HistogramBase::Sample>(
      std::min<size_t>(size / 1024, base::HistogramBase::kSampleType_MAX)));
}

// Moves a corrupt file aside to the same name with the extension "bad".
// False when it stays where it is.
bool MoveAside(const base::FilePath& path) {
  if (base::Move(path, path.ReplaceExtension(kBadExtension)))
    return true;
  PLOG(ERROR) << "Failed to move aside the corrupt preferences file "
              << path.AsUTF8();
  return false;
}

// Classifies the outcome of deserializing |path|, moving a corrupt file
// aside. A corrupt file that cannot be moved counts as unreadable, which
// keeps the store from writing over it.
PersistentPrefStoreInterface::PrefReadError HandleReadErrors(
    const base::Value* value,
    const base::FilePath& path,
    int error_code,
    const std::string& error_message) {
  using Store = PersistentPrefStoreInterface;
  if (!value) {
    switch (error_code) {
      case base::JSONFileValueDeserializer::JSON_ACCESS_DENIED:
        return Store::PREF_READ_ERROR_ACCESS_DENIED;
      case base::JSONFileValueDeserializer::JSON_CANNOT_READ_FILE:
        return Store::PREF_READ_ERROR_FILE_OTHER;
      case base::JSONFileValueDeserializer::JSON_FILE_LOCKED:
        return Store::PREF_READ_ERROR_FILE_LOCKED;
      case base::JSONFileValueDeserializer::JSON_NO_SUCH_FILE:
        return Store::PREF_READ_ERROR_NO_FILE;
      default: {
        LOG(ERROR) << "Error while loading JSON file " << path.AsUTF8() << ": "
                   << error_message;
        const bool bad_existed =
            base::PathExists(path.ReplaceExtension(kBadExtension));
        if (!MoveAside(path))
          return Store::PREF_READ_ERROR_FILE_OTHER;
        return bad_existed ? Store::PREF_READ_ERROR_JSON_REPEAT
                           : Store::PREF_READ_ERROR_JSON_PARSE;
      }
    }
  }
  if (!value->IsType(base::Value::TYPE_DICTIONARY)) {
    if (!MoveAside(path))
      return Store::PREF_READ_ERROR_FILE_OTHER;
    return Store::PREF_READ_ERROR_JSON_TYPE;
  }
  return Store::PREF_READ_ERROR_NONE;
}

// The disk read, on the file task runner or the store's thread.
std::unique_ptr<PrefReadResult> ReadPrefsFromDisk(
    const base::FilePath& path,
    const base::FilePath& alternate_path) {
  if (!base::PathExists(path) && !alternate_path.empty() &&
      base::PathExists(alternate_path)) {
    base::MoveChecked(alternate_path, path);
  }

  int error_code = 0;
  std::string error_message;
  base::JSONFileValueDeserializer deserializer(path);
  deserializer.set_allow_trailing_comma(false);
  std::unique_ptr<PrefReadResult> result(new PrefReadResult);
  result->value = deserializer.Deserialize(&error_code, &error_message);
  result->error =
      HandleReadErrors(result->value.get(), path, error_code, error_message);
  if (result->error != PersistentPrefStoreInterface::PREF_READ_ERROR_NONE)
    result->value.reset();
  result->no_dir = !base::DirectoryExists(path.DirName());

  if (result->error == PersistentPrefStoreInterface::PREF_READ_ERROR_NONE)
    RecordJsonDataSizeHistogram(path, deserializer.get_last_read_size());
  return result;
}

std::unique_ptr<base::DictionaryValue> TakeDictionary(
    std::unique_ptr<base::Value> value) {
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary))
    return std::unique_ptr<base::DictionaryValue>(new base::DictionaryValue);
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

}  // namespace

// static
base::scoped_refptr<base::SequencedTaskRunner>
JsonPrefStore::GetTaskRunnerForFile(const base::FilePath& path,
                                    base::SequencedWorkerPool* pool) {
  const base::SequencedWorkerPool::SequenceToken token =
      pool->GetNamedSequenceToken("json_pref_store-" + path.AsUTF8());
  return pool->GetSequencedTaskRunnerWithShutdownBehavior(
      token, base::SequencedWorkerPool::BLOCK_SHUTDOWN);
}

JsonPrefStore::JsonPrefStore(
    const base::FilePath& path,
    base::scoped_refptr<base::SequencedTaskRunner> task_runner,
    std::unique_ptr<PrefStoreFilter> filter)
    : JsonPrefStore(path,
                    base::FilePath(),
                    std::move(task_runner),
                    std::move(filter)) {}

JsonPrefStore::JsonPrefStore(
    const base::FilePath& path,
    const base::FilePath& alternate_path,
    base::scoped_refptr<base::SequencedTaskRunner> task_runner,
    std::unique_ptr<PrefStoreFilter> filter)
    : path_(path),
      alternate_path_(alternate_path),
      file_task_runner_(std::move(task_runner)),
      prefs_(new base::DictionaryValue),
      read_only_(false),
      writer_(path, file_task_runner_),
      filter_(std::move(filter)),
      initialized_(false),
      filtering_in_progress_(false),
      pending_lossy_write_(false),
      read_error_(PREF_READ_ERROR_NONE),
      write_count_recorder_(writer_.commit_interval(), path),
      weak_ptr_factory_(this) {}

JsonPrefStore::~JsonPrefStore() {
  CommitPendingWrite();
}

void JsonPrefStore::AddObserver(PrefStoreObserver* observer) {
  observers_.AddObserver(observer);
}

void JsonPrefStore::RemoveObserver(PrefStoreObserver* observer) {
  observers_.RemoveObserver(observer);
}

bool JsonPrefStore::HasObservers() const {
  return observers_.might_have_observers();
}

bool JsonPrefStore::IsInitializationComplete() const {
  return initialized_;
}

bool JsonPrefStore::GetValue(const std::string& key,
                             const base::Value** result) const {
  return prefs_->Get(key, result);
}

void JsonPrefStore::SetValue(const std::string& key,
                             std::unique_ptr<base::Value> value,
                             uint32_t flags) {
  if (StoreValue(key, std::move(value)))
    NotifyValueChanged(key, flags);
}

void JsonPrefStore::RemoveValue(const std::string& key, uint32_t flags) {
  if (prefs_->RemovePath(key, nullptr))
    NotifyValueChanged(key, flags);
}

bool JsonPrefStore::GetMutableValue(const std::string& key,
                                    base::Value** result) {
  return prefs_->Get(key, result);
}

void JsonPrefStore::NotifyValueChanged(const std::string& key, uint32_t flags) {
  if (filter_)
    filter_->OnUpdate(key);
  observers_.Notify(&PrefStoreObserver::OnValueChanged, key);
  ScheduleWrite(flags);
}

void JsonPrefStore::SetValueWithoutNotification(
    const std::string& key,
    std::unique_ptr<base::Value> value,
    uint32_t flags) {
  if (StoreValue(key, std::move(value)))
    ScheduleWrite(flags);
}

bool JsonPrefStore::IsReadOnly() const {
  return read_only_;
}

PersistentPrefStoreInterface::PrefReadError JsonPrefStore::GetReadError()
    const {
  return read_error_;
}

PersistentPrefStoreInterface::PrefReadError JsonPrefStore::ReadPrefs() {
  OnFileRead(ReadPrefsFromDisk(path_, alternate_path_));
  return filtering_in_progress_ ? PREF_READ_ERROR_ASYNCHRONOUS_TASK_INCOMPLETE
                                : read_error_;
}

void JsonPrefStore::ReadPrefsAsync(
    std::unique_ptr<PrefReadErrorDelegate> error_delegate) {
  initialized_ = false;
  error_delegate_ = std::move(error_delegate);
  const bool posted = base::PostTaskAndReplyWithResult(
      file_task_runner_.get(),
      LOCATION_FROM_HERE("JsonPrefStore::ReadPrefsAsync"),
      base::Bind(&ReadPrefsFromDisk, path_, alternate_path_),
      base::Bind(&JsonPrefStore::OnFileRead, weak_ptr_factory_.GetWeakPtr()));
  if (!posted) {
    // A runner that is shutting down would leave the store uninitialized
    // for good, and its observers waiting: read here instead.
    LOG(WARNING) << "Reading " << path_.AsUTF8() << " on the calling thread";
    OnFileRead(ReadPrefsFromDisk(path_, alternate_path_));
  }
}

void JsonPrefStore::CommitPendingWrite() {
  FlushLossyChanges();
  if (writer_.HasPendingWrite() && !read_only_)
    writer_.DoScheduledWrite();
}

void JsonPrefStore::FlushLossyChanges() {
  if (pending_lossy_write_ && !read_only_)
    writer_.ScheduleWrite(this);
}

void JsonPrefStore::Unimplemented() {
  LOG(ERROR) << "NOT IMPLEMENTED";
}

bool JsonPrefStore::SerializeData(std::string* output) {
  if (read_only_ || !initialized_) {
    // A file that could not be read, or has not been read yet, must not be
    // replaced by what was set in memory meanwhile: the read may be still
    // running, or gone with a store destroyed before it ended.
    return false;
  }
  pending_lossy_write_ = false;
  write_count_recorder_.RecordWriteOccurred();
  if (filter_)
    filter_->OnSerialize(prefs_.get());
  base::JSONStringValueSerializer serializer(output);
  serializer.set_pretty_print(false);
  return serializer.Serialize(*prefs_);
}

void JsonPrefStore::OnFileRead(std::unique_ptr<PrefReadResult> read_result) {
  read_error_ = read_result->error;
  const bool initialization_successful = !read_result->no_dir;
  std::unique_ptr<base::DictionaryValue> unfiltered_prefs;
  if (initialization_successful) {
    switch (read_error_) {
      case PREF_READ_ERROR_ACCESS_DENIED:
      case PREF_READ_ERROR_FILE_OTHER:
      case PREF_READ_ERROR_FILE_LOCKED:
        read_only_ = true;
        break;
      default:
        break;
    }
    unfiltered_prefs = TakeDictionary(std::move(read_result->value));
  } else {
    unfiltered_prefs.reset(new base::DictionaryValue);
  }

  if (filter_) {
    filtering_in_progress_ = true;
    filter_->OnLoad(
        base::Bind(&JsonPrefStore::FinalizeFileRead,
                   weak_ptr_factory_.GetWeakPtr(), initialization_successful),
        std::move(unfiltered_prefs));
  } else {
    FinalizeFileRead(initialization_successful, std::move(unfiltered_prefs),
                     false);
  }
}

void JsonPrefStore::FinalizeFileRead(
    bool initialization_successful,
    std::unique_ptr<base::DictionaryValue> prefs,
    bool schedule_write) {
  filtering_in_progress_ = false;
  if (!initialization_successful) {
    observers_.Notify(&PrefStoreObserver::OnInitialized, false);
    return;
  }

  prefs_ = std::move(prefs);
  initialized_ = true;
  if (schedule_write)
    ScheduleWrite(kDefaultPrefWriteFlags);
  if (error_delegate_ && read_error_ != PREF_READ_ERROR_NONE)
    error_delegate_->OnReadError(read_error_);
  observers_.Notify(&PrefStoreObserver::OnInitialized, true);
}

void JsonPrefStore::ScheduleWrite(uint32_t flags) {
  if (read_only_)
    return;
  if (flags & kLossyPrefWriteFlag)
    pending_lossy_write_ = true;
  else
    writer_.ScheduleWrite(this);
}

bool JsonPrefStore::StoreValue(const std::string& key,
                               std::unique_ptr<base::Value> value) {
  DCHECK(value);
  const base::Value* old_value = nullptr;
  if (prefs_->Get(key, &old_value) && value->Equals(old_value))
    return false;
  prefs_->Set(key, std::move(value));
  return true;
}

JsonPrefStore::WriteCountRecorder::WriteCountRecorder(
    base::TimeDelta commit_interval,
    const base::FilePath& path)
    : WriteCountRecorder(commit_interval,
                         path,
                         std::unique_ptr<base::Clock>(new base::DefaultClock),
                         nullptr) {}

JsonPrefStore::WriteCountRecorder::WriteCountRecorder(
    base::TimeDelta commit_interval,
    const base::FilePath& path,
    std::unique_ptr<base::Clock> clock,
    base::HistogramBase* histogram)
    : commit_interval_(commit_interval),
      path_(path),
      clock_(std::move(clock)),
      report_interval_(base::TimeDelta::FromSeconds(kReportIntervalSeconds)),
      last_report_time_(clock_->Now()),
      writes_since_last_report_(0),
      histogram_(histogram) {}

JsonPrefStore::WriteCountRecorder::~WriteCountRecorder() {
  ReportOutstandingWrites();
}

void JsonPrefStore::WriteCountRecorder::RecordWriteOccurred() {
  ReportOutstandingWrites();
  ++writes_since_last_report_;
}

void JsonPrefStore::WriteCountRecorder::ReportOutstandingWrites() {
  const base::Time now = clock_->Now();
  const base::TimeDelta time_since_last_report = now - last_report_time_;
  if (time_since_last_report <= report_interval_)
    return;

  base::HistogramBase* histogram = GetHistogram();
  histogram->Add(static_cast<base::HistogramBase::Sample>(std::min<uint32_t>(
      writes_since_last_report_, base::HistogramBase::kSampleType_MAX)));

  // Each further interval that passed saw no write.
  const int64_t intervals_elapsed = time_since_last_report.InMicroseconds() /
                                    report_interval_.InMicroseconds();
  for (int64_t i = 1; i < intervals_elapsed; ++i)
    histogram->Add(0);

  writes_since_last_report_ = 0;
  last_report_time_ =
      last_report_time_ +
      base::TimeDelta::FromCheckedNumeric(base::internal::CheckedMul<int64_t>(
          intervals_elapsed, report_interval_.InMicroseconds()));
}

base::HistogramBase* JsonPrefStore::WriteCountRecorder::GetHistogram() {
  if (!histogram_) {
    // At least one bucket, however long the commit interval.
    const int64_t max_writes = std::max<int64_t>(
        1, report_interval_.InMicroseconds() /
               std::max<int64_t>(1, commit_interval_.InMicroseconds()));
    const base::HistogramBase::Sample maximum =
        static_cast<base::HistogramBase::Sample>(
            std::min<int64_t>(max_writes, 0x7FFFFFFE));
    histogram_ = base::Histogram::FactoryGet(
        "Settings.JsonDataWriteCount." + GetSpacelessBaseName(path_), 1,
        maximum, static_cast<uint32_t>(maximum) + 1,
        base::HistogramBase::kReportedHistogramFlag);
  }
  return histogram_;
}

#ifndef COMPONENTS_PREFS_JSON_PREF_STORE_H_
#define COMPONENTS_PREFS_JSON_PREF_STORE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/files/important_file_writer.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "base/sequenced_task_runner.h"
#include "base/time/time.h"
#include "components/prefs/persistent_pref_store_interface.h"
#include "components/prefs/pref_read_error_delegate.h"
#include "components/prefs/pref_store_filter.h"

namespace base {
class Clock;
class DictionaryValue;
class HistogramBase;
class SequencedWorkerPool;
}  // namespace base

class PrefStoreObserver;
struct PrefReadResult;

// Preferences kept in memory and persisted as one JSON file. The file is
// read once; a corrupt one is moved aside to the same name with the
// extension "bad". Every change is written behind through an atomic file
// writer on the file task runner, which gathers the changes of a 10-second
// commit interval into one write of the whole dictionary. A store whose
// file cannot be read (access denied, locked, other read failures) turns
// read-only and never writes, so the file it could not read survives.
//
// Used on the thread that created it; only the disk work runs on the file
// task runner, best obtained from GetTaskRunnerForFile.
class JsonPrefStore : public PersistentPrefStoreInterface,
                      public base::ImportantFileWriter::DataSerializer {
 public:
  // Counts the writes of a store and reports them as samples of writes per
  // report interval (5 minutes) to "Settings.JsonDataWriteCount." followed
  // by the file's base name.
  class WriteCountRecorder {
   public:
    WriteCountRecorder(base::TimeDelta commit_interval,
                       const base::FilePath& path);
    // For tests: |clock| in place of the system clock, and |histogram|
    // (not owned) in place of the named one.
    WriteCountRecorder(base::TimeDelta commit_interval,
                       const base::FilePath& path,
                       std::unique_ptr<base::Clock> clock,
                       base::HistogramBase* histogram);
    WriteCountRecorder(const WriteCountRecorder&) = delete;
    WriteCountRecorder& operator=(const WriteCountRecorder&) = delete;
    // Reports what is outstanding.
    ~WriteCountRecorder();

    void RecordWriteOccurred();
    // When more than a report interval has passed since the last report:
    // adds the writes counted since as one sample, a 0 for every further
    // whole interval that passed, and starts counting anew.
    void ReportOutstandingWrites();

    base::Time last_report_time() const { return last_report_time_; }
    uint32_t writes_since_last_report() const {
      return writes_since_last_report_;
    }

   private:
    base::HistogramBase* GetHistogram();

    const base::TimeDelta commit_interval_;
    const base::FilePath path_;
    const std::unique_ptr<base::Clock> clock_;
    const base::TimeDelta report_interval_;
    base::Time last_report_time_;
    uint32_t writes_since_last_report_;
    // Looked up at the first report.
    base::HistogramBase* histogram_;
  };

  // The runner of the sequence of |pool| that belongs to |path|: the same
  // path always gets the same sequence, so all reads and writes of one file
  // run in order, and shutdown waits for them.
  static base::scoped_refptr<base::SequencedTaskRunner> GetTaskRunnerForFile(
      const base::FilePath& path,
      base::SequencedWorkerPool* pool);

  // |filter| may be null.
  JsonPrefStore(const base::FilePath& path,
                base::scoped_refptr<base::SequencedTaskRunner> task_runner,
                std::unique_ptr<PrefStoreFilter> filter);
  // When no file exists at |path| and one does at |alternate_path| (which
  // may be empty), the read moves that one to |path| first.
  JsonPrefStore(const base::FilePath& path,
                const base::FilePath& alternate_path,
                base::scoped_refptr<base::SequencedTaskRunner> task_runner,
                std::unique_ptr<PrefStoreFilter> filter);
  JsonPrefStore(const JsonPrefStore&) = delete;
  JsonPrefStore& operator=(const JsonPrefStore&) = delete;

  // PrefStoreInterface:
  void AddObserver(PrefStoreObserver* observer) override;
  void RemoveObserver(PrefStoreObserver* observer) override;
  bool HasObservers() const override;
  bool IsInitializationComplete() const override;
  bool GetValue(const std::string& key,
                const base::Value** result) const override;

  // PersistentPrefStoreInterface:
  void SetValue(const std::string& key,
                std::unique_ptr<base::Value> value,
                uint32_t flags) override;
  void RemoveValue(const std::string& key, uint32_t flags) override;
  bool GetMutableValue(const std::string& key, base::Value** result) override;
  void NotifyValueChanged(const std::string& key, uint32_t flags) override;
  void SetValueWithoutNotification(const std::string& key,
                                   std::unique_ptr<base::Value> value,
                                   uint32_t flags) override;
  bool IsReadOnly() const override;
  PrefReadError GetReadError() const override;
  PrefReadError ReadPrefs() override;
  void ReadPrefsAsync(
      std::unique_ptr<PrefReadErrorDelegate> error_delegate) override;
  void CommitPendingWrite() override;
  void FlushLossyChanges() override;
  void Unimplemented() override;

  // base::ImportantFileWriter::DataSerializer: the dictionary as compact
  // JSON. Nothing while the store is read-only or has not read its file.
  bool SerializeData(std::string* output) override;

 private:
  // Commits what is pending first, so no change is lost.
  ~JsonPrefStore() override;

  // Takes in what the disk read gave, on the store's thread.
  void OnFileRead(std::unique_ptr<PrefReadResult> read_result);

  // Ends the read once the filter, if any, is done with |prefs|.
  void FinalizeFileRead(bool initialization_successful,
                        std::unique_ptr<base::DictionaryValue> prefs,
                        bool schedule_write);

  // Persists a change: schedules a write, or for a lossy change only
  // remembers that one is due. Nothing while read-only.
  void ScheduleWrite(uint32_t flags);

  // Stores |value| unless an equal one is there; true when it stored.
  bool StoreValue(const std::string& key, std::unique_ptr<base::Value> value);

  const base::FilePath path_;
  const base::FilePath alternate_path_;
  const base::scoped_refptr<base::SequencedTaskRunner> file_task_runner_;

  std::unique_ptr<base::DictionaryValue> prefs_;

  bool read_only_;

  base::ImportantFileWriter writer_;

  const std::unique_ptr<PrefStoreFilter> filter_;
  base::ObserverList<PrefStoreObserver> observers_;

  std::unique_ptr<PrefReadErrorDelegate> error_delegate_;

  bool initialized_;
  bool filtering_in_progress_;
  bool pending_lossy_write_;
  PrefReadError read_error_;

  WriteCountRecorder write_count_recorder_;

  base::WeakPtrFactory<JsonPrefStore> weak_ptr_factory_;
};

#endif  // COMPONENTS_PREFS_JSON_PREF_STORE_H_

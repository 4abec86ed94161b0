#ifndef COMPONENTS_PREFS_PERSISTENT_PREF_STORE_INTERFACE_H_
#define COMPONENTS_PREFS_PERSISTENT_PREF_STORE_INTERFACE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "components/prefs/pref_read_error_delegate.h"
#include "components/prefs/pref_store_interface.h"

// A preferences store that can be changed and keeps its values somewhere
// that outlives the process.
class PersistentPrefStoreInterface : public PrefStoreInterface {
 public:
  // How the initial read went.
  enum PrefReadError : int32_t {
    // Read and parsed; the root is a dictionary.
    PREF_READ_ERROR_NONE = 0,
    // Not valid JSON; the file was moved aside.
    PREF_READ_ERROR_JSON_PARSE = 1,
    // Valid JSON whose root is not a dictionary; the file was moved aside.
    PREF_READ_ERROR_JSON_TYPE = 2,
    PREF_READ_ERROR_ACCESS_DENIED = 3,
    // The file exists but could not be read.
    PREF_READ_ERROR_FILE_OTHER = 4,
    PREF_READ_ERROR_FILE_LOCKED = 5,
    PREF_READ_ERROR_NO_FILE = 6,
    // Not valid JSON, and an earlier corrupt file had been moved aside.
    PREF_READ_ERROR_JSON_REPEAT = 7,
    // A filter still works on what was read.
    PREF_READ_ERROR_ASYNCHRONOUS_TASK_INCOMPLETE = 10,
  };

  // Write flags, a bit set.
  static constexpr uint32_t kDefaultPrefWriteFlags = 0;
  // A change that may wait in memory for the next ordinary write or flush.
  static constexpr uint32_t kLossyPrefWriteFlag = 2;

  // Stores |value| at |key| and tells the observers.
  virtual void SetValue(const std::string& key,
                        std::unique_ptr<base::Value> value,
                        uint32_t flags) = 0;
  // Removes the value at |key| and tells the observers when there was one.
  virtual void RemoveValue(const std::string& key, uint32_t flags) = 0;
  // The value at |key| for changing in place, which the caller then
  // announces with NotifyValueChanged.
  virtual bool GetMutableValue(const std::string& key,
                               base::Value** result) = 0;
  // Tells the observers that the value at |key| changed, and persists it.
  virtual void NotifyValueChanged(const std::string& key, uint32_t flags) = 0;
  // As SetValue, without telling anyone.
  virtual void SetValueWithoutNotification(const std::string& key,
                                           std::unique_ptr<base::Value> value,
                                           uint32_t flags) = 0;

  // Whether changes stay in memory only.
  virtual bool IsReadOnly() const = 0;
  virtual PrefReadError GetReadError() const = 0;

  // Reads the values now.
  virtual PrefReadError ReadPrefs() = 0;
  // Reads the values in the background; observers learn of the end through
  // OnInitialized, |error_delegate| (which may be null) of an error.
  virtual void ReadPrefsAsync(
      std::unique_ptr<PrefReadErrorDelegate> error_delegate) = 0;

  // Persists pending changes now.
  virtual void CommitPendingWrite() = 0;
  // Schedules the persisting of lossy changes.
  virtual void FlushLossyChanges() = 0;

  // An operation no store of this program provides.
  virtual void Unimplemented() = 0;

 protected:
  ~PersistentPrefStoreInterface() override = default;
};

#endif  // COMPONENTS_PREFS_PERSISTENT_PREF_STORE_INTERFACE_H_

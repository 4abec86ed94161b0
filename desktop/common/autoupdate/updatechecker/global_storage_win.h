#ifndef DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBAL_STORAGE_WIN_H_
#define DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBAL_STORAGE_WIN_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/singleton.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/autoupdate/updatechecker/global_storage.h"

class JsonPrefStore;

namespace base {
class DictionaryValue;
class SequencedWorkerPool;
}  // namespace base

namespace vexlo {
namespace autoupdate {

// The store as registry values under the company's key of the current user.
// Where that key cannot be written, the values live in the JSON file
// "au_global_storage" instead, under its key "GS", and a later process that
// finds the key writable copies them back. A named mutex, taken without
// waiting, keeps two processes from working on the store at once; this class
// has no lock of its own and is used from one thread, which must run a
// message loop (the fallback file is written through a preferences store).
class GlobalStorageWin : public GlobalStorage {
 public:
  static const wchar_t kMutexName[];
  static const wchar_t kFallbackFileName[];

  // The process-wide instance, created on first use and kept until exit.
  static GlobalStorageWin* GetInstance();

  // "Software\" followed by the product configuration's company name.
  static base::string16 CompanyKeyPath();

  // A store over |company_key| below HKEY_CURRENT_USER, serialised by the
  // mutex |mutex_name|. Whether the key is read-only is decided here, once.
  GlobalStorageWin(const base::string16& company_key,
                   const base::string16& mutex_name);
  GlobalStorageWin(const GlobalStorageWin&) = delete;
  GlobalStorageWin& operator=(const GlobalStorageWin&) = delete;
  ~GlobalStorageWin() override;

  // GlobalStorage. Initialize copies the values of an existing fallback file
  // into the registry when the key is writable and nothing has been written
  // to it yet in this process; the file stays.
  void Initialize(const base::FilePath& folder) override;
  int32_t SetValue(const std::string& name, const std::string& value) override;
  int32_t GetValue(const std::string& name, std::string* value) override;

  bool registry_read_only() const { return registry_read_only_; }
  const base::FilePath& fallback_path() const { return fallback_path_; }

 private:
  friend struct base::DefaultSingletonTraits<GlobalStorageWin>;

  GlobalStorageWin();

  // Takes the mutex without waiting: kSuccess when taken (release it with
  // ReleaseMutex), kBusy when another holder has it, kFailure when it cannot
  // be created or opened.
  int32_t TakeMutex();
  void ReleaseMutex();

  bool WriteToFallback(const std::string& name, const std::string& value);
  int32_t ReadFromFallback(const std::string& name, std::string* value);
  // A store of the fallback file, already read, writing through |pool|.
  base::scoped_refptr<JsonPrefStore> OpenFallbackStore(
      base::SequencedWorkerPool* pool);
  // Copies every string of the file into the registry.
  void MigrateFallbackToRegistry();

  int32_t WriteToRegistry(const std::string& name, const std::string& value);
  int32_t DeleteFromRegistry(const std::string& name);
  int32_t ReadFromRegistry(const std::string& name, std::string* value);

  const base::string16 company_key_;
  const base::string16 mutex_name_;

  base::win::ScopedHandle mutex_;
  base::FilePath fallback_path_;
  bool initialized_;
  bool registry_read_only_;
  bool registry_written_;
  bool migrating_;
};

}  // namespace autoupdate
}  // namespace vexlo

#endif  // DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBAL_STORAGE_WIN_H_

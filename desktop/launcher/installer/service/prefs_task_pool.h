#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_PREFS_TASK_POOL_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_PREFS_TASK_POOL_H_

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/singleton.h"
#include "components/prefs/json_pref_store.h"

namespace base {
class SequencedWorkerPool;
}

namespace vexlo {
namespace installer {

// The one worker thread, "PrefsTaskPool", on which the installer writes its
// preference files, so that two stores of one file write in posting order.
class PrefsTaskPool {
 public:
  // Created on first use, which must be on a thread with a message loop.
  // At exit the pool is shut down, which waits for the writes already
  // posted, and released.
  static PrefsTaskPool* GetInstance();

  PrefsTaskPool(const PrefsTaskPool&) = delete;
  PrefsTaskPool& operator=(const PrefsTaskPool&) = delete;

  // A store of the JSON file |path|, already read (once the writes already
  // posted for the file have landed), whose changes are written behind,
  // atomically, on the pool's thread. Not on the pool's thread.
  base::scoped_refptr<JsonPrefStore> OpenPrefStore(const base::FilePath& path);

  // The sequence on which the stores of |path| read and write.
  base::scoped_refptr<base::SequencedTaskRunner> GetTaskRunnerForFile(
      const base::FilePath& path);

 private:
  friend struct base::DefaultSingletonTraits<PrefsTaskPool>;

  PrefsTaskPool();
  ~PrefsTaskPool();

  base::scoped_refptr<base::SequencedWorkerPool> pool_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_PREFS_TASK_POOL_H_

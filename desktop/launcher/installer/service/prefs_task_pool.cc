#include "desktop/launcher/installer/service/prefs_task_pool.h"

#include "base/threading/sequenced_worker_pool.h"

namespace vexlo {
namespace installer {

// static
PrefsTaskPool* PrefsTaskPool::GetInstance() {
  return base::Singleton<PrefsTaskPool>::get();
}

PrefsTaskPool::PrefsTaskPool()
    : pool_(new base::SequencedWorkerPool(1, "PrefsTaskPool")) {}

// The at-exit manager deletes the holder. Shutting the pool down first lets
// every write already posted run (they block shutdown) and refuses new ones.
PrefsTaskPool::~PrefsTaskPool() {
  pool_->Shutdown(0);
}

base::scoped_refptr<JsonPrefStore> PrefsTaskPool::OpenPrefStore(
    const base::FilePath& path) {
  base::scoped_refptr<JsonPrefStore> store(
      new JsonPrefStore(path, GetTaskRunnerForFile(path), nullptr));
  store->ReadPrefs();
  return store;
}

base::scoped_refptr<base::SequencedTaskRunner>
PrefsTaskPool::GetTaskRunnerForFile(const base::FilePath& path) {
  return JsonPrefStore::GetTaskRunnerForFile(path, pool_.get());
}

}  // namespace installer
}  // namespace vexlo

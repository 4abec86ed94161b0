#include "desktop/launcher/installer/service/prefs_task_pool.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/synchronization/waitable_event.h"
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
  const base::scoped_refptr<base::SequencedTaskRunner> runner =
      GetTaskRunnerForFile(path);
  // An earlier store of the file may have left its write behind on the
  // pool. Read before it lands, and this store would write the old content
  // back over it.
  base::WaitableEvent written(true, false);
  if (runner->PostTask(LOCATION_FROM_HERE("PrefsTaskPool::OpenPrefStore"),
                       base::Bind(&base::WaitableEvent::Signal, &written))) {
    written.Wait();
  }
  base::scoped_refptr<JsonPrefStore> store(
      new JsonPrefStore(path, runner, nullptr));
  store->ReadPrefs();
  return store;
}

base::scoped_refptr<base::SequencedTaskRunner>
PrefsTaskPool::GetTaskRunnerForFile(const base::FilePath& path) {
  return JsonPrefStore::GetTaskRunnerForFile(path, pool_.get());
}

}  // namespace installer
}  // namespace vexlo

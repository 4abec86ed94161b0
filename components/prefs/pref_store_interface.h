#ifndef COMPONENTS_PREFS_PREF_STORE_INTERFACE_H_
#define COMPONENTS_PREFS_PREF_STORE_INTERFACE_H_

#include <string>

#include "base/memory/ref_counted.h"

namespace base {
class Value;
}  // namespace base

class PrefStoreObserver;

// A source of preference values, each under a key that is a '.'-separated
// path into a dictionary. Used on one thread; the last reference deletes
// the store.
class PrefStoreInterface : public base::RefCounted<PrefStoreInterface> {
 public:
  PrefStoreInterface(const PrefStoreInterface&) = delete;
  PrefStoreInterface& operator=(const PrefStoreInterface&) = delete;

  // A store without observers ignores these.
  virtual void AddObserver(PrefStoreObserver* observer);
  virtual void RemoveObserver(PrefStoreObserver* observer);
  virtual bool HasObservers() const;

  // Whether the store is ready to serve values; true unless it reads them
  // from somewhere first.
  virtual bool IsInitializationComplete() const;

  // The value at |key| in |result| (which may be null); false when there is
  // none.
  virtual bool GetValue(const std::string& key,
                        const base::Value** result) const = 0;

 protected:
  friend class base::RefCounted<PrefStoreInterface>;

  PrefStoreInterface();
  virtual ~PrefStoreInterface();
};

#endif  // COMPONENTS_PREFS_PREF_STORE_INTERFACE_H_

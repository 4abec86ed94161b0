#ifndef COMPONENTS_PREFS_PREF_STORE_OBSERVER_H_
#define COMPONENTS_PREFS_PREF_STORE_OBSERVER_H_

#include <string>

// Told by a preferences store about its changes. The store never owns or
// deletes its observers.
class PrefStoreObserver {
 public:
  // The value at |key| was set, changed or removed.
  virtual void OnValueChanged(const std::string& key) = 0;
  // The initial read ended; |succeeded| is false when the store could not
  // be initialized.
  virtual void OnInitialized(bool succeeded) = 0;

 protected:
  ~PrefStoreObserver() = default;
};

#endif  // COMPONENTS_PREFS_PREF_STORE_OBSERVER_H_

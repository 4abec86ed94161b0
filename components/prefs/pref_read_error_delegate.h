#ifndef COMPONENTS_PREFS_PREF_READ_ERROR_DELEGATE_H_
#define COMPONENTS_PREFS_PREF_READ_ERROR_DELEGATE_H_

#include <stdint.h>

// Told when an asynchronous read of a preferences store ended with an
// error; owned by the store.
class PrefReadErrorDelegate {
 public:
  virtual ~PrefReadErrorDelegate() = default;

  // |error| is one of PersistentPrefStoreInterface::PrefReadError, never
  // PREF_READ_ERROR_NONE.
  virtual void OnReadError(int32_t error) = 0;
};

#endif  // COMPONENTS_PREFS_PREF_READ_ERROR_DELEGATE_H_

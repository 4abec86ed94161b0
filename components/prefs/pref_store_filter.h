#ifndef COMPONENTS_PREFS_PREF_STORE_FILTER_H_
#define COMPONENTS_PREFS_PREF_STORE_FILTER_H_

#include <memory>
#include <string>

#include "base/callback.h"

namespace base {
class DictionaryValue;
}  // namespace base

// Works on a preferences store's dictionary as it is loaded, changed and
// written; owned by the store.
class PrefStoreFilter {
 public:
  // Hands the filtered dictionary back to the store, with whether the
  // store should schedule a write of it.
  using PostFilterOnLoadCallback =
      base::Callback<void(std::unique_ptr<base::DictionaryValue> prefs,
                          bool schedule_write)>;

  virtual ~PrefStoreFilter() = default;

  // Receives the dictionary just read; the store waits until
  // |post_filter_on_load_callback| gives it back, now or later.
  virtual void OnLoad(
      const PostFilterOnLoadCallback& post_filter_on_load_callback,
      std::unique_ptr<base::DictionaryValue> pref_store_contents) = 0;

  // The value at |key| changed.
  virtual void OnUpdate(const std::string& key) = 0;

  // |pref_store_contents| is about to be written and may still be changed.
  virtual void OnSerialize(base::DictionaryValue* pref_store_contents) = 0;
};

#endif  // COMPONENTS_PREFS_PREF_STORE_FILTER_H_

#include "components/prefs/pref_store_interface.h"

PrefStoreInterface::PrefStoreInterface() = default;

PrefStoreInterface::~PrefStoreInterface() = default;

void PrefStoreInterface::AddObserver(PrefStoreObserver* /*observer*/) {}

void PrefStoreInterface::RemoveObserver(PrefStoreObserver* /*observer*/) {}

bool PrefStoreInterface::HasObservers() const {
  return false;
}

bool PrefStoreInterface::IsInitializationComplete() const {
  return true;
}

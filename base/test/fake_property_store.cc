#include "base/test/fake_property_store.h"

#include <string.h>

namespace base {
namespace win {

namespace {

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
  return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

}  // namespace

FakePropertyStore::FakePropertyStore()
    : references_(0),
      get_value_result_(S_OK),
      set_value_result_(S_OK),
      commit_result_(S_OK) {}

FakePropertyStore::~FakePropertyStore() {
  Clear(&pending_);
  Clear(&committed_);
}

HRESULT FakePropertyStore::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyStore)) {
    *object = static_cast<IPropertyStore*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG FakePropertyStore::AddRef() {
  return ++references_;
}

ULONG FakePropertyStore::Release() {
  return --references_;
}

HRESULT FakePropertyStore::GetCount(DWORD* count) {
  calls_.push_back("GetCount");
  *count = static_cast<DWORD>(committed_.size());
  return S_OK;
}

HRESULT FakePropertyStore::GetAt(DWORD index, PROPERTYKEY* key) {
  calls_.push_back("GetAt");
  if (index >= committed_.size())
    return E_INVALIDARG;
  *key = committed_[index].key;
  return S_OK;
}

HRESULT FakePropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
  calls_.push_back("GetValue");
  memset(value, 0, sizeof(*value));
  if (FAILED(get_value_result_))
    return get_value_result_;
  Entry* entry = Find(&committed_, key);
  if (entry)
    PropVariantCopy(value, &entry->value);
  return get_value_result_;
}

HRESULT FakePropertyStore::SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) {
  calls_.push_back("SetValue");
  if (SUCCEEDED(set_value_result_))
    Put(&pending_, key, value);
  return set_value_result_;
}

HRESULT FakePropertyStore::Commit() {
  calls_.push_back("Commit");
  if (FAILED(commit_result_))
    return commit_result_;
  for (const Entry& entry : pending_)
    Put(&committed_, entry.key, entry.value);
  Clear(&pending_);
  return commit_result_;
}

void FakePropertyStore::PutCommitted(const PROPERTYKEY& key,
                                     const PROPVARIANT& value) {
  Put(&committed_, key, value);
}

// static
FakePropertyStore::Entry* FakePropertyStore::Find(Entries* entries,
                                                  const PROPERTYKEY& key) {
  for (Entry& entry : *entries) {
    if (SameKey(entry.key, key))
      return &entry;
  }
  return nullptr;
}

// static
void FakePropertyStore::Put(Entries* entries,
                            const PROPERTYKEY& key,
                            const PROPVARIANT& value) {
  Entry* entry = Find(entries, key);
  if (!entry) {
    entries->push_back(Entry());
    entry = &entries->back();
    entry->key = key;
    memset(&entry->value, 0, sizeof(entry->value));
  }
  PropVariantClear(&entry->value);
  PropVariantCopy(&entry->value, &value);
}

// static
void FakePropertyStore::Clear(Entries* entries) {
  for (Entry& entry : *entries)
    PropVariantClear(&entry.value);
  entries->clear();
}

}  // namespace win
}  // namespace base

#ifndef BASE_TEST_FAKE_PROPERTY_STORE_H_
#define BASE_TEST_FAKE_PROPERTY_STORE_H_

#include <windows.h>

#include <propsys.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "base/win/scoped_propvariant.h"

namespace base {
namespace win {

// An in-memory IPropertyStore for tests: it records each call by name, can be
// made to return any result, and makes written values readable only once
// committed, so that a forgotten commit shows. It belongs to its test; the
// references that others take are counted but never free it.
class FakePropertyStore : public IPropertyStore {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IPropertyStore))
      return E_NOINTERFACE;
    *object = static_cast<IPropertyStore*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  HRESULT STDMETHODCALLTYPE GetCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key,
                                     PROPVARIANT* value) override {
    calls_.push_back("GetValue");
    memset(value, 0, sizeof(*value));
    const auto found = committed_.find(Name(key));
    if (SUCCEEDED(get_value_result_) && found != committed_.end())
      PropVariantCopy(value, &found->second.get());
    return get_value_result_;
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key,
                                     REFPROPVARIANT value) override {
    calls_.push_back("SetValue");
    if (SUCCEEDED(set_value_result_))
      PropVariantCopy(pending_[Name(key)].Receive(), &value);
    return set_value_result_;
  }
  HRESULT STDMETHODCALLTYPE Commit() override {
    calls_.push_back("Commit");
    if (SUCCEEDED(commit_result_)) {
      for (auto& entry : pending_)
        PropVariantCopy(committed_[entry.first].Receive(), &entry.second.get());
      pending_.clear();
    }
    return commit_result_;
  }

  // What the next calls return. A failure code does nothing else; a success
  // code does the work and is returned in place of S_OK.
  void set_get_value_result(HRESULT result) { get_value_result_ = result; }
  void set_set_value_result(HRESULT result) { set_value_result_ = result; }
  void set_commit_result(HRESULT result) { commit_result_ = result; }

  // Puts a copy of |value| in place as if written and committed.
  void PutCommitted(const PROPERTYKEY& key, const PROPVARIANT& value) {
    PropVariantCopy(committed_[Name(key)].Receive(), &value);
  }

  // The names of the calls made, in order ("GetValue", "SetValue", ...).
  const std::vector<std::string>& calls() const { return calls_; }
  ULONG references() const { return references_; }

 private:
  static std::string Name(const PROPERTYKEY& key) {
    return std::string(reinterpret_cast<const char*>(&key), sizeof(key));
  }

  std::map<std::string, ScopedPropVariant> pending_;
  std::map<std::string, ScopedPropVariant> committed_;
  std::vector<std::string> calls_;
  ULONG references_ = 0;
  HRESULT get_value_result_ = S_OK;
  HRESULT set_value_result_ = S_OK;
  HRESULT commit_result_ = S_OK;
};

}  // namespace win
}  // namespace base

#endif  // BASE_TEST_FAKE_PROPERTY_STORE_H_

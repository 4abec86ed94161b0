#ifndef BASE_TEST_FAKE_PROPERTY_STORE_H_
#define BASE_TEST_FAKE_PROPERTY_STORE_H_

#include <windows.h>

#include <propsys.h>
#include <string.h>

#include <map>
#include <string>

#include "base/win/scoped_propvariant.h"

namespace base {
namespace win {

// An in-memory IPropertyStore for tests: it names each call it gets in
// calls() ("SetValue Commit ..."), can be made to fail or to succeed with any
// code, and counts the references others take, which never free it.
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
    memset(value, 0, sizeof(*value));
    if (SUCCEEDED(get_value_result_) && values_.count(Name(key)))
      PropVariantCopy(value, &values_[Name(key)].get());
    return get_value_result_;
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key,
                                     REFPROPVARIANT value) override {
    calls_ += "SetValue ";
    if (SUCCEEDED(set_value_result_))
      PropVariantCopy(values_[Name(key)].Receive(), &value);
    return set_value_result_;
  }
  HRESULT STDMETHODCALLTYPE Commit() override {
    calls_ += "Commit ";
    return commit_result_;
  }

  void set_get_value_result(HRESULT result) { get_value_result_ = result; }
  void set_set_value_result(HRESULT result) { set_value_result_ = result; }
  void set_commit_result(HRESULT result) { commit_result_ = result; }
  void Put(const PROPERTYKEY& key, const PROPVARIANT& value) {
    PropVariantCopy(values_[Name(key)].Receive(), &value);
  }
  const std::string& calls() const { return calls_; }
  ULONG references() const { return references_; }

 private:
  static std::string Name(const PROPERTYKEY& key) {
    return std::string(reinterpret_cast<const char*>(&key), sizeof(key));
  }

  std::map<std::string, ScopedPropVariant> values_;
  std::string calls_;
  ULONG references_ = 0;
  HRESULT get_value_result_ = S_OK;
  HRESULT set_value_result_ = S_OK;
  HRESULT commit_result_ = S_OK;
};

}  // namespace win
}  // namespace base

#endif  // BASE_TEST_FAKE_PROPERTY_STORE_H_

#ifndef BASE_TEST_FAKE_PROPERTY_STORE_H_
#define BASE_TEST_FAKE_PROPERTY_STORE_H_

#include <windows.h>

#include <propsys.h>

#include <string>
#include <vector>

namespace base {
namespace win {

// An in-memory IPropertyStore for tests: it keeps what is written and
// committed, records each call by name and can be made to return any result.
// Values written become readable only once committed, so that a forgotten
// commit shows. It belongs to its test; the references that others take are
// counted (references()) but never free it.
class FakePropertyStore : public IPropertyStore {
 public:
  FakePropertyStore();
  FakePropertyStore(const FakePropertyStore&) = delete;
  FakePropertyStore& operator=(const FakePropertyStore&) = delete;
  virtual ~FakePropertyStore();

  // IUnknown:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IPropertyStore:
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override;
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key,
                                     PROPVARIANT* value) override;
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key,
                                     REFPROPVARIANT value) override;
  HRESULT STDMETHODCALLTYPE Commit() override;

  // What the next calls return. A failure code does nothing else; a success
  // code does the work and is returned in place of S_OK.
  void set_get_value_result(HRESULT result) { get_value_result_ = result; }
  void set_set_value_result(HRESULT result) { set_value_result_ = result; }
  void set_commit_result(HRESULT result) { commit_result_ = result; }

  // Puts a copy of |value| for |key| in place as if written and committed,
  // without recording a call.
  void PutCommitted(const PROPERTYKEY& key, const PROPVARIANT& value);

  // The names of the IPropertyStore calls made, in order ("GetValue",
  // "SetValue", "Commit", ...).
  const std::vector<std::string>& calls() const { return calls_; }
  // The references others hold now.
  ULONG references() const { return references_; }

 private:
  struct Entry {
    PROPERTYKEY key;
    PROPVARIANT value;
  };
  using Entries = std::vector<Entry>;

  static Entry* Find(Entries* entries, const PROPERTYKEY& key);
  static void Put(Entries* entries,
                  const PROPERTYKEY& key,
                  const PROPVARIANT& value);
  static void Clear(Entries* entries);

  Entries pending_;
  Entries committed_;
  std::vector<std::string> calls_;
  ULONG references_;
  HRESULT get_value_result_;
  HRESULT set_value_result_;
  HRESULT commit_result_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_TEST_FAKE_PROPERTY_STORE_H_

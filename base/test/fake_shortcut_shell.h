#ifndef BASE_TEST_FAKE_SHORTCUT_SHELL_H_
#define BASE_TEST_FAKE_SHORTCUT_SHELL_H_

#include <windows.h>

#include <string>
#include <vector>

#include "base/test/fake_property_store.h"
#include "base/win/shortcut_shell.h"

namespace base {
namespace win {

// Stands in for the shell while it lives: hands out one FakePropertyStore for
// every link, so that what one shortcut call writes the next one reads, and
// records the verbs run ("verb file") and the notifications sent ("event
// flags path").
class FakeShortcutShell : public ShortcutShell {
 public:
  FakeShortcutShell() : previous_(ShortcutShell::SetForTesting(this)) {}
  FakeShortcutShell(const FakeShortcutShell&) = delete;
  FakeShortcutShell& operator=(const FakeShortcutShell&) = delete;
  ~FakeShortcutShell() override { ShortcutShell::SetForTesting(previous_); }

  HRESULT GetPropertyStore(IShellLinkW* link, IPropertyStore** store) override {
    ++property_store_requests;
    *store = nullptr;
    if (SUCCEEDED(property_store_result) && hand_out_store && link)
      store_.QueryInterface(IID_IPropertyStore,
                            reinterpret_cast<void**>(store));
    return property_store_result;
  }
  INT_PTR ExecuteVerb(const wchar_t* verb, const FilePath& file) override {
    executions.push_back(verb + (L" " + file.value()));
    return execute_result;
  }
  void NotifyChange(LONG event, UINT flags, const wchar_t* path) override {
    notifications.push_back(std::to_wstring(event) + L" " +
                            std::to_wstring(flags) + L" " +
                            (path ? path : L"(null)"));
  }
  FakePropertyStore* store() { return &store_; }

  // What the calls return: GetPropertyStore hands out the store only with a
  // success code and |hand_out_store|; above 32 is a verb's success.
  HRESULT property_store_result = S_OK;
  bool hand_out_store = true;
  INT_PTR execute_result = 42;
  int property_store_requests = 0;
  std::vector<std::wstring> executions;
  std::vector<std::wstring> notifications;

 private:
  ShortcutShell* const previous_;
  FakePropertyStore store_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_TEST_FAKE_SHORTCUT_SHELL_H_

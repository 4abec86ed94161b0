#ifndef BASE_TEST_FAKE_SHORTCUT_SHELL_H_
#define BASE_TEST_FAKE_SHORTCUT_SHELL_H_

#include <windows.h>

#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
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
    ++property_store_requests_;
    *store = nullptr;
    if (SUCCEEDED(property_store_result_) && hand_out_store_ && link)
      property_store_.QueryInterface(IID_IPropertyStore,
                                     reinterpret_cast<void**>(store));
    return property_store_result_;
  }
  INT_PTR ExecuteVerb(const wchar_t* verb, const FilePath& file) override {
    executions_.push_back(string16(verb) + L" " + file.value());
    return execute_result_;
  }
  void NotifyChange(LONG event, UINT flags, const wchar_t* path) override {
    notifications_.push_back(std::to_wstring(event) + L" " +
                             std::to_wstring(flags) + L" " +
                             (path ? path : L"(null)"));
  }

  // A failure code makes GetPropertyStore hand out nothing; a success code is
  // returned with the store, or without it when |hand_out_store| is false.
  void set_property_store_result(HRESULT result, bool hand_out_store) {
    property_store_result_ = result;
    hand_out_store_ = hand_out_store;
  }
  void set_execute_result(INT_PTR result) { execute_result_ = result; }

  FakePropertyStore* property_store() { return &property_store_; }
  int property_store_requests() const { return property_store_requests_; }
  const std::vector<string16>& executions() const { return executions_; }
  std::vector<string16>* notifications() { return &notifications_; }

 private:
  ShortcutShell* const previous_;
  FakePropertyStore property_store_;
  HRESULT property_store_result_ = S_OK;
  bool hand_out_store_ = true;
  INT_PTR execute_result_ = 42;
  int property_store_requests_ = 0;
  std::vector<string16> executions_;
  std::vector<string16> notifications_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_TEST_FAKE_SHORTCUT_SHELL_H_

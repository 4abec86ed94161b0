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
// records the verbs run and the notifications sent.
class FakeShortcutShell : public ShortcutShell {
 public:
  struct Execution {
    string16 verb;
    FilePath file;
  };
  struct Notification {
    LONG event;
    UINT flags;
    bool has_path;
    string16 path;
  };

  FakeShortcutShell();
  FakeShortcutShell(const FakeShortcutShell&) = delete;
  FakeShortcutShell& operator=(const FakeShortcutShell&) = delete;
  ~FakeShortcutShell() override;

  // ShortcutShell:
  HRESULT GetPropertyStore(IShellLinkW* link, IPropertyStore** store) override;
  INT_PTR ExecuteVerb(const wchar_t* verb, const FilePath& file) override;
  void NotifyChange(LONG event, UINT flags, const wchar_t* path) override;

  // A failure code makes GetPropertyStore hand out nothing; a success code is
  // returned with the store, or without it when |hand_out_store| is false.
  void set_property_store_result(HRESULT result, bool hand_out_store) {
    property_store_result_ = result;
    hand_out_store_ = hand_out_store;
  }
  // What ExecuteVerb returns (above 32: success).
  void set_execute_result(INT_PTR result) { execute_result_ = result; }

  FakePropertyStore* property_store() { return &property_store_; }
  int property_store_requests() const { return property_store_requests_; }
  const std::vector<Execution>& executions() const { return executions_; }
  const std::vector<Notification>& notifications() const {
    return notifications_;
  }

 private:
  ShortcutShell* const previous_;
  FakePropertyStore property_store_;
  HRESULT property_store_result_;
  bool hand_out_store_;
  INT_PTR execute_result_;
  int property_store_requests_;
  std::vector<Execution> executions_;
  std::vector<Notification> notifications_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_TEST_FAKE_SHORTCUT_SHELL_H_

#include "base/test/fake_shortcut_shell.h"

namespace base {
namespace win {

FakeShortcutShell::FakeShortcutShell()
    : previous_(ShortcutShell::SetForTesting(this)),
      property_store_result_(S_OK),
      hand_out_store_(true),
      execute_result_(42),
      property_store_requests_(0) {}

FakeShortcutShell::~FakeShortcutShell() {
  ShortcutShell::SetForTesting(previous_);
}

HRESULT FakeShortcutShell::GetPropertyStore(IShellLinkW* link,
                                            IPropertyStore** store) {
  ++property_store_requests_;
  *store = nullptr;
  if (!link)
    return E_POINTER;
  if (SUCCEEDED(property_store_result_) && hand_out_store_) {
    property_store_.AddRef();
    *store = &property_store_;
  }
  return property_store_result_;
}

INT_PTR FakeShortcutShell::ExecuteVerb(const wchar_t* verb,
                                       const FilePath& file) {
  executions_.push_back(Execution{verb, file});
  return execute_result_;
}

void FakeShortcutShell::NotifyChange(LONG event,
                                     UINT flags,
                                     const wchar_t* path) {
  notifications_.push_back(
      Notification{event, flags, path != nullptr, path ? path : L""});
}

}  // namespace win
}  // namespace base

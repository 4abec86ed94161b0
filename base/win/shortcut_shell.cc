#include "base/win/shortcut_shell.h"

#include <shellapi.h>
#include <shlobj.h>

namespace base {
namespace win {

namespace {

class RealShortcutShell : public ShortcutShell {
 public:
  HRESULT GetPropertyStore(IShellLinkW* link, IPropertyStore** store) override {
    return link->QueryInterface(IID_IPropertyStore,
                                reinterpret_cast<void**>(store));
  }

  INT_PTR ExecuteVerb(const wchar_t* verb, const FilePath& file) override {
    return reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, verb, file.value().c_str(), nullptr, nullptr, SW_HIDE));
  }

  void NotifyChange(LONG event, UINT flags, const wchar_t* path) override {
    SHChangeNotify(event, flags, path, nullptr);
  }
};

ShortcutShell* g_shell_for_testing = nullptr;

}  // namespace

// static
ShortcutShell* ShortcutShell::Get() {
  static RealShortcutShell real_shell;
  return g_shell_for_testing ? g_shell_for_testing : &real_shell;
}

// static
ShortcutShell* ShortcutShell::SetForTesting(ShortcutShell* shell) {
  ShortcutShell* previous = g_shell_for_testing;
  g_shell_for_testing = shell;
  return previous;
}

}  // namespace win
}  // namespace base

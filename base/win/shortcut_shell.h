#ifndef BASE_WIN_SHORTCUT_SHELL_H_
#define BASE_WIN_SHORTCUT_SHELL_H_

#include <windows.h>

#include <propsys.h>
#include <shobjidl.h>

#include "base/files/file_path.h"

namespace base {
namespace win {

// The shell calls that the shortcut functions make besides those on the link
// object itself: the link's property store, the taskbar verbs and the change
// notifications. Tests put a recording fake in place of the real shell.
class ShortcutShell {
 public:
  virtual ~ShortcutShell() = default;

  // The property store of |link| in |store| (S_OK), or an error.
  virtual HRESULT GetPropertyStore(IShellLinkW* link,
                                   IPropertyStore** store) = 0;

  // Runs the shell verb |verb| on |file| without a window, parameters or
  // folder, showing nothing; returns what ShellExecuteW returns (above 32
  // for success).
  virtual INT_PTR ExecuteVerb(const wchar_t* verb, const FilePath& file) = 0;

  // Tells the shell of a change (SHChangeNotify without a second item).
  virtual void NotifyChange(LONG event, UINT flags, const wchar_t* path) = 0;

  // The shell in use: the real one unless a test replaced it.
  static ShortcutShell* Get();

  // Makes |shell| the one in use (null: the real one again) and returns the
  // replacement it follows (null when there was none). For tests, on the
  // thread that uses the shortcut functions.
  static ShortcutShell* SetForTesting(ShortcutShell* shell);
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SHORTCUT_SHELL_H_

#ifndef BASE_WIN_SHORTCUT_H_
#define BASE_WIN_SHORTCUT_H_

#include <stdint.h>
#include <windows.h>

#include <shobjidl.h>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/win/scoped_comptr.h"

namespace base {
namespace win {

// How CreateOrUpdateShortcutLink treats the shortcut file.
enum ShortcutOperation : int32_t {
  // A new shortcut, replacing any file of that name.
  SHORTCUT_CREATE_ALWAYS = 0,
  // A new shortcut in place of an existing one; the old arguments stay
  // unless new ones are given.
  SHORTCUT_REPLACE_EXISTING = 1,
  // Only the given properties change on an existing shortcut.
  SHORTCUT_UPDATE_EXISTING = 2,
};

// The properties of a shortcut, with the mask of those that are set. Callers
// fill the members and add their bits to |options|.
struct ShortcutProperties {
  enum IndividualProperties : uint32_t {
    PROPERTIES_TARGET = 0x01,
    PROPERTIES_WORKING_DIR = 0x02,
    PROPERTIES_ARGUMENTS = 0x04,
    PROPERTIES_DESCRIPTION = 0x08,
    PROPERTIES_ICON = 0x10,  // The icon with its index.
    PROPERTIES_APP_ID = 0x20,
    PROPERTIES_DUAL_MODE = 0x40,
    PROPERTIES_ALL = 0x7F,
  };

  ShortcutProperties();
  ~ShortcutProperties();

  void SetIcon(const FilePath& icon_path, int32_t index);

  FilePath target;
  FilePath working_dir;
  string16 arguments;
  string16 description;
  FilePath icon;
  int32_t icon_index;
  // The application user-model id.
  string16 app_id;
  bool dual_mode;
  uint32_t options;
};

// Longest arguments and description that a shortcut holds; the shell cuts
// longer ones.
constexpr int kMaxShortcutArgumentsLength = 1024;
constexpr int kMaxShortcutDescriptionLength = 1024;

// Creates or changes the shortcut at |shortcut_path| as |operation| says. The
// target must be given unless an existing shortcut is updated. The
// application user-model id and the dual-mode flag are written only from
// Windows 7 on. Nothing on disk changes unless every property could be
// applied. COM must be initialised on the calling thread.
bool CreateOrUpdateShortcutLink(const FilePath& shortcut_path,
                                const ShortcutProperties& properties,
                                ShortcutOperation operation);

// Reads the properties in the mask |options| from the shortcut at
// |shortcut_path| into |properties|, whose |options| then tell which were
// read: the application user-model id and the dual-mode flag only from
// Windows 7 on. |properties| is written only on success.
bool ReadShortcutProperties(const FilePath& shortcut_path,
                            uint32_t options,
                            ShortcutProperties* properties);

// Reads the target and the arguments of the shortcut at |shortcut_path| into
// those of |target_path| and |arguments| that are not null.
bool ResolveShortcut(const FilePath& shortcut_path,
                     FilePath* target_path,
                     string16* arguments);

// Pins the shortcut to the taskbar, or unpins it (only from Windows 7 on).
bool TaskbarPinShortcutLink(const FilePath& shortcut_path);
bool TaskbarUnpinShortcutLink(const FilePath& shortcut_path);

// Releases what |link| and |persist_file| hold, creates a shell link object
// with its IPersistFile and, when |shortcut_path| is not null, loads that
// shortcut for reading and writing. On failure both are left empty.
bool CreateShellLinkObjects(const FilePath* shortcut_path,
                            ScopedComPtr<IShellLinkW>* link,
                            ScopedComPtr<IPersistFile>* persist_file);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SHORTCUT_H_

#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_SCOPE_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_SCOPE_H_

#include <windows.h>

#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// What a run of the installer for one folder can have changed, and so all
// that a rollback journal of that folder may take back. Anyone who can
// write the journal's file could otherwise have the next run write, move
// and delete whatever the journal names, with the next run's rights.
//
// Paths are compared as the file system resolves them: without regard to
// case, after "." and ".." are resolved, trailing dots and spaces are cut
// and short names are made long; never by the prefix of the raw text. A
// path that goes through a link below the folder is not inside it.
class RollbackScope {
 public:
  // The files at or below |folder|, and the names the folder itself is set
  // aside under when it is deleted; no registry key.
  explicit RollbackScope(const base::FilePath& folder);
  RollbackScope(const RollbackScope& other);
  ~RollbackScope();

  // What the installations into |folder| change: that folder, the
  // product's shortcuts in the shell's folders and those that the
  // installation's records name, the company's start-menu folder that an
  // uninstallation removes, and the product's own registry keys and values.
  static RollbackScope ForInstallation(const base::FilePath& folder);

  // The product's shortcut files directly in |folder|, named as the
  // shortcut steps name them (with or without a version number), with
  // their set-aside names; the folder itself may have been created for
  // them.
  void AddShortcutFolder(const base::FilePath& folder);
  // The shortcut file |path| that an installation's record names, under
  // whatever name the build that made it gave it, with its set-aside names.
  void AddRecordedShortcut(const base::FilePath& path);
  // The folder |folder| itself and the names it is set aside under when it
  // is deleted whole; nothing in it.
  void AddDeletedFolder(const base::FilePath& folder);
  // The key |path| of the current user's and of the machine's hive, with
  // everything below it. A last component that ends with '*' stands for
  // every key whose name begins with what precedes the '*'.
  void AddOwnedKey(const base::string16& path);
  // The values whose names begin with |name_prefix| in the key |path|,
  // which others use too: the key may have been created for them, but
  // only an empty one is taken back.
  void AddSharedValues(const base::string16& path,
                       const base::string16& name_prefix);
  // The values of the key |path|, which others use too, named by the path
  // of a file directly in the folder, in any spelling of the folder.
  void AddFileNamedValues(const base::string16& path);

  // Whether a file or folder at |path| may be created, renamed, rewritten
  // or deleted.
  bool ContainsPath(const base::FilePath& path) const;
  // Whether the folders from |path| up to |ancestor| may be removed, as
  // the undo of their creation removes them: climbing by the text of
  // |path| until it meets the very text of |ancestor|. Only the folder and
  // the shortcut folders can have been created with missing folders above
  // them; a folder in the folder, once the folder was there.
  bool ContainsCreatedFolders(const base::FilePath& path,
                              const base::FilePath& ancestor) const;
  // Whether the key |path| of |root| is the product's, to be created,
  // deleted and rewritten whole.
  bool OwnsKey(HKEY root, const base::string16& path) const;
  // Whether the value |name| of the key |path| of |root| may be written or
  // deleted.
  bool ContainsValue(HKEY root,
                     const base::string16& path,
                     const base::string16& name) const;
  // Whether the key |path| of |root| may have been created by the run, as
  // one of its own keys or on the way to one.
  bool ContainsCreatedKey(HKEY root, const base::string16& path) const;

  // |path| as the file system resolves it, each component in upper case;
  // false for a path that is not absolute or names a device or a stream.
  static bool NormalizePath(const base::FilePath& path,
                            std::vector<base::string16>* components);

 private:
  struct SharedValues {
    std::vector<base::string16> key;
    base::string16 name_prefix;
  };

  static bool NormalizeFolder(const base::FilePath& folder,
                              std::vector<base::string16>* components);

  bool IsInsideFolder(const std::vector<base::string16>& path) const;
  bool IsShortcut(const std::vector<base::string16>& path) const;
  bool IsShortcutName(const base::string16& name) const;
  bool IsRecordedShortcut(const std::vector<base::string16>& path) const;
  bool IsShortcutFolder(const std::vector<base::string16>& path) const;
  bool IsDeletedFolder(const std::vector<base::string16>& path) const;
  bool IsFileNamedValue(const std::vector<base::string16>& key,
                        const base::string16& name) const;

  std::vector<base::string16> folder_;
  // The product's shortcut names, in upper case: the visible name with the
  // channel, then perhaps a space and a version number, then perhaps the
  // configured suffix, then the extension.
  base::string16 shortcut_stem_;
  base::string16 shortcut_suffix_;
  std::vector<std::vector<base::string16>> shortcut_folders_;
  std::vector<std::vector<base::string16>> recorded_shortcuts_;
  std::vector<std::vector<base::string16>> deleted_folders_;
  std::vector<std::vector<base::string16>> owned_keys_;
  std::vector<SharedValues> shared_values_;
  std::vector<std::vector<base::string16>> file_named_value_keys_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_ROLLBACK_SCOPE_H_

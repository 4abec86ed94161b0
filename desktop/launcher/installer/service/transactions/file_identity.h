#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_IDENTITY_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_IDENTITY_H_

#include <windows.h>

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// What tells a file from one that takes its name later: the volume it is on
// and its index there, which a rename keeps. A change kept for later names
// its file by this as well as by its path, and is made only through a
// handle whose identity was checked, so that it never reaches a file that
// another run has written at that path meanwhile.
class FileIdentity {
 public:
  // The outcome of an act on the file of an identity at a path.
  enum class Act {
    kDone,
    // The path holds no file of the identity.
    kNotThere,
    // It is there, and a process runs or holds it so that the act is
    // refused.
    kInUse,
    // It is there, and the act failed for another reason (logged).
    kFailed,
  };

  // An identity that no file has.
  FileIdentity();
  FileIdentity(uint32_t volume, uint64_t index);

  // The identity of the file at |path|, read through a handle that asks
  // for no access, so that a file held open without any sharing is read
  // too; unknown when there is no file there.
  static FileIdentity Of(const base::FilePath& path);

  bool known() const { return known_; }
  uint32_t volume() const { return volume_; }
  uint64_t index() const { return index_; }

  // Whether |path| holds the file of this identity.
  bool IsAt(const base::FilePath& path) const;
  // Deletes the file of this identity at |path|.
  Act DeleteAt(const base::FilePath& path) const;
  // Renames the file of this identity at |path| to |to|, never over
  // anything: kFailed when |to| is taken.
  Act MoveAt(const base::FilePath& path, const base::FilePath& to) const;

  // Opens the file of this identity at |path| to rename or delete it into
  // |file|: kDone when it is there and open. While |file| is open, no
  // process opens the file without sharing its deletion, so nothing can
  // stop a rename through it any more.
  Act OpenToChange(const base::FilePath& path,
                   base::win::ScopedHandle* file) const;
  // Renames |file|, opened at |path| by OpenToChange, to |to| as MoveAt
  // does.
  static Act MoveOpen(HANDLE file,
                      const base::FilePath& path,
                      const base::FilePath& to);

  bool operator==(const FileIdentity& other) const;
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }

 private:
  static FileIdentity OfHandle(HANDLE file);

  bool known_;
  uint32_t volume_;
  uint64_t index_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TRANSACTIONS_FILE_IDENTITY_H_

#ifndef DESKTOP_LAUNCHER_INSTALLER_UNINSTALL_BATCH_H_
#define DESKTOP_LAUNCHER_INSTALLER_UNINSTALL_BATCH_H_

#include <stdint.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// What could not be deleted while processes ran: a batch file waits for
// those processes to end, and for the files in use to be free, and then
// deletes it; an uninstallation's is "k.bat". Folders are removed only once
// empty, deepest first.
class UninstallBatch {
 public:
  // Turns a path the batch cannot name into one it can (its short form),
  // or gives an empty path.
  using PathFallback = std::function<base::FilePath(const base::FilePath&)>;

  UninstallBatch();
  UninstallBatch(const UninstallBatch&) = delete;
  UninstallBatch& operator=(const UninstallBatch&) = delete;
  ~UninstallBatch();

  // Remembers |file| and, when |with_folders|, every folder above it up to
  // just below its drive's root.
  void AddLeftover(const base::FilePath& file, bool with_folders);
  // As AddLeftover, for a file that some process other than the ones
  // waited for may still run or hold: the batch waits until it deletes it,
  // before it deletes anything else.
  void AddFileInUse(const base::FilePath& file, bool with_folders);
  // Remembers |folder| alone.
  void AddFolder(const base::FilePath& folder);
  // Remembers |file| to delete once everything else is done, before the
  // batch itself: the record of what the batch does, which must outlive
  // its work should the batch be ended first.
  void AddLast(const base::FilePath& file);

  // The batch text for the processes |process_ids| (0 for one not known),
  // in the code page |code_page|, which cmd.exe reads it in. |final_folder|,
  // when given, is removed last: the batch lies in it, so it can only go
  // once the batch has deleted itself. Paths that the code page cannot hold
  // go through |fallback|; a path without a form the code page can hold
  // gets no line, as a lossy form could name another file. A folder that
  // is a link gets no line either.
  std::string Build(const std::vector<uint32_t>& process_ids,
                    const base::FilePath& final_folder,
                    unsigned code_page,
                    const PathFallback& fallback) const;

 private:
  // Greatest first, code unit by code unit, so that a folder comes before
  // the folder that holds it.
  using FolderSet = std::set<base::string16, std::greater<base::string16>>;

  void AddFoldersAbove(const base::FilePath& file);

  std::vector<base::FilePath> files_;
  std::vector<base::FilePath> files_in_use_;
  FolderSet folders_;
  std::vector<base::FilePath> last_;
};

// |path| in |code_page| for a batch line, every '%' doubled so that cmd.exe
// does not expand it; false when a character has no exact form there.
bool EncodeBatchPath(const base::FilePath& path,
                     unsigned code_page,
                     std::string* encoded);

// EncodeBatchPath of |path|, or else of what |fallback| gives for it.
bool EncodeBatchPathOrFallback(const base::FilePath& path,
                               unsigned code_page,
                               const UninstallBatch::PathFallback& fallback,
                               std::string* encoded);

// The short form of an existing |path|, or an empty path.
base::FilePath GetShortPath(const base::FilePath& path);

// Starts the batch file |batch|, hidden and without waiting; false, logged,
// when it could not be started.
bool StartBatch(const base::FilePath& batch);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UNINSTALL_BATCH_H_

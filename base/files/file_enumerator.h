#ifndef BASE_FILES_FILE_ENUMERATOR_H_
#define BASE_FILES_FILE_ENUMERATOR_H_

#include <windows.h>

#include <stack>

#include "base/files/file_path.h"
#include "base/strings/string16.h"

namespace base {

// Walks a directory, optionally with its subdirectories. Each directory's
// entries come in the order the system returns them; subdirectories are
// walked after their parent is finished, the last discovered first.
// Reparse points are reported but never entered.
class FileEnumerator {
 public:
  // The entry types to report, a bit set.
  enum FileType {
    FILES = 1 << 0,
    DIRECTORIES = 1 << 1,
    INCLUDE_DOT_DOT = 1 << 2,
  };

  // One entry as the system described it.
  class FileInfo {
   public:
    FileInfo();
    explicit FileInfo(const WIN32_FIND_DATAW& find_data);
    ~FileInfo();

    bool IsDirectory() const;
    const WIN32_FIND_DATAW& find_data() const { return find_data_; }

   private:
    WIN32_FIND_DATAW find_data_;
  };

  // |file_type| is a FileType bit set.
  FileEnumerator(const FilePath& root_path, bool recursive, int file_type);
  // |pattern| (such as "*.txt") filters the entries of |root_path| only:
  // subdirectories are walked whole, and only those that match are entered.
  FileEnumerator(const FilePath& root_path,
                 bool recursive,
                 int file_type,
                 const string16& pattern);
  FileEnumerator(const FileEnumerator&) = delete;
  FileEnumerator& operator=(const FileEnumerator&) = delete;
  ~FileEnumerator();

  // The next entry as the walked directory plus the entry's name; the empty
  // path when the walk is over.
  FilePath Next();

  // The current entry, or a zeroed record before the first and after the
  // last.
  FileInfo GetInfo() const;

 private:
  // Starts the search of the most recently pushed pending directory.
  void BeginNextDirectory();
  // Whether the walk passes over |name| without reporting it.
  bool ShouldSkip(const wchar_t* name) const;

  bool has_find_data_;
  WIN32_FIND_DATAW find_data_;
  HANDLE find_handle_;
  FilePath root_path_;
  const bool recursive_;
  const int file_type_;
  string16 pattern_;
  std::stack<FilePath> pending_paths_;
};

}  // namespace base

#endif  // BASE_FILES_FILE_ENUMERATOR_H_

#ifndef BASE_FILES_IMPORTANT_FILE_WRITER_H_
#define BASE_FILES_IMPORTANT_FILE_WRITER_H_

#include "base/files/file_path.h"
#include "base/strings/string_piece.h"

namespace base {

// Writes files so that a crash or power loss never leaves one half written:
// the new contents go to a temporary file in the same folder, which is
// written, flushed, closed and then renamed over the target.
class ImportantFileWriter {
 public:
  // Replaces |path| with |data| on the calling thread. The target keeps its
  // old contents unless the whole sequence succeeds. Data of 2 GiB or more
  // is refused.
  static bool WriteFileAtomically(const FilePath& path, StringPiece data);
};

}  // namespace base

#endif  // BASE_FILES_IMPORTANT_FILE_WRITER_H_

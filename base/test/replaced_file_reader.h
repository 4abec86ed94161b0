#ifndef BASE_TEST_REPLACED_FILE_READER_H_
#define BASE_TEST_REPLACED_FILE_READER_H_

#include <stddef.h>

#include <string>

#include "base/files/file_path.h"

namespace base {

// Reads a file again and again while a writer replaces it, as a reader in
// another thread or process would, and tallies what each open finds. The
// writer writes whole files of |whole_size| copies of one letter and ends
// the reading with a file holding the stop word.
class ReplacedFileReader {
 public:
  static constexpr const char kStopWord[] = "stop";

  struct Tally {
    int whole = 0;
    int missing = 0;
    int torn = 0;
    // Opens or reads that failed for any other reason.
    int failed = 0;
  };

  ReplacedFileReader(const FilePath& path, size_t whole_size);
  ReplacedFileReader(const ReplacedFileReader&) = delete;
  ReplacedFileReader& operator=(const ReplacedFileReader&) = delete;

  // Opens and reads the file in a tight loop until it holds the stop word.
  // |on_first_whole|, when given, runs after the first whole read.
  Tally ReadUntilStopped(void (*on_first_whole)(const FilePath&) = nullptr);

  // The child's exit code for |tally|: 0 when every open found a whole file
  // and there was at least one, else a bit for each kind of fault.
  static int ExitCodeOf(const Tally& tally);

 private:
  enum class Found { kWhole, kStopWord, kMissing, kTorn, kFailed };

  Found ReadOnce();

  const FilePath path_;
  const size_t whole_size_;
  std::string buffer_;
};

}  // namespace base

#endif  // BASE_TEST_REPLACED_FILE_READER_H_

#ifndef BASE_TEST_UNIQUE_TEST_DIR_H_
#define BASE_TEST_UNIQUE_TEST_DIR_H_

#include "base/files/file_path.h"

namespace base {

// A new, empty folder of its own in the temporary folder for one test,
// deleted with everything in it when the object goes away.
class UniqueTestDir {
 public:
  UniqueTestDir();
  UniqueTestDir(const UniqueTestDir&) = delete;
  UniqueTestDir& operator=(const UniqueTestDir&) = delete;
  ~UniqueTestDir();

  // Empty when the folder could not be created.
  const FilePath& path() const { return path_; }
  bool IsValid() const { return !path_.empty(); }

 private:
  FilePath path_;
};

}  // namespace base

#endif  // BASE_TEST_UNIQUE_TEST_DIR_H_

#ifndef BASE_PATH_SERVICE_H_
#define BASE_PATH_SERVICE_H_

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_path.h"

namespace base {

// Where the well-known files and folders are, by path key (BasePathKey,
// WindowsPathKey). Answers come from overrides, then from a cache of earlier
// answers, then from the path providers, which ask Windows. Every answer is
// free of parent references. Safe to use from any thread.
class PathService {
 public:
  PathService() = delete;

  // The path for |key|; false, with |result| untouched, when nothing
  // answers. DIR_CURRENT always asks for the current directory afresh.
  static bool Get(int key, FilePath* result);

  // Makes |path| the answer for |key| from now on. With |create|, a missing
  // folder is created first, parents included; unless |is_absolute|, the
  // path is made absolute. Earlier answers for every key are forgotten, as
  // some may derive from |key|. False when the folder cannot be created or
  // the path cannot be made absolute.
  static bool OverrideAndCreateIfNeeded(int key,
                                        const FilePath& path,
                                        bool is_absolute,
                                        bool create);
};

}  // namespace base

#endif  // BASE_PATH_SERVICE_H_

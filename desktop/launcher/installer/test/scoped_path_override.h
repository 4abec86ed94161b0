#ifndef DESKTOP_LAUNCHER_INSTALLER_TEST_SCOPED_PATH_OVERRIDE_H_
#define DESKTOP_LAUNCHER_INSTALLER_TEST_SCOPED_PATH_OVERRIDE_H_

#include "base/files/file_path.h"

namespace vexlo {
namespace installer {

// Makes the path service answer |key| with |path| while the object lives,
// then answer what it answered before.
class ScopedPathOverride {
 public:
  ScopedPathOverride(int key, const base::FilePath& path);
  ScopedPathOverride(const ScopedPathOverride&) = delete;
  ScopedPathOverride& operator=(const ScopedPathOverride&) = delete;
  ~ScopedPathOverride();

 private:
  const int key_;
  base::FilePath previous_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_TEST_SCOPED_PATH_OVERRIDE_H_

#ifndef DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBAL_STORAGE_H_
#define DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBAL_STORAGE_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"

namespace vexlo {
namespace autoupdate {

// A small per-user store of narrow string values that the auto-update
// machinery and the installer share across processes. An empty value is the
// same as no value.
class GlobalStorage {
 public:
  // The statuses of the operations.
  static constexpr int32_t kSuccess = 0;
  // Another process holds the store; nothing was done.
  static constexpr int32_t kBusy = 1;
  static constexpr int32_t kFailure = -252;
  static constexpr int32_t kInvalidArgument = -254;

  // Tells the store the folder of its fallback file.
  virtual void Initialize(const base::FilePath& folder);
  virtual int32_t SetValue(const std::string& name,
                           const std::string& value) = 0;
  // |value| is cleared first and holds the value on success.
  virtual int32_t GetValue(const std::string& name, std::string* value) = 0;
  virtual ~GlobalStorage();
};

}  // namespace autoupdate
}  // namespace vexlo

#endif  // DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBAL_STORAGE_H_

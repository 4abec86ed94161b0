#ifndef DESKTOP_COMMON_PRODUCT_TEST_SCOPED_PRODUCT_CONFIGURATION_H_
#define DESKTOP_COMMON_PRODUCT_TEST_SCOPED_PRODUCT_CONFIGURATION_H_

#include <memory>

#include "base/strings/string_piece.h"

namespace base {
class DictionaryValue;
}

namespace vexlo {

// Makes the process-wide product configuration answer from |json_text| for
// the life of the object, then puts back whatever was there before.
class ScopedProductConfiguration {
 public:
  explicit ScopedProductConfiguration(base::StringPiece json_text);
  ScopedProductConfiguration(const ScopedProductConfiguration&) = delete;
  ScopedProductConfiguration& operator=(const ScopedProductConfiguration&) =
      delete;
  ~ScopedProductConfiguration();

 private:
  std::unique_ptr<base::DictionaryValue> previous_;
};

}  // namespace vexlo

#endif  // DESKTOP_COMMON_PRODUCT_TEST_SCOPED_PRODUCT_CONFIGURATION_H_

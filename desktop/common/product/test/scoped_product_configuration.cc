#include "desktop/common/product/test/scoped_product_configuration.h"

#include <utility>

#include "base/values.h"
#include "desktop/common/product/product_configuration.h"

namespace vexlo {

ScopedProductConfiguration::ScopedProductConfiguration(
    base::StringPiece json_text)
    : previous_(ProductConfiguration::SwapDictionaryForTesting(
          ProductConfiguration::Parse(json_text))) {}

ScopedProductConfiguration::~ScopedProductConfiguration() {
  ProductConfiguration::SwapDictionaryForTesting(std::move(previous_));
}

}  // namespace vexlo

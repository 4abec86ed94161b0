#include "desktop/common/product/experiments.h"

#include <iterator>

#include "desktop/common/product/product_info.h"

namespace vexlo {
namespace installer {

namespace {

constexpr ExperimentDefinition kExperiments[] = {
    {"VXQ", ProductInfo::CHANNEL_DEVELOPER, 0x3, 0x3},
    {"VXQ", ProductInfo::CHANNEL_ZENT, 0x2, 0x2},
    {"VXQ", ProductInfo::CHANNEL_STABLE, 0x2, 0x2},
    {"ZKW", ProductInfo::CHANNEL_DEVELOPER, 0x4, 0x4},
    {"ZKW", ProductInfo::CHANNEL_ZENT, 0x4, 0x4},
    {"ZKW", ProductInfo::CHANNEL_STABLE, 0x4, 0x4},
};

}  // namespace

int FindExperimentIndex(base::StringPiece product, int32_t channel_code) {
  for (size_t i = 0; i < std::size(kExperiments); ++i) {
    const ExperimentDefinition& row = kExperiments[i];
    if (product == row.product && channel_code == row.channel_code)
      return static_cast<int>(i);
  }
  return -1;
}

ExperimentMasks GetExperimentMasks() {
  const int index = FindExperimentIndex(ProductInfo::GetUserAgentName(),
                                        ProductInfo::GetChannelCode());
  if (index < 0)
    return {0, 0};
  return {kExperiments[index].default_mask,
          kExperiments[index].overridable_mask};
}

}  // namespace installer
}  // namespace vexlo

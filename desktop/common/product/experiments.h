#ifndef DESKTOP_COMMON_PRODUCT_EXPERIMENTS_H_
#define DESKTOP_COMMON_PRODUCT_EXPERIMENTS_H_

#include <cstdint>

#include "base/strings/string_piece.h"

namespace vexlo {
namespace installer {

// One row of the experiment table: the feature masks of one product on one
// release channel.
struct ExperimentDefinition {
  const char* product;  // The configuration's "user_agent_name".
  int32_t channel_code;
  uint32_t default_mask;
  uint32_t overridable_mask;
};

// The masks that decide which features a product has by default and which
// it lets be changed from outside.
struct ExperimentMasks {
  uint32_t default_mask;
  uint32_t overridable_mask;
};

// The index of the first row for exactly |product| (case included) on
// |channel_code|; -1 when there is none.
int FindExperimentIndex(base::StringPiece product, int32_t channel_code);

// The masks of the running product on its channel; {0, 0} for a product or
// channel without a row, which turns every feature off and fixes it.
ExperimentMasks GetExperimentMasks();

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_COMMON_PRODUCT_EXPERIMENTS_H_

#ifndef BASE_METRICS_METRICS_HASHES_H_
#define BASE_METRICS_METRICS_HASHES_H_

#include <stdint.h>

#include "base/strings/string_piece.h"

namespace base {

// The 64-bit id of a histogram name: the first 8 bytes of the name's MD5
// digest read big-endian. It names a histogram's samples and keys the
// registry.
uint64_t HashMetricName(StringPiece name);

}  // namespace base

#endif  // BASE_METRICS_METRICS_HASHES_H_

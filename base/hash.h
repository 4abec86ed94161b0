#ifndef BASE_HASH_H_
#define BASE_HASH_H_

#include <stdint.h>

namespace base {

// Paul Hsieh's SuperFastHash of `len` bytes. A null `data` or a `len` below 1
// gives 0.
uint32_t SuperFastHash(const char* data, int len);

}  // namespace base

#endif  // BASE_HASH_H_

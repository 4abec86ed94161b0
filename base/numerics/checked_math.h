#ifndef BASE_NUMERICS_CHECKED_MATH_H_
#define BASE_NUMERICS_CHECKED_MATH_H_

#include <type_traits>

namespace base {
namespace internal {

// Where an exact result lies relative to the range of its type. The values
// are shared with the callers that turn them into saturated results.
enum RangeConstraint {
  RANGE_VALID = 0,      // The exact result fits.
  RANGE_UNDERFLOW = 1,  // The exact result lies below the minimum.
  RANGE_OVERFLOW = 2,   // The exact result lies above the maximum.
  RANGE_INVALID = 3,    // No meaningful result.
};

// A result together with where its exact value lies. When |validity| is not
// RANGE_VALID, |value| holds the wrapped result and must not be used as is.
template <typename T>
struct CheckedValue {
  T value;
  RangeConstraint validity;
};

// The product of two signed integers and whether it fits in their type.
template <typename T>
CheckedValue<T> CheckedMul(T x, T y) {
  static_assert(std::is_integral<T>::value && std::is_signed<T>::value,
                "CheckedMul takes signed integers");
  T product;
  if (!__builtin_mul_overflow(x, y, &product))
    return {product, RANGE_VALID};
  // Only a product of two non-zero operands can overflow; its sign is
  // positive exactly when the operands' signs agree.
  bool positive = (x < 0) == (y < 0);
  return {product, positive ? RANGE_OVERFLOW : RANGE_UNDERFLOW};
}

}  // namespace internal
}  // namespace base

#endif  // BASE_NUMERICS_CHECKED_MATH_H_

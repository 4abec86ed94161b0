#include "base/time/time.h"

#include <limits>

namespace base {

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// The wrapped sum or difference, computed without signed overflow.
int64_t WrappedAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) +
                              static_cast<uint64_t>(b));
}

int64_t WrappedSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) -
                              static_cast<uint64_t>(b));
}

// A wrapped result that overflowed lands on the far side of zero: past the
// top it reads negative, past the bottom non-negative.
internal::RangeConstraint OverflowSide(int64_t wrapped) {
  return wrapped < 0 ? internal::RANGE_OVERFLOW : internal::RANGE_UNDERFLOW;
}

}  // namespace

// static
TimeDelta TimeDelta::FromMilliseconds(int64_t ms) {
  return FromCheckedNumeric(
      internal::CheckedMul<int64_t>(ms, Time::kMicrosecondsPerMillisecond));
}

// static
TimeDelta TimeDelta::FromSeconds(int64_t secs) {
  return FromCheckedNumeric(
      internal::CheckedMul<int64_t>(secs, Time::kMicrosecondsPerSecond));
}

// static
TimeDelta TimeDelta::FromCheckedNumeric(
    const internal::CheckedValue<int64_t>& checked) {
  switch (checked.validity) {
    case internal::RANGE_VALID:
      return TimeDelta(checked.value);
    case internal::RANGE_UNDERFLOW:
      return TimeDelta(-kInt64Max);
    default:
      return Max();
  }
}

// static
TimeDelta TimeDelta::SaturatedAdd(int64_t a, int64_t b) {
  int64_t sum = WrappedAdd(a, b);
  bool overflowed = ((sum ^ a) & (sum ^ b)) < 0;
  if (!overflowed)
    return TimeDelta(sum);
  return FromCheckedNumeric({sum, OverflowSide(sum)});
}

// static
TimeDelta TimeDelta::SaturatedSub(int64_t a, int64_t b) {
  int64_t difference = WrappedSub(a, b);
  bool overflowed = ((a ^ b) & (difference ^ a)) < 0;
  if (!overflowed)
    return TimeDelta(difference);
  return FromCheckedNumeric({difference, OverflowSide(difference)});
}

int64_t TimeDelta::InMilliseconds() const {
  if (is_max())
    return kInt64Max;
  return delta_ / Time::kMicrosecondsPerMillisecond;
}

double TimeDelta::InMillisecondsF() const {
  if (is_max())
    return std::numeric_limits<double>::infinity();
  return static_cast<double>(delta_) / Time::kMicrosecondsPerMillisecond;
}

int64_t TimeDelta::InMillisecondsRoundedUp() const {
  if (is_max())
    return kInt64Max;
  if (delta_ <= 0) {
    // Adding 999 cannot overflow here.
    return (delta_ + Time::kMicrosecondsPerMillisecond - 1) /
           Time::kMicrosecondsPerMillisecond;
  }
  // The same rounding for positive values, without adding near the top of
  // the range.
  int64_t whole = delta_ / Time::kMicrosecondsPerMillisecond;
  return delta_ % Time::kMicrosecondsPerMillisecond ? whole + 1 : whole;
}

int64_t Time::ToTimeT() const {
  if (is_null())
    return 0;
  if (us_ >= kInt64Max - kTimeTToMicrosecondsOffset)
    return kInt64Max;
  if (us_ < 0) {
    // Subtracting the offset first could pass the bottom of the range. The
    // offset is a whole number of seconds, so dividing first truncates the
    // same way.
    return us_ / kMicrosecondsPerSecond -
           kTimeTToMicrosecondsOffset / kMicrosecondsPerSecond;
  }
  return (us_ - kTimeTToMicrosecondsOffset) / kMicrosecondsPerSecond;
}

}  // namespace base

#ifndef BASE_METRICS_BUCKET_RANGES_H_
#define BASE_METRICS_BUCKET_RANGES_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "base/metrics/histogram_base.h"

namespace base {

// The bucket layout of a bucketed histogram: range(i) is the inclusive
// lower bound of bucket i, which holds range(i) <= s < range(i + 1). Built
// and checksummed once, then shared by every histogram of that layout and
// never changed.
class BucketRanges {
 public:
  typedef std::vector<HistogramBase::Sample> Ranges;

  explicit BucketRanges(size_t num_ranges);
  BucketRanges(const BucketRanges&) = delete;
  BucketRanges& operator=(const BucketRanges&) = delete;
  ~BucketRanges();

  size_t size() const { return ranges_.size(); }
  size_t bucket_count() const { return ranges_.size() - 1; }
  HistogramBase::Sample range(size_t i) const { return ranges_[i]; }
  // A negative |value| is a programming error.
  void set_range(size_t i, HistogramBase::Sample value);

  uint32_t checksum() const { return checksum_; }
  void set_checksum(uint32_t checksum) { checksum_ = checksum; }
  // A CRC-32 over the ranges' bytes, seeded with their number.
  uint32_t CalculateChecksum() const;
  bool HasValidChecksum() const;
  void ResetChecksum();

  // Equal stored checksums, sizes and ranges.
  bool Equals(const BucketRanges* other) const;

 private:
  Ranges ranges_;
  uint32_t checksum_;
};

}  // namespace base

#endif  // BASE_METRICS_BUCKET_RANGES_H_

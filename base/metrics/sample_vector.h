#ifndef BASE_METRICS_SAMPLE_VECTOR_H_
#define BASE_METRICS_SAMPLE_VECTOR_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"

namespace base {

class BucketRanges;

// The samples of a bucketed histogram: one count per bucket of a shared
// layout.
class SampleVector : public HistogramSamples {
 public:
  // Counts of its own.
  SampleVector(uint64_t id, const BucketRanges* bucket_ranges);
  // Over external counts and metadata (a persistent histogram); there are
  // as many counts as the layout has buckets.
  SampleVector(uint64_t id,
               HistogramBase::Count* counts,
               size_t counts_size,
               Metadata* meta,
               const BucketRanges* bucket_ranges);
  ~SampleVector() override;

  void Accumulate(HistogramBase::Sample value,
                  HistogramBase::Count count) override;
  HistogramBase::Count GetCount(HistogramBase::Sample value) const override;
  HistogramBase::Count TotalCount() const override;
  std::unique_ptr<SampleCountIterator> Iterator() const override;

  HistogramBase::Count GetCountAtIndex(size_t bucket_index) const;

 protected:
  bool AddSubtractImpl(SampleCountIterator* iter, Operator op) override;
  // The bucket that holds |value|, by binary search over the layout; a
  // value outside the layout is a programming error.
  virtual size_t GetBucketIndex(HistogramBase::Sample value) const;

 private:
  std::vector<HistogramBase::Count> own_counts_;
  HistogramBase::Count* const counts_;
  const size_t counts_size_;
  const BucketRanges* const bucket_ranges_;
};

// The non-empty buckets of a count array, in bucket order.
class SampleVectorIterator : public SampleCountIterator {
 public:
  SampleVectorIterator(const HistogramBase::Count* counts,
                       size_t counts_size,
                       const BucketRanges* bucket_ranges);
  ~SampleVectorIterator() override;

  bool Done() const override;
  void Advance() override;
  void Get(HistogramBase::Sample* min,
           HistogramBase::Sample* max,
           HistogramBase::Count* count) const override;
  bool GetBucketIndex(size_t* index) const override;

 private:
  void SkipEmptyBuckets();

  const HistogramBase::Count* const counts_;
  const size_t counts_size_;
  const BucketRanges* const bucket_ranges_;
  size_t index_;
};

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_VECTOR_H_

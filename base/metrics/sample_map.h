#ifndef BASE_METRICS_SAMPLE_MAP_H_
#define BASE_METRICS_SAMPLE_MAP_H_

#include <stdint.h>

#include <map>
#include <memory>

#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"

namespace base {

// The samples of a sparse histogram on the heap: each distinct value is its
// own bucket. Not locked: its histogram locks around it.
class SampleMap : public HistogramSamples {
 public:
  typedef std::map<HistogramBase::Sample, HistogramBase::Count> Map;

  explicit SampleMap(uint64_t id);
  ~SampleMap() override;

  void Accumulate(HistogramBase::Sample value,
                  HistogramBase::Count count) override;
  HistogramBase::Count GetCount(HistogramBase::Sample value) const override;
  HistogramBase::Count TotalCount() const override;
  std::unique_ptr<SampleCountIterator> Iterator() const override;

 protected:
  bool AddSubtractImpl(SampleCountIterator* iter, Operator op) override;

 private:
  Map sample_counts_;
};

// The non-empty entries of a sparse container, ascending by value; each
// item covers value <= s < value + 1. The map holds counts or pointers to
// them.
template <typename MapType>
class SampleMapIterator : public SampleCountIterator {
 public:
  explicit SampleMapIterator(const MapType& sample_counts)
      : iter_(sample_counts.begin()), end_(sample_counts.end()) {
    SkipEmpty();
  }

  bool Done() const override { return iter_ == end_; }

  void Advance() override {
    ++iter_;
    SkipEmpty();
  }

  void Get(HistogramBase::Sample* min,
           HistogramBase::Sample* max,
           HistogramBase::Count* count) const override {
    internal::StoreItem(iter_->first, internal::WrappingAdd(iter_->first, 1),
                        CountOf(iter_->second), min, max, count);
  }

 private:
  static HistogramBase::Count CountOf(HistogramBase::Count count) {
    return count;
  }
  static HistogramBase::Count CountOf(const HistogramBase::Count* count) {
    return internal::AtomicLoad(count);
  }

  void SkipEmpty() {
    while (iter_ != end_ && CountOf(iter_->second) == 0)
      ++iter_;
  }

  typename MapType::const_iterator iter_;
  const typename MapType::const_iterator end_;
};

namespace internal {

// Adds (or, with |subtract|, subtracts) every item of |iter| to the count
// that |storage_of| gives for its value. False at an item that covers more
// than one value, with the items before it applied.
template <typename StorageOf>
bool AddSubtractSingleValues(SampleCountIterator* iter,
                             bool subtract,
                             StorageOf storage_of) {
  HistogramBase::Sample min;
  HistogramBase::Sample max;
  HistogramBase::Count count;
  for (; !iter->Done(); iter->Advance()) {
    iter->Get(&min, &max, &count);
    if (WrappingAdd(min, 1) != max)
      return false;
    if (subtract)
      AtomicSubtract(storage_of(min), count);
    else
      AtomicAdd(storage_of(min), count);
  }
  return true;
}

}  // namespace internal

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_MAP_H_

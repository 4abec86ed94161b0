#ifndef BASE_METRICS_HISTOGRAM_SAMPLES_H_
#define BASE_METRICS_HISTOGRAM_SAMPLES_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "base/metrics/histogram_base.h"

namespace base {

class Pickle;
class PickleIterator;
class SampleCountIterator;

// The samples recorded into a histogram, with their metadata. Counts, the
// sum and the redundant count are updated with relaxed atomic additions
// that wrap, so recording from several threads loses nothing, though a
// reader may see the three a moment apart.
class HistogramSamples {
 public:
  // Also a persistent format: 24 bytes, little-endian.
  struct Metadata {
    uint64_t id;
    // Every sample times its count.
    int64_t sum;
    // The total of all counts added, kept apart from the counts.
    HistogramBase::Count redundant_count;
    int32_t padding;
  };

  // Over metadata of its own with |id|.
  explicit HistogramSamples(uint64_t id);
  // Over external |meta|, which gets |id| when its stored id is 0.
  HistogramSamples(uint64_t id, Metadata* meta);
  HistogramSamples(const HistogramSamples&) = delete;
  HistogramSamples& operator=(const HistogramSamples&) = delete;
  virtual ~HistogramSamples();

  virtual void Accumulate(HistogramBase::Sample value,
                          HistogramBase::Count count) = 0;
  virtual HistogramBase::Count GetCount(HistogramBase::Sample value) const = 0;
  virtual HistogramBase::Count TotalCount() const = 0;

  virtual void Add(const HistogramSamples& other);
  // Adds a serialised form; false, with nothing changed, when it does not
  // begin with a sum and a redundant count.
  virtual bool AddFromPickle(PickleIterator* iter);
  virtual void Subtract(const HistogramSamples& other);

  virtual std::unique_ptr<SampleCountIterator> Iterator() const = 0;
  // The sum, the redundant count, then (min, max, count) per item.
  virtual bool Serialize(Pickle* pickle) const;

  uint64_t id() const { return meta_->id; }
  int64_t sum() const;
  HistogramBase::Count redundant_count() const;

 protected:
  enum Operator { ADD, SUBTRACT };

  // Adds or subtracts every item of |iter|; false at an item that fits no
  // bucket, with the items before it applied.
  virtual bool AddSubtractImpl(SampleCountIterator* iter, Operator op) = 0;

  void IncreaseSum(int64_t diff);
  void IncreaseRedundantCount(HistogramBase::Count diff);

 private:
  Metadata own_meta_;
  Metadata* const meta_;
};

// Walks the items of a sample container: each covers the samples
// min <= s < max with its count.
class SampleCountIterator {
 public:
  virtual ~SampleCountIterator();

  virtual bool Done() const = 0;
  virtual void Advance() = 0;
  // Any output may be null.
  virtual void Get(HistogramBase::Sample* min,
                   HistogramBase::Sample* max,
                   HistogramBase::Count* count) const = 0;
  // The bucket index of the current item, where the container has buckets.
  virtual bool GetBucketIndex(size_t* index) const;
};

namespace internal {

// Relaxed atomic additions that wrap instead of overflowing.
inline void AtomicAdd(HistogramBase::Count* target,
                      HistogramBase::Count value) {
  __atomic_fetch_add(target, value, __ATOMIC_RELAXED);
}
inline void AtomicAdd(int64_t* target, int64_t value) {
  __atomic_fetch_add(target, value, __ATOMIC_RELAXED);
}
inline void AtomicSubtract(HistogramBase::Count* target,
                           HistogramBase::Count value) {
  __atomic_fetch_sub(target, value, __ATOMIC_RELAXED);
}
inline void AtomicSubtract(int64_t* target, int64_t value) {
  __atomic_fetch_sub(target, value, __ATOMIC_RELAXED);
}
inline HistogramBase::Count AtomicLoad(const HistogramBase::Count* source) {
  return __atomic_load_n(source, __ATOMIC_RELAXED);
}
inline int64_t AtomicLoad(const int64_t* source) {
  return __atomic_load_n(source, __ATOMIC_RELAXED);
}

// Writes one iterator item into the outputs that are not null.
inline void StoreItem(HistogramBase::Sample min_value,
                      HistogramBase::Sample max_value,
                      HistogramBase::Count count_value,
                      HistogramBase::Sample* min,
                      HistogramBase::Sample* max,
                      HistogramBase::Count* count) {
  if (min)
    *min = min_value;
  if (max)
    *max = max_value;
  if (count)
    *count = count_value;
}

// A 32-bit total that wraps instead of overflowing.
inline HistogramBase::Count WrappingAdd(HistogramBase::Count a,
                                        HistogramBase::Count b) {
  return static_cast<HistogramBase::Count>(static_cast<uint32_t>(a) +
                                           static_cast<uint32_t>(b));
}

}  // namespace internal

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_SAMPLES_H_

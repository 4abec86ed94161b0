#include "base/metrics/sample_vector.h"

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"

namespace base {

SampleVector::SampleVector(uint64_t id, const BucketRanges* bucket_ranges)
    : HistogramSamples(id),
      own_counts_(bucket_ranges->bucket_count()),
      counts_(own_counts_.data()),
      counts_size_(own_counts_.size()),
      bucket_ranges_(bucket_ranges) {
  CHECK_GE(bucket_ranges_->bucket_count(), 1u);
}

SampleVector::SampleVector(uint64_t id,
                           HistogramBase::Count* counts,
                           size_t /*counts_size*/,
                           Metadata* meta,
                           const BucketRanges* bucket_ranges)
    : HistogramSamples(id, meta),
      counts_(counts),
      counts_size_(bucket_ranges->bucket_count()),
      bucket_ranges_(bucket_ranges) {
  CHECK_GE(bucket_ranges_->bucket_count(), 1u);
}

SampleVector::~SampleVector() = default;

void SampleVector::Accumulate(HistogramBase::Sample value,
                              HistogramBase::Count count) {
  internal::AtomicAdd(&counts_[GetBucketIndex(value)], count);
  IncreaseSum(static_cast<int64_t>(value) * count);
  IncreaseRedundantCount(count);
}

HistogramBase::Count SampleVector::GetCount(HistogramBase::Sample value) const {
  return GetCountAtIndex(GetBucketIndex(value));
}

HistogramBase::Count SampleVector::TotalCount() const {
  HistogramBase::Count total = 0;
  for (size_t i = 0; i < counts_size_; ++i)
    total = internal::WrappingAdd(total, GetCountAtIndex(i));
  return total;
}

HistogramBase::Count SampleVector::GetCountAtIndex(size_t bucket_index) const {
  return internal::AtomicLoad(&counts_[bucket_index]);
}

std::unique_ptr<SampleCountIterator> SampleVector::Iterator() const {
  return std::make_unique<SampleVectorIterator>(counts_, counts_size_,
                                                bucket_ranges_);
}

bool SampleVector::AddSubtractImpl(SampleCountIterator* iter, Operator op) {
  HistogramBase::Sample min;
  HistogramBase::Sample max;
  HistogramBase::Count count;
  size_t index = 0;
  while (index < counts_size_ && !iter->Done()) {
    iter->Get(&min, &max, &count);
    if (min == bucket_ranges_->range(index) &&
        max == bucket_ranges_->range(index + 1)) {
      if (op == ADD)
        internal::AtomicAdd(&counts_[index], count);
      else
        internal::AtomicSubtract(&counts_[index], count);
      iter->Advance();
    } else if (min > bucket_ranges_->range(index)) {
      ++index;
    } else {
      return false;
    }
  }
  return iter->Done();
}

size_t SampleVector::GetBucketIndex(HistogramBase::Sample value) const {
  const size_t bucket_count = bucket_ranges_->bucket_count();
  CHECK_GE(bucket_count, 1u);
  CHECK_GE(value, bucket_ranges_->range(0));
  CHECK_LT(value, bucket_ranges_->range(bucket_count));
  size_t under = 0;
  size_t over = bucket_count;
  size_t mid;
  for (;;) {
    mid = under + (over - under) / 2;
    if (mid == under)
      break;
    if (bucket_ranges_->range(mid) <= value)
      under = mid;
    else
      over = mid;
  }
  CHECK(bucket_ranges_->range(mid + 1) > value);
  return mid;
}

SampleVectorIterator::SampleVectorIterator(const HistogramBase::Count* counts,
                                           size_t counts_size,
                                           const BucketRanges* bucket_ranges)
    : counts_(counts),
      counts_size_(counts_size),
      bucket_ranges_(bucket_ranges),
      index_(0) {
  CHECK_GE(bucket_ranges_->bucket_count(), counts_size_);
  SkipEmptyBuckets();
}

SampleVectorIterator::~SampleVectorIterator() = default;

bool SampleVectorIterator::Done() const {
  return index_ >= counts_size_;
}

void SampleVectorIterator::Advance() {
  ++index_;
  SkipEmptyBuckets();
}

void SampleVectorIterator::Get(HistogramBase::Sample* min,
                               HistogramBase::Sample* max,
                               HistogramBase::Count* count) const {
  internal::StoreItem(bucket_ranges_->range(index_),
                      bucket_ranges_->range(index_ + 1),
                      internal::AtomicLoad(&counts_[index_]), min, max, count);
}

bool SampleVectorIterator::GetBucketIndex(size_t* index) const {
  *index = index_;
  return true;
}

void SampleVectorIterator::SkipEmptyBuckets() {
  while (index_ < counts_size_ && internal::AtomicLoad(&counts_[index_]) == 0)
    ++index_;
}

}  // namespace base

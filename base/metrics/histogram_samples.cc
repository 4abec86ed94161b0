#include "base/metrics/histogram_samples.h"

#include "base/pickle.h"

namespace base {

namespace {

// The items of a serialised container, read (min, max, count) at a time;
// done at the first incomplete triple.
class SampleCountPickleIterator : public SampleCountIterator {
 public:
  explicit SampleCountPickleIterator(PickleIterator* iter) : iter_(iter) {
    Advance();
  }

  bool Done() const override { return done_; }

  void Advance() override {
    done_ = !iter_->ReadInt(&min_) || !iter_->ReadInt(&max_) ||
            !iter_->ReadInt(&count_);
  }

  void Get(HistogramBase::Sample* min,
           HistogramBase::Sample* max,
           HistogramBase::Count* count) const override {
    internal::StoreItem(min_, max_, count_, min, max, count);
  }

 private:
  PickleIterator* const iter_;
  HistogramBase::Sample min_ = 0;
  HistogramBase::Sample max_ = 0;
  HistogramBase::Count count_ = 0;
  bool done_ = false;
};

}  // namespace

HistogramSamples::HistogramSamples(uint64_t id)
    : own_meta_(), meta_(&own_meta_) {
  own_meta_.id = id;
}

HistogramSamples::HistogramSamples(uint64_t id, Metadata* meta)
    : own_meta_(), meta_(meta) {
  if (meta_->id == 0)
    meta_->id = id;
}

HistogramSamples::~HistogramSamples() = default;

int64_t HistogramSamples::sum() const {
  return internal::AtomicLoad(&meta_->sum);
}

HistogramBase::Count HistogramSamples::redundant_count() const {
  return internal::AtomicLoad(&meta_->redundant_count);
}

void HistogramSamples::Add(const HistogramSamples& other) {
  IncreaseSum(other.sum());
  IncreaseRedundantCount(other.redundant_count());
  AddSubtractImpl(other.Iterator().get(), ADD);
}

bool HistogramSamples::AddFromPickle(PickleIterator* iter) {
  int64_t sum;
  HistogramBase::Count redundant_count;
  if (!iter->ReadInt64(&sum) || !iter->ReadInt(&redundant_count))
    return false;
  IncreaseSum(sum);
  IncreaseRedundantCount(redundant_count);
  SampleCountPickleIterator pickle_iter(iter);
  return AddSubtractImpl(&pickle_iter, ADD);
}

void HistogramSamples::Subtract(const HistogramSamples& other) {
  internal::AtomicSubtract(&meta_->sum, other.sum());
  internal::AtomicSubtract(&meta_->redundant_count, other.redundant_count());
  AddSubtractImpl(other.Iterator().get(), SUBTRACT);
}

bool HistogramSamples::Serialize(Pickle* pickle) const {
  pickle->Write8Bytes(static_cast<uint64_t>(sum()));
  pickle->Write4Bytes(static_cast<uint32_t>(redundant_count()));
  HistogramBase::Sample min;
  HistogramBase::Sample max;
  HistogramBase::Count count;
  for (std::unique_ptr<SampleCountIterator> it = Iterator(); !it->Done();
       it->Advance()) {
    it->Get(&min, &max, &count);
    pickle->Write4Bytes(static_cast<uint32_t>(min));
    pickle->Write4Bytes(static_cast<uint32_t>(max));
    pickle->Write4Bytes(static_cast<uint32_t>(count));
  }
  return true;
}

void HistogramSamples::IncreaseSum(int64_t diff) {
  internal::AtomicAdd(&meta_->sum, diff);
}

void HistogramSamples::IncreaseRedundantCount(HistogramBase::Count diff) {
  internal::AtomicAdd(&meta_->redundant_count, diff);
}

SampleCountIterator::~SampleCountIterator() = default;

bool SampleCountIterator::GetBucketIndex(size_t* /*index*/) const {
  return false;
}

}  // namespace base

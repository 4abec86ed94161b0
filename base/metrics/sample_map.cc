#include "base/metrics/sample_map.h"

namespace base {

SampleMap::SampleMap(uint64_t id) : HistogramSamples(id) {}

SampleMap::~SampleMap() = default;

void SampleMap::Accumulate(HistogramBase::Sample value,
                           HistogramBase::Count count) {
  HistogramBase::Count& entry = sample_counts_[value];
  entry = internal::WrappingAdd(entry, count);
  IncreaseSum(static_cast<int64_t>(value) * count);
  IncreaseRedundantCount(count);
}

HistogramBase::Count SampleMap::GetCount(HistogramBase::Sample value) const {
  const Map::const_iterator it = sample_counts_.find(value);
  return it == sample_counts_.end() ? 0 : it->second;
}

HistogramBase::Count SampleMap::TotalCount() const {
  HistogramBase::Count total = 0;
  for (const Map::value_type& entry : sample_counts_)
    total = internal::WrappingAdd(total, entry.second);
  return total;
}

std::unique_ptr<SampleCountIterator> SampleMap::Iterator() const {
  return std::make_unique<SampleMapIterator<Map>>(sample_counts_);
}

bool SampleMap::AddSubtractImpl(SampleCountIterator* iter, Operator op) {
  return internal::AddSubtractSingleValues(
      iter, op == SUBTRACT,
      [this](HistogramBase::Sample value) { return &sample_counts_[value]; });
}

}  // namespace base

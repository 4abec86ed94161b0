#include "base/metrics/persistent_sample_map.h"

#include "base/metrics/sample_map.h"

namespace base {

namespace {

struct SampleRecord {
  uint64_t id;
  HistogramBase::Sample value;
  HistogramBase::Count count;
};

static_assert(sizeof(SampleRecord) == 16, "a persistent format");

}  // namespace

PersistentSampleMap::PersistentSampleMap(uint64_t id,
                                         PersistentMemoryAllocator* allocator,
                                         Metadata* meta)
    : HistogramSamples(id, meta), allocator_(allocator) {
  allocator_->CreateIterator(&allocator_iterator_, 0);
  ImportSamples(0, true);
}

PersistentSampleMap::~PersistentSampleMap() = default;

void PersistentSampleMap::Accumulate(HistogramBase::Sample value,
                                     HistogramBase::Count count) {
  internal::AtomicAdd(GetOrCreateSampleCountStorage(value), count);
  IncreaseSum(static_cast<int64_t>(value) * count);
  IncreaseRedundantCount(count);
}

HistogramBase::Count PersistentSampleMap::GetCount(
    HistogramBase::Sample value) const {
  const HistogramBase::Count* const count = GetSampleCountStorage(value);
  return count ? internal::AtomicLoad(count) : 0;
}

HistogramBase::Count PersistentSampleMap::TotalCount() const {
  ImportSamples(0, true);
  HistogramBase::Count total = 0;
  for (const Map::value_type& entry : sample_counts_)
    total = internal::WrappingAdd(total, internal::AtomicLoad(entry.second));
  return total;
}

std::unique_ptr<SampleCountIterator> PersistentSampleMap::Iterator() const {
  ImportSamples(0, true);
  return std::make_unique<SampleMapIterator<Map>>(sample_counts_);
}

bool PersistentSampleMap::AddSubtractImpl(SampleCountIterator* iter,
                                          Operator op) {
  return internal::AddSubtractSingleValues(
      iter, op == SUBTRACT, [this](HistogramBase::Sample value) {
        return GetOrCreateSampleCountStorage(value);
      });
}

HistogramBase::Count* PersistentSampleMap::GetSampleCountStorage(
    HistogramBase::Sample value) const {
  const Map::const_iterator it = sample_counts_.find(value);
  if (it != sample_counts_.end())
    return it->second;
  return ImportSamples(value, false);
}

HistogramBase::Count* PersistentSampleMap::GetOrCreateSampleCountStorage(
    HistogramBase::Sample value) {
  HistogramBase::Count* count = GetSampleCountStorage(value);
  if (count)
    return count;

  const PersistentMemoryAllocator::Reference ref =
      allocator_->Allocate(sizeof(SampleRecord), kTypeIdSampleRecord);
  SampleRecord* const record =
      allocator_->GetAsObject<SampleRecord>(ref, kTypeIdSampleRecord);
  if (!record) {
    // The segment is full or corrupt; the count lives on the heap for the
    // process's life.
    count = new HistogramBase::Count(0);
    sample_counts_[value] = count;
    return count;
  }
  record->id = id();
  record->value = value;
  record->count = 0;
  allocator_->MakeIterable(ref);
  count = ImportSamples(value, false);
  if (!count) {
    // The record could not be queued; it is still this map's.
    count = &record->count;
    sample_counts_[value] = count;
  }
  return count;
}

HistogramBase::Count* PersistentSampleMap::ImportSamples(
    HistogramBase::Sample until,
    bool import_everything) const {
  uint32_t type_id;
  for (;;) {
    const PersistentMemoryAllocator::Reference ref =
        allocator_->GetNextIterable(&allocator_iterator_, &type_id);
    if (!ref)
      return nullptr;
    if (type_id != kTypeIdSampleRecord)
      continue;
    SampleRecord* const record =
        allocator_->GetAsObject<SampleRecord>(ref, kTypeIdSampleRecord);
    if (!record || record->id != id())
      continue;
    // The first record of a value wins; a racing creator's later one is
    // passed over.
    const Map::value_type entry(record->value, &record->count);
    const Map::iterator it = sample_counts_.insert(entry).first;
    if (!import_everything && record->value == until)
      return it->second;
  }
}

}  // namespace base

#ifndef BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_
#define BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_

#include <stdint.h>

#include <map>
#include <memory>

#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/persistent_memory_allocator.h"

namespace base {

// The samples of a sparse histogram in persistent memory: one 16-byte
// record {id, value, count} per distinct value, found by walking the
// segment's queue. Not locked: its histogram locks around it.
class PersistentSampleMap : public HistogramSamples {
 public:
  static constexpr uint32_t kTypeIdSampleRecord = 0x8FE6A6A0;

  PersistentSampleMap(uint64_t id,
                      PersistentMemoryAllocator* allocator,
                      Metadata* meta);
  ~PersistentSampleMap() override;

  void Accumulate(HistogramBase::Sample value,
                  HistogramBase::Count count) override;
  HistogramBase::Count GetCount(HistogramBase::Sample value) const override;
  HistogramBase::Count TotalCount() const override;
  std::unique_ptr<SampleCountIterator> Iterator() const override;

 protected:
  bool AddSubtractImpl(SampleCountIterator* iter, Operator op) override;

 private:
  typedef std::map<HistogramBase::Sample, HistogramBase::Count*> Map;

  // The count of |value|, or null when no record holds it yet.
  HistogramBase::Count* GetSampleCountStorage(
      HistogramBase::Sample value) const;
  // The count of |value|, made when missing: a new record, or a heap cell
  // when the segment cannot take one.
  HistogramBase::Count* GetOrCreateSampleCountStorage(
      HistogramBase::Sample value);
  // Reads the records queued since the previous call; stops at |until|
  // and returns its count, unless |import_everything|.
  HistogramBase::Count* ImportSamples(HistogramBase::Sample until,
                                      bool import_everything) const;

  mutable Map sample_counts_;
  PersistentMemoryAllocator* const allocator_;
  mutable PersistentMemoryAllocator::Iterator allocator_iterator_;
};

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_

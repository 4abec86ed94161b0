#ifndef BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_
#define BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/metrics/histogram_base.h"
#include "base/metrics/persistent_memory_allocator.h"

namespace base {

class BucketRanges;

// Keeps histogram records in a persistent memory segment and builds
// histogram objects over them, so that their samples live in the segment.
// The factories consult one process-wide allocator, which the program
// never installs: they then build every histogram on the heap.
class PersistentHistogramAllocator {
 public:
  typedef PersistentMemoryAllocator::Reference Reference;

  // Block types.
  static constexpr uint32_t kTypeIdHistogram = 0xF1645912;
  static constexpr uint32_t kTypeIdRangesArray = 0xBCEA225B;
  static constexpr uint32_t kTypeIdCountsArray = 0x53215531;

  // What "Metrics.CreatePersistentHistogram.Result" counts.
  enum CreateHistogramResultType {
    CREATE_HISTOGRAM_SUCCESS = 0,
    CREATE_HISTOGRAM_INVALID_METADATA_POINTER = 1,
    CREATE_HISTOGRAM_INVALID_METADATA = 2,
    CREATE_HISTOGRAM_INVALID_RANGES_ARRAY = 3,
    CREATE_HISTOGRAM_INVALID_COUNTS_ARRAY = 4,
    CREATE_HISTOGRAM_ALLOCATOR_CORRUPT = 5,
    CREATE_HISTOGRAM_ALLOCATOR_FULL = 6,
    CREATE_HISTOGRAM_ALLOCATOR_ERROR = 7,
    CREATE_HISTOGRAM_UNKNOWN_TYPE = 8,
    CREATE_HISTOGRAM_ALLOCATOR_NEWLY_CORRUPT = 9,
  };

  explicit PersistentHistogramAllocator(
      std::unique_ptr<PersistentMemoryAllocator> memory);
  PersistentHistogramAllocator(const PersistentHistogramAllocator&) = delete;
  PersistentHistogramAllocator& operator=(const PersistentHistogramAllocator&) =
      delete;
  ~PersistentHistogramAllocator();

  PersistentMemoryAllocator* memory_allocator() { return memory_.get(); }

  // A new record, with its ranges and counts for a bucketed type, and a
  // histogram over it; |*ref| names the record. Null, with the cause
  // counted, when the segment cannot hold it.
  std::unique_ptr<HistogramBase> AllocateHistogram(
      HistogramType type,
      const std::string& name,
      HistogramBase::Sample minimum,
      HistogramBase::Sample maximum,
      const BucketRanges* ranges,
      int32_t flags,
      Reference* ref);

  // A histogram over the record at |ref|; null, with the cause counted,
  // when the record is unreadable or inconsistent.
  std::unique_ptr<HistogramBase> GetHistogram(Reference ref);

  // Publishes the record at |ref| when its histogram won the registration;
  // otherwise retires it (its space is not reused).
  void FinalizeHistogram(Reference ref, bool registered);

  // A layout from |count| values of a record, when they strictly increase
  // from 0 to kSampleType_MAX and match |checksum|; otherwise null.
  static BucketRanges* CreateRangesFromData(const HistogramBase::Sample* data,
                                            uint32_t checksum,
                                            size_t count);

  // The process-wide allocator; null unless installed.
  static PersistentHistogramAllocator* GetGlobalAllocator();
  // Installs |allocator| (not owned; null removes it) and returns the one
  // before. For tests: the program installs none.
  static PersistentHistogramAllocator* SetGlobalAllocatorForTesting(
      PersistentHistogramAllocator* allocator);

  // Registers the histograms that other users of the global segment
  // published since the previous call.
  static void ImportGlobalPersistentHistograms();

  static void RecordCreateHistogramResult(CreateHistogramResultType result);

 private:
  struct PersistentHistogramData;

  std::unique_ptr<HistogramBase> CreateHistogram(
      PersistentHistogramData* histogram_data);

  const std::unique_ptr<PersistentMemoryAllocator> memory_;
  std::atomic<Reference> last_created_;
};

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_

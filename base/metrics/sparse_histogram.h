#ifndef BASE_METRICS_SPARSE_HISTOGRAM_H_
#define BASE_METRICS_SPARSE_HISTOGRAM_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"
#include "base/synchronization/lock.h"

namespace base {

class PersistentHistogramAllocator;
class PersistentMemoryAllocator;

// A histogram of exact values, such as error codes: each distinct value is
// its own bucket, and values are not clamped. Unlike bucketed histograms it
// records under a lock.
class SparseHistogram : public HistogramBase {
 public:
  static HistogramBase* FactoryGet(const std::string& name, int32_t flags);

  // A histogram over sample records in |allocator| and the two metadata
  // blocks of its persistent record.
  static HistogramBase* PersistentCreate(
      PersistentMemoryAllocator* allocator,
      const std::string& name,
      HistogramSamples::Metadata* meta,
      HistogramSamples::Metadata* logged_meta);

  ~SparseHistogram() override;

  uint64_t name_hash() const override;
  HistogramType GetHistogramType() const override;
  bool HasConstructionArguments(Sample expected_minimum,
                                Sample expected_maximum,
                                uint32_t expected_bucket_count) const override;
  void Add(Sample value) override;
  void AddCount(Sample value, int count) override;
  void AddSamples(const HistogramSamples& samples) override;
  bool AddSamplesFromPickle(PickleIterator* iter) override;
  std::unique_ptr<HistogramSamples> SnapshotSamples() const override;
  std::unique_ptr<HistogramSamples> SnapshotDelta() override;
  void WriteHTMLGraph(std::string* output) const override;
  void WriteAscii(std::string* output) const override;
  void GetParameters(DictionaryValue* params) const override;
  void GetCountAndBucketData(Count* count,
                             int64_t* sum,
                             ListValue* buckets) const override;

 protected:
  bool SerializeInfoImpl(Pickle* pickle) const override;

 private:
  explicit SparseHistogram(const std::string& name);
  SparseHistogram(PersistentMemoryAllocator* allocator,
                  const std::string& name,
                  HistogramSamples::Metadata* meta,
                  HistogramSamples::Metadata* logged_meta);

  void WriteAsciiImpl(bool graph_it,
                      const std::string& newline,
                      std::string* output) const;

  // Guards both containers.
  mutable Lock lock_;
  std::unique_ptr<HistogramSamples> samples_;
  std::unique_ptr<HistogramSamples> logged_samples_;
};

}  // namespace base

#endif  // BASE_METRICS_SPARSE_HISTOGRAM_H_

#ifndef BASE_METRICS_HISTOGRAM_H_
#define BASE_METRICS_HISTOGRAM_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"
#include "base/time/time.h"

// Histograms with bucketed storage and their factories. Without a registry
// (base/metrics/statistics_recorder.h) each factory call builds a new
// histogram that lives until the process ends; call sites keep the pointer
// in a static slot of their own.

namespace base {

class BucketRanges;
class SampleVector;

// Where a bucketed histogram in persistent memory keeps its samples: the
// counts and the logged counts, one each per bucket, and their metadata.
struct PersistentSampleStorage {
  HistogramBase::Count* counts;
  HistogramBase::Count* logged_counts;
  HistogramSamples::Metadata* meta;
  HistogramSamples::Metadata* logged_meta;
};

// Exponentially sized buckets: narrow near the minimum, wide near the
// maximum.
class Histogram : public HistogramBase {
 public:
  // Bucket counts at or above this are lowered to one below it.
  static constexpr uint32_t kBucketCount_MAX = 16384;

  ~Histogram() override;

  static HistogramBase* FactoryGet(const std::string& name,
                                   Sample minimum,
                                   Sample maximum,
                                   uint32_t bucket_count,
                                   int32_t flags);
  static HistogramBase* FactoryGet(const char* name,
                                   Sample minimum,
                                   Sample maximum,
                                   uint32_t bucket_count,
                                   int32_t flags);
  // Buckets over whole milliseconds.
  static HistogramBase* FactoryTimeGet(const char* name,
                                       TimeDelta minimum,
                                       TimeDelta maximum,
                                       uint32_t bucket_count,
                                       int32_t flags);

  // Fills |ranges| (bucket count + 1 entries) with the exponential layout
  // from |minimum| to |maximum| and checksums it.
  static void InitializeBucketRanges(Sample minimum,
                                     Sample maximum,
                                     BucketRanges* ranges);

  // Clamps factory arguments: minimum at least 1, maximum below
  // kSampleType_MAX, bucket count below kBucketCount_MAX.
  static void InspectConstructionArguments(Sample* minimum,
                                           Sample* maximum,
                                           uint32_t* bucket_count);

  // A histogram over samples in persistent memory.
  static HistogramBase* PersistentCreate(
      const std::string& name,
      Sample minimum,
      Sample maximum,
      const BucketRanges* ranges,
      const PersistentSampleStorage& storage);

  uint64_t name_hash() const override;
  HistogramType GetHistogramType() const override;
  bool HasConstructionArguments(Sample expected_minimum,
                                Sample expected_maximum,
                                uint32_t expected_bucket_count) const override;
  void Add(Sample value) override;
  void AddCount(Sample value, int count) override;
  void AddSamples(const HistogramSamples& samples) override;
  bool AddSamplesFromPickle(PickleIterator* iter) override;
  uint32_t FindCorruption(const HistogramSamples& samples) const override;
  std::unique_ptr<HistogramSamples> SnapshotSamples() const override;
  std::unique_ptr<HistogramSamples> SnapshotDelta() override;
  void WriteHTMLGraph(std::string* output) const override;
  void WriteAscii(std::string* output) const override;
  void GetParameters(DictionaryValue* params) const override;
  void GetCountAndBucketData(Count* count,
                             int64_t* sum,
                             ListValue* buckets) const override;

  // The lower bound of bucket |i|.
  virtual Sample ranges(uint32_t i) const;
  virtual uint32_t bucket_count() const;

  Sample declared_min() const { return declared_min_; }
  Sample declared_max() const { return declared_max_; }
  const BucketRanges* bucket_ranges() const { return bucket_ranges_; }

  // The name, flags, bounds, bucket count and layout checksum.
  bool SerializeInfo(Pickle* pickle) const { return SerializeInfoImpl(pickle); }

 protected:
  // Builds histograms of one kind: the layout, the object, then its extras.
  class Factory {
   public:
    Factory(const std::string& name,
            Sample minimum,
            Sample maximum,
            uint32_t bucket_count,
            int32_t flags)
        : Factory(name, HISTOGRAM, minimum, maximum, bucket_count, flags) {}
    virtual ~Factory() = default;

    // The registered histogram of the name, or a new one.
    HistogramBase* Build();

   protected:
    Factory(const std::string& name,
            HistogramType histogram_type,
            Sample minimum,
            Sample maximum,
            uint32_t bucket_count,
            int32_t flags)
        : name_(name),
          histogram_type_(histogram_type),
          minimum_(minimum),
          maximum_(maximum),
          bucket_count_(bucket_count),
          flags_(flags) {}

    virtual BucketRanges* CreateRanges();
    virtual std::unique_ptr<HistogramBase> HeapAlloc(
        const BucketRanges* ranges);
    virtual void FillHistogram(HistogramBase* /*histogram*/) {}

    const std::string& name_;
    const HistogramType histogram_type_;
    Sample minimum_;
    Sample maximum_;
    uint32_t bucket_count_;
    int32_t flags_;
  };

  Histogram(const std::string& name,
            Sample minimum,
            Sample maximum,
            const BucketRanges* ranges);
  Histogram(const std::string& name,
            Sample minimum,
            Sample maximum,
            const BucketRanges* ranges,
            const PersistentSampleStorage& storage);

  bool SerializeInfoImpl(Pickle* pickle) const override;

  // Whether a bucket without samples gets a line of its own in dumps.
  virtual bool PrintEmptyBucket(uint32_t index) const;
  // The count of bucket |i| per unit of width, for the bars of a dump.
  virtual double GetBucketSize(Count current, uint32_t i) const;
  // The label of bucket |i| in dumps.
  virtual std::string GetAsciiBucketRange(uint32_t i) const;

 private:
  std::unique_ptr<SampleVector> SnapshotAllSamples() const;
  void WriteAsciiImpl(bool graph_it,
                      const std::string& newline,
                      std::string* output) const;
  double GetPeakBucketSize(const SampleVector& samples) const;

  const BucketRanges* const bucket_ranges_;
  const Sample declared_min_;
  const Sample declared_max_;
  std::unique_ptr<SampleVector> samples_;
  std::unique_ptr<SampleVector> logged_samples_;
};

// Buckets of equal width, optionally with a description per bucket.
class LinearHistogram : public Histogram {
 public:
  // One description of a bucket, by its lower bound; a table of them ends
  // with a null description.
  struct DescriptionPair {
    Sample sample;
    const char* description;
  };

  ~LinearHistogram() override;

  static HistogramBase* FactoryGet(const char* name,
                                   Sample minimum,
                                   Sample maximum,
                                   uint32_t bucket_count,
                                   int32_t flags);
  static HistogramBase* FactoryGetWithRangeDescription(
      const std::string& name,
      Sample minimum,
      Sample maximum,
      uint32_t bucket_count,
      int32_t flags,
      const DescriptionPair descriptions[]);

  static HistogramBase* PersistentCreate(
      const std::string& name,
      Sample minimum,
      Sample maximum,
      const BucketRanges* ranges,
      const PersistentSampleStorage& storage);

  // Fills |ranges| with the linear layout from |minimum| to |maximum|.
  static void InitializeBucketRanges(Sample minimum,
                                     Sample maximum,
                                     BucketRanges* ranges);

  HistogramType GetHistogramType() const override;

 protected:
  class Factory : public Histogram::Factory {
   public:
    Factory(const std::string& name,
            Sample minimum,
            Sample maximum,
            uint32_t bucket_count,
            int32_t flags,
            const DescriptionPair* descriptions)
        : Factory(name,
                  LINEAR_HISTOGRAM,
                  minimum,
                  maximum,
                  bucket_count,
                  flags,
                  descriptions) {}

   protected:
    Factory(const std::string& name,
            HistogramType histogram_type,
            Sample minimum,
            Sample maximum,
            uint32_t bucket_count,
            int32_t flags,
            const DescriptionPair* descriptions)
        : Histogram::Factory(name,
                             histogram_type,
                             minimum,
                             maximum,
                             bucket_count,
                             flags),
          descriptions_(descriptions) {}

    BucketRanges* CreateRanges() override;
    std::unique_ptr<HistogramBase> HeapAlloc(
        const BucketRanges* ranges) override;
    void FillHistogram(HistogramBase* histogram) override;

   private:
    const DescriptionPair* const descriptions_;
  };

  LinearHistogram(const std::string& name,
                  Sample minimum,
                  Sample maximum,
                  const BucketRanges* ranges);
  LinearHistogram(const std::string& name,
                  Sample minimum,
                  Sample maximum,
                  const BucketRanges* ranges,
                  const PersistentSampleStorage& storage);

  double GetBucketSize(Count current, uint32_t i) const override;
  bool PrintEmptyBucket(uint32_t index) const override;
  std::string GetAsciiBucketRange(uint32_t i) const override;

 private:
  std::map<Sample, std::string> bucket_description_;
};

// Two buckets of interest: false (0) and true (1).
class BooleanHistogram : public LinearHistogram {
 public:
  static HistogramBase* PersistentCreate(
      const std::string& name,
      const BucketRanges* ranges,
      const PersistentSampleStorage& storage);

  HistogramType GetHistogramType() const override;

 private:
  BooleanHistogram(const std::string& name,
                   const BucketRanges* ranges,
                   const PersistentSampleStorage& storage);
};

// Buckets with bounds given one by one.
class CustomHistogram : public Histogram {
 public:
  static HistogramBase* PersistentCreate(
      const std::string& name,
      const BucketRanges* ranges,
      const PersistentSampleStorage& storage);

  HistogramType GetHistogramType() const override;

 protected:
  bool SerializeInfoImpl(Pickle* pickle) const override;
  double GetBucketSize(Count current, uint32_t i) const override;

 private:
  CustomHistogram(const std::string& name,
                  const BucketRanges* ranges,
                  const PersistentSampleStorage& storage);
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_H_

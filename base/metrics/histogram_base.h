#ifndef BASE_METRICS_HISTOGRAM_BASE_H_
#define BASE_METRICS_HISTOGRAM_BASE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/time/time.h"

namespace base {

class DictionaryValue;
class HistogramSamples;
class ListValue;
class Pickle;
class PickleIterator;

// The kinds of histogram, as stored in records and printed.
enum HistogramType {
  HISTOGRAM,
  LINEAR_HISTOGRAM,
  BOOLEAN_HISTOGRAM,
  CUSTOM_HISTOGRAM,
  SPARSE_HISTOGRAM,
};

// "HISTOGRAM", "LINEAR_HISTOGRAM", ...; "UNKNOWN" for any other code.
std::string GetHistogramTypeName(HistogramType type);

// A named counter of integer samples. Call sites get one from a factory
// (base/metrics/histogram.h, base/metrics/sparse_histogram.h), keep the
// pointer and add samples.
class HistogramBase {
 public:
  typedef int32_t Sample;
  typedef int32_t Count;
  static constexpr Sample kSampleType_MAX = 0x7FFFFFFF;

  // Flag bits.
  enum Flags : int32_t {
    kNoFlags = 0,
    // Marks a histogram that the program reports; every call site passes it.
    kReportedHistogramFlag = 0x1,
    // With kReportedHistogramFlag: reported for stability.
    kReportedStabilityFlag = 0x2,
    // A sample callback is registered for the histogram's name.
    kCallbackExists = 0x20,
    // The histogram lives in persistent memory.
    kIsPersistent = 0x40,
    // Dumps print bucket ranges in hexadecimal.
    kHexRangePrintingFlag = 0x8000,
  };

  // Bits of FindCorruption's answer.
  enum Inconsistency : uint32_t {
    NO_INCONSISTENCIES = 0x0,
    RANGE_CHECKSUM_ERROR = 0x1,
    BUCKET_ORDER_ERROR = 0x2,
    COUNT_HIGH_ERROR = 0x4,
    COUNT_LOW_ERROR = 0x8,
  };

  // What ReportHistogramActivity counts.
  enum ReportActivity { HISTOGRAM_CREATED, HISTOGRAM_LOOKUP };

  HistogramBase(const HistogramBase&) = delete;
  HistogramBase& operator=(const HistogramBase&) = delete;
  virtual ~HistogramBase();

  const std::string& histogram_name() const { return histogram_name_; }
  int32_t flags() const { return flags_; }
  void SetFlags(int32_t flags) { flags_ |= flags; }
  void ClearFlags(int32_t flags) { flags_ &= ~flags; }

  // The operations below keep nothing in the base, so that a stand-in
  // that only needs Add can derive from it; every histogram of this
  // library overrides them all.
  virtual uint64_t name_hash() const;
  virtual HistogramType GetHistogramType() const;
  virtual bool HasConstructionArguments(Sample expected_minimum,
                                        Sample expected_maximum,
                                        uint32_t expected_bucket_count) const;
  virtual void Add(Sample value) = 0;
  // Nothing when |count| is not positive.
  virtual void AddCount(Sample value, int count);
  virtual void AddSamples(const HistogramSamples& samples);
  virtual bool AddSamplesFromPickle(PickleIterator* iter);
  // The inconsistencies between the histogram and |samples|, as bits.
  virtual uint32_t FindCorruption(const HistogramSamples& samples) const;
  virtual std::unique_ptr<HistogramSamples> SnapshotSamples() const;
  // The samples added since the previous delta.
  virtual std::unique_ptr<HistogramSamples> SnapshotDelta();
  // The text dump between "<PRE>" and "</PRE>", with "<br>" for newlines.
  virtual void WriteHTMLGraph(std::string* output) const;
  virtual void WriteAscii(std::string* output) const;
  virtual void GetParameters(DictionaryValue* params) const;
  virtual void GetCountAndBucketData(Count* count,
                                     int64_t* sum,
                                     ListValue* buckets) const;

  // Adds the whole milliseconds of |time|.
  void AddTime(const TimeDelta& time);

  // Runs the sample callback registered for the histogram's name, if any.
  void FindAndRunCallback(Sample sample) const;

  // Counts the creation or lookup of |histogram| in the activity-report
  // histogram, when one is installed.
  static void ReportHistogramActivity(const HistogramBase& histogram,
                                      ReportActivity activity);
  // Installs the activity-report histogram; null removes it.
  static void SetActivityReportHistogram(HistogramBase* report_histogram);

 protected:
  explicit HistogramBase(const std::string& name);

  virtual bool SerializeInfoImpl(Pickle* pickle) const;

  // Pieces of the text dump.
  // "Histogram: NAME recorded N samples", the average when |sum| is given
  // and N is not 0, the flags without kHexRangePrintingFlag, the newline.
  void WriteAsciiHeader(Count sample_count,
                        const int64_t* sum,
                        const std::string& newline,
                        std::string* output) const;
  // A bar of '-' up to |current| / |max| of 72 columns, then 'O'.
  void WriteAsciiBucketGraph(double current,
                             double max,
                             std::string* output) const;
  // " (count = share%)", the share of |scaled_sum| (a hundredth of all).
  void WriteAsciiBucketValue(Count current,
                             double scaled_sum,
                             std::string* output) const;
  // |sample| as "%d", or "%#x" with kHexRangePrintingFlag.
  std::string GetSimpleAsciiBucketRange(Sample sample) const;
  // Appends |label| and pads it with spaces to |width| characters.
  static void AppendPadded(const std::string& label,
                           size_t width,
                           std::string* output);

 private:
  const std::string histogram_name_;
  int32_t flags_;
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_BASE_H_

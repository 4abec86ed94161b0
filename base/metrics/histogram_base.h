#ifndef BASE_METRICS_HISTOGRAM_BASE_H_
#define BASE_METRICS_HISTOGRAM_BASE_H_

#include <stdint.h>

#include <string>

#include "base/time/time.h"

namespace base {

// A named counter of integer samples. Call sites get one from a factory
// (base/metrics/histogram.h), keep the pointer and add samples; nothing in
// the program reads them back.
class HistogramBase {
 public:
  typedef int32_t Sample;
  static constexpr Sample kSampleType_MAX = 0x7FFFFFFF;

  // Flag bits.
  enum Flags : int32_t {
    kNoFlags = 0,
    // Marks a histogram that the program reports; every call site passes it.
    kReportedHistogramFlag = 0x1,
  };

  HistogramBase(const HistogramBase&) = delete;
  HistogramBase& operator=(const HistogramBase&) = delete;
  virtual ~HistogramBase();

  const std::string& histogram_name() const { return histogram_name_; }
  int32_t flags() const { return flags_; }
  void SetFlags(int32_t flags) { flags_ |= flags; }
  void ClearFlags(int32_t flags) { flags_ &= ~flags; }

  virtual void Add(Sample value) = 0;

  // Adds the whole milliseconds of |time|.
  void AddTime(const TimeDelta& time);

 protected:
  explicit HistogramBase(const std::string& name);

 private:
  const std::string histogram_name_;
  int32_t flags_;
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_BASE_H_

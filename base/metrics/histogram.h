#ifndef BASE_METRICS_HISTOGRAM_H_
#define BASE_METRICS_HISTOGRAM_H_

#include <stdint.h>

#include <string>

#include "base/metrics/histogram_base.h"
#include "base/time/time.h"

// Histograms with bucketed storage and their factories. For now samples are
// not stored: Add does nothing, which changes nothing for the callers, since
// no part of the program reads a histogram. Each factory call builds a new
// histogram that lives until the process ends; call sites keep the pointer
// in a static slot of their own.

namespace base {

// Exponentially sized buckets.
class Histogram : public HistogramBase {
 public:
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

  void Add(Sample value) override;

 protected:
  Histogram(const std::string& name, int32_t flags);
};

// Buckets of equal width.
class LinearHistogram : public Histogram {
 public:
  static HistogramBase* FactoryGet(const char* name,
                                   Sample minimum,
                                   Sample maximum,
                                   uint32_t bucket_count,
                                   int32_t flags);

 private:
  LinearHistogram(const std::string& name, int32_t flags);
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_H_

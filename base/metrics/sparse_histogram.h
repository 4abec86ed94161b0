#ifndef BASE_METRICS_SPARSE_HISTOGRAM_H_
#define BASE_METRICS_SPARSE_HISTOGRAM_H_

#include <stdint.h>

#include <string>

#include "base/metrics/histogram_base.h"

namespace base {

// A histogram for samples spread over a wide range, such as error codes. For
// now samples are not stored: Add does nothing, which changes nothing for
// the callers, since no part of the program reads a histogram. Each factory
// call builds a new histogram that lives until the process ends.
class SparseHistogram : public HistogramBase {
 public:
  static HistogramBase* FactoryGet(const std::string& name, int32_t flags);

  void Add(Sample value) override;

 private:
  explicit SparseHistogram(const std::string& name);
};

}  // namespace base

#endif  // BASE_METRICS_SPARSE_HISTOGRAM_H_

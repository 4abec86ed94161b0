#include "base/metrics/sparse_histogram.h"

namespace base {

// static
HistogramBase* SparseHistogram::FactoryGet(const std::string& name,
                                           int32_t flags) {
  SparseHistogram* histogram = new SparseHistogram(name);
  histogram->SetFlags(flags);
  return histogram;
}

SparseHistogram::SparseHistogram(const std::string& name)
    : HistogramBase(name) {}

void SparseHistogram::Add(Sample /*value*/) {}

}  // namespace base

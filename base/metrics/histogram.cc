#include "base/metrics/histogram.h"

namespace base {

// static
HistogramBase* Histogram::FactoryGet(const std::string& name,
                                     Sample /*minimum*/,
                                     Sample /*maximum*/,
                                     uint32_t /*bucket_count*/,
                                     int32_t flags) {
  return new Histogram(name, flags);
}

// static
HistogramBase* Histogram::FactoryGet(const char* name,
                                     Sample minimum,
                                     Sample maximum,
                                     uint32_t bucket_count,
                                     int32_t flags) {
  return FactoryGet(std::string(name), minimum, maximum, bucket_count, flags);
}

// static
HistogramBase* Histogram::FactoryTimeGet(const char* name,
                                         TimeDelta minimum,
                                         TimeDelta maximum,
                                         uint32_t bucket_count,
                                         int32_t flags) {
  return FactoryGet(name, static_cast<Sample>(minimum.InMilliseconds()),
                    static_cast<Sample>(maximum.InMilliseconds()), bucket_count,
                    flags);
}

Histogram::Histogram(const std::string& name, int32_t flags)
    : HistogramBase(name) {
  SetFlags(flags);
}

void Histogram::Add(Sample /*value*/) {}

// static
HistogramBase* LinearHistogram::FactoryGet(const char* name,
                                           Sample /*minimum*/,
                                           Sample /*maximum*/,
                                           uint32_t /*bucket_count*/,
                                           int32_t flags) {
  return new LinearHistogram(name, flags);
}

LinearHistogram::LinearHistogram(const std::string& name, int32_t flags)
    : Histogram(name, flags) {}

}  // namespace base

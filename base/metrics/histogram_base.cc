#include "base/metrics/histogram_base.h"

namespace base {

HistogramBase::HistogramBase(const std::string& name)
    : histogram_name_(name), flags_(0) {}

HistogramBase::~HistogramBase() = default;

void HistogramBase::AddTime(const TimeDelta& time) {
  Add(static_cast<Sample>(time.InMilliseconds()));
}

}  // namespace base

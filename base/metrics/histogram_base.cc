#include "base/metrics/histogram_base.h"

#include "base/metrics/histogram_samples.h"
#include "base/metrics/metrics_hashes.h"
#include "base/metrics/statistics_recorder.h"
#include "base/strings/stringprintf.h"

namespace base {

namespace {

// Codes of the activity-report histogram.
enum ActivityCode {
  kActivityCreated = 1,
  kActivityLookup = 2,
  kActivityHistogram = 3,
  kActivityLinear = 4,
  kActivityBoolean = 5,
  kActivityCustom = 6,
  kActivitySparse = 7,
  kActivityReported = 8,
  kActivityReportedStability = 9,
  kActivityPersistent = 10,
  kActivityUnknownType = 11,
};

HistogramBase* g_report_histogram = nullptr;

constexpr int kBarWidth = 72;

// |numerator| / |denominator|, or 0 when there is nothing to divide by.
double SafeRatio(double numerator, double denominator) {
  return denominator == 0.0 ? 0.0 : numerator / denominator;
}

}  // namespace

std::string GetHistogramTypeName(HistogramType type) {
  switch (type) {
    case HISTOGRAM:
      return "HISTOGRAM";
    case LINEAR_HISTOGRAM:
      return "LINEAR_HISTOGRAM";
    case BOOLEAN_HISTOGRAM:
      return "BOOLEAN_HISTOGRAM";
    case CUSTOM_HISTOGRAM:
      return "CUSTOM_HISTOGRAM";
    case SPARSE_HISTOGRAM:
      return "SPARSE_HISTOGRAM";
  }
  return "UNKNOWN";
}

HistogramBase::HistogramBase(const std::string& name)
    : histogram_name_(name), flags_(0) {}

HistogramBase::~HistogramBase() = default;

uint64_t HistogramBase::name_hash() const {
  return HashMetricName(histogram_name_);
}

HistogramType HistogramBase::GetHistogramType() const {
  return HISTOGRAM;
}

bool HistogramBase::HasConstructionArguments(
    Sample /*expected_minimum*/,
    Sample /*expected_maximum*/,
    uint32_t /*expected_bucket_count*/) const {
  return false;
}

void HistogramBase::AddCount(Sample value, int count) {
  for (int i = 0; i < count; ++i)
    Add(value);
}

void HistogramBase::AddSamples(const HistogramSamples& /*samples*/) {}

bool HistogramBase::AddSamplesFromPickle(PickleIterator* /*iter*/) {
  return false;
}

uint32_t HistogramBase::FindCorruption(
    const HistogramSamples& /*samples*/) const {
  return NO_INCONSISTENCIES;
}

std::unique_ptr<HistogramSamples> HistogramBase::SnapshotSamples() const {
  return nullptr;
}

std::unique_ptr<HistogramSamples> HistogramBase::SnapshotDelta() {
  return nullptr;
}

void HistogramBase::WriteHTMLGraph(std::string* /*output*/) const {}

void HistogramBase::WriteAscii(std::string* /*output*/) const {}

void HistogramBase::GetParameters(DictionaryValue* /*params*/) const {}

void HistogramBase::GetCountAndBucketData(Count* /*count*/,
                                          int64_t* /*sum*/,
                                          ListValue* /*buckets*/) const {}

bool HistogramBase::SerializeInfoImpl(Pickle* /*pickle*/) const {
  return false;
}

void HistogramBase::AddTime(const TimeDelta& time) {
  Add(static_cast<Sample>(time.InMilliseconds()));
}

void HistogramBase::FindAndRunCallback(Sample sample) const {
  if ((flags_ & kCallbackExists) == 0)
    return;
  const StatisticsRecorder::OnSampleCallback callback =
      StatisticsRecorder::FindCallback(histogram_name_);
  if (!callback.is_null())
    callback.Run(sample);
}

// static
void HistogramBase::ReportHistogramActivity(const HistogramBase& histogram,
                                            ReportActivity activity) {
  if (!g_report_histogram)
    return;
  if (activity == HISTOGRAM_LOOKUP) {
    g_report_histogram->Add(kActivityLookup);
    return;
  }
  g_report_histogram->Add(kActivityCreated);
  switch (histogram.GetHistogramType()) {
    case HISTOGRAM:
      g_report_histogram->Add(kActivityHistogram);
      break;
    case LINEAR_HISTOGRAM:
      g_report_histogram->Add(kActivityLinear);
      break;
    case BOOLEAN_HISTOGRAM:
      g_report_histogram->Add(kActivityBoolean);
      break;
    case CUSTOM_HISTOGRAM:
      g_report_histogram->Add(kActivityCustom);
      break;
    case SPARSE_HISTOGRAM:
      g_report_histogram->Add(kActivitySparse);
      break;
    default:
      g_report_histogram->Add(kActivityUnknownType);
      break;
  }
  const int32_t flags = histogram.flags();
  if (flags & kIsPersistent)
    g_report_histogram->Add(kActivityPersistent);
  const int32_t stability = kReportedHistogramFlag | kReportedStabilityFlag;
  if ((flags & stability) == stability)
    g_report_histogram->Add(kActivityReportedStability);
  else if (flags & kReportedHistogramFlag)
    g_report_histogram->Add(kActivityReported);
}

// static
void HistogramBase::SetActivityReportHistogram(
    HistogramBase* report_histogram) {
  g_report_histogram = report_histogram;
}

void HistogramBase::WriteAsciiHeader(Count sample_count,
                                     const int64_t* sum,
                                     const std::string& newline,
                                     std::string* output) const {
  StringAppendF(output, "Histogram: %s recorded %d samples",
                histogram_name_.c_str(), sample_count);
  if (sum && sample_count != 0) {
    const float average =
        static_cast<float>(*sum) / static_cast<float>(sample_count);
    StringAppendF(output, ", average = %.1f", average);
  }
  const int32_t shown_flags = flags_ & ~kHexRangePrintingFlag;
  if (shown_flags != 0)
    StringAppendF(output, " (flags = 0x%x)", shown_flags);
  output->append(newline);
}

void HistogramBase::WriteAsciiBucketGraph(double current,
                                          double max,
                                          std::string* output) const {
  const int x = static_cast<int>(SafeRatio(current, max) * kBarWidth + 0.5);
  if (x > 0)
    output->append(x, '-');
  output->append(1, 'O');
  if (kBarWidth - x > 0)
    output->append(kBarWidth - x, ' ');
}

void HistogramBase::WriteAsciiBucketValue(Count current,
                                          double scaled_sum,
                                          std::string* output) const {
  StringAppendF(output, " (%d = %3.1f%%)", current,
                SafeRatio(current, scaled_sum));
}

std::string HistogramBase::GetSimpleAsciiBucketRange(Sample sample) const {
  if (flags_ & kHexRangePrintingFlag)
    return StringPrintf("%#x", sample);
  return StringPrintf("%d", sample);
}

// static
void HistogramBase::AppendPadded(const std::string& label,
                                 size_t width,
                                 std::string* output) {
  output->append(label);
  if (label.size() < width)
    output->append(width - label.size(), ' ');
}

}  // namespace base

#ifndef BASE_METRICS_STATISTICS_RECORDER_H_
#define BASE_METRICS_STATISTICS_RECORDER_H_

#include <stdint.h>

#include <list>
#include <map>
#include <string>

#include "base/callback.h"
#include "base/metrics/histogram_base.h"
#include "base/strings/string_piece.h"

namespace base {

class BucketRanges;
class Lock;

// The process-wide registry of histograms: one histogram per name, shared
// bucket layouts, and per-name sample callbacks. The registry exists only
// once a StatisticsRecorder has been made; until then lookups find
// nothing, registration hands back what it is given, and IsActive is false.
// Registered histograms and layouts are never freed.
class StatisticsRecorder {
 public:
  typedef Callback<void(HistogramBase::Sample)> OnSampleCallback;

  // Creates the registry, unless it exists. Deleting the recorder that
  // created it removes it again, leaving the histograms it held alive; this
  // is for tests, which need a registry of their own.
  StatisticsRecorder();
  StatisticsRecorder(const StatisticsRecorder&) = delete;
  StatisticsRecorder& operator=(const StatisticsRecorder&) = delete;
  ~StatisticsRecorder();

  static bool IsActive();

  // The registered histogram of |name|, or null.
  static HistogramBase* FindHistogram(StringPiece name);

  // Registers |histogram| (ownership passed) and returns it, or returns the
  // histogram already registered under its name and deletes |histogram|.
  static HistogramBase* RegisterOrDeleteDuplicate(HistogramBase* histogram);

  // The registered layout equal to |ranges| (ownership passed), which is
  // then deleted, or |ranges| itself, now registered.
  static const BucketRanges* RegisterOrDeleteDuplicateRanges(
      const BucketRanges* ranges);

  // The callback registered for |name|; null when there is none.
  static OnSampleCallback FindCallback(const std::string& name);

  // Registers |callback| for |name|, marking the histogram of that name;
  // a null callback unmarks it.
  static void SetCallback(const std::string& name,
                          const OnSampleCallback& callback);

 private:
  typedef std::map<uint64_t, HistogramBase*> HistogramMap;
  typedef std::map<std::string, OnSampleCallback> CallbackMap;
  typedef std::map<uint32_t, std::list<const BucketRanges*>*> RangesMap;

  bool owns_registry_;
};

}  // namespace base

#endif  // BASE_METRICS_STATISTICS_RECORDER_H_

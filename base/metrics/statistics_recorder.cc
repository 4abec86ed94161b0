#include "base/metrics/statistics_recorder.h"

#include <atomic>

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/metrics_hashes.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

// Made once and never freed, so that a registry can come and go around it.
Lock* GetRegistryLock() {
  static Lock* const lock = new Lock();
  return lock;
}

// All null while the registry is absent; guarded by the registry lock.
std::map<uint64_t, HistogramBase*>* g_histograms = nullptr;
std::map<std::string, StatisticsRecorder::OnSampleCallback>* g_callbacks =
    nullptr;
std::map<uint32_t, std::list<const BucketRanges*>*>* g_ranges = nullptr;
// Read without the lock first, so that the absent registry costs no lock.
std::atomic<bool> g_registry_made{false};

}  // namespace

StatisticsRecorder::StatisticsRecorder() : owns_registry_(false) {
  AutoLock auto_lock(*GetRegistryLock());
  if (g_histograms)
    return;
  owns_registry_ = true;
  g_histograms = new HistogramMap;
  g_callbacks = new CallbackMap;
  g_ranges = new RangesMap;
  g_registry_made = true;
}

StatisticsRecorder::~StatisticsRecorder() {
  if (!owns_registry_)
    return;
  AutoLock auto_lock(*GetRegistryLock());
  // The histograms and layouts may still be referenced by call sites.
  for (RangesMap::value_type& entry : *g_ranges)
    delete entry.second;
  delete g_ranges;
  delete g_callbacks;
  delete g_histograms;
  g_ranges = nullptr;
  g_callbacks = nullptr;
  g_histograms = nullptr;
}

// static
bool StatisticsRecorder::IsActive() {
  if (!g_registry_made)
    return false;
  AutoLock auto_lock(*GetRegistryLock());
  return g_histograms != nullptr;
}

// static
HistogramBase* StatisticsRecorder::FindHistogram(StringPiece name) {
  if (!g_registry_made)
    return nullptr;
  AutoLock auto_lock(*GetRegistryLock());
  if (!g_histograms)
    return nullptr;
  const HistogramMap::const_iterator it =
      g_histograms->find(HashMetricName(name));
  if (it == g_histograms->end())
    return nullptr;
  CHECK(it->second->histogram_name() == name.as_string());
  return it->second;
}

// static
HistogramBase* StatisticsRecorder::RegisterOrDeleteDuplicate(
    HistogramBase* histogram) {
  if (!g_registry_made)
    return histogram;
  HistogramBase* to_delete = nullptr;
  HistogramBase* result = histogram;
  {
    AutoLock auto_lock(*GetRegistryLock());
    if (!g_histograms)
      return histogram;
    HistogramBase*& entry = (*g_histograms)[histogram->name_hash()];
    if (!entry) {
      entry = histogram;
      const CallbackMap::const_iterator callback =
          g_callbacks->find(histogram->histogram_name());
      if (callback != g_callbacks->end()) {
        if (!callback->second.is_null())
          histogram->SetFlags(HistogramBase::kCallbackExists);
        else
          histogram->ClearFlags(HistogramBase::kCallbackExists);
      }
    } else if (entry != histogram) {
      CHECK(entry->histogram_name() == histogram->histogram_name());
      to_delete = histogram;
      result = entry;
    }
  }
  delete to_delete;
  return result;
}

// static
const BucketRanges* StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
    const BucketRanges* ranges) {
  if (!g_registry_made)
    return ranges;
  const BucketRanges* to_delete = nullptr;
  const BucketRanges* result = ranges;
  {
    AutoLock auto_lock(*GetRegistryLock());
    if (!g_ranges)
      return ranges;
    std::list<const BucketRanges*>*& list = (*g_ranges)[ranges->checksum()];
    if (!list)
      list = new std::list<const BucketRanges*>;
    const BucketRanges* found = nullptr;
    for (const BucketRanges* registered : *list) {
      if (registered->Equals(ranges)) {
        found = registered;
        break;
      }
    }
    if (!found) {
      list->push_back(ranges);
    } else if (found != ranges) {
      to_delete = ranges;
      result = found;
    }
  }
  delete to_delete;
  return result;
}

// static
StatisticsRecorder::OnSampleCallback StatisticsRecorder::FindCallback(
    const std::string& name) {
  if (!g_registry_made)
    return OnSampleCallback();
  AutoLock auto_lock(*GetRegistryLock());
  if (!g_histograms)
    return OnSampleCallback();
  const CallbackMap::const_iterator it = g_callbacks->find(name);
  return it == g_callbacks->end() ? OnSampleCallback() : it->second;
}

// static
void StatisticsRecorder::SetCallback(const std::string& name,
                                     const OnSampleCallback& callback) {
  AutoLock auto_lock(*GetRegistryLock());
  if (!g_histograms)
    return;
  (*g_callbacks)[name] = callback;
  const HistogramMap::const_iterator it =
      g_histograms->find(HashMetricName(name));
  if (it == g_histograms->end())
    return;
  if (callback.is_null())
    it->second->ClearFlags(HistogramBase::kCallbackExists);
  else
    it->second->SetFlags(HistogramBase::kCallbackExists);
}

}  // namespace base

#ifndef BASE_TRACE_EVENT_TRACE_EVENT_IMPL_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_IMPL_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/time/time.h"
#include "base/trace_event/convertable_to_trace_format.h"
#include "base/trace_event/trace_event.h"

namespace base {
namespace trace_event {

class TraceEventMemoryOverhead;

// One recorded span, instant or metadata item, as stored in a buffer chunk.
class TraceEvent {
 public:
  // An argument value; its type code says which member is meant.
  union TraceValue {
    bool as_bool;
    unsigned long long as_uint;
    long long as_int;
    double as_double;
    const void* as_pointer;
    const char* as_string;
  };

  static constexpr int kTraceMaxNumArgs = 2;

  TraceEvent();
  TraceEvent(const TraceEvent&) = delete;
  TraceEvent& operator=(const TraceEvent&) = delete;
  ~TraceEvent();

  // Fills the event; at most two arguments are kept. Names and string
  // arguments are copied into the event with TRACE_EVENT_FLAG_COPY, and
  // copied strings (type 7) always; convertable arguments are taken over.
  void Initialize(int thread_id,
                  TimeTicks timestamp,
                  ThreadTicks thread_timestamp,
                  char phase,
                  const unsigned char* category_group_enabled,
                  const char* name,
                  const char* scope,
                  unsigned long long id,
                  unsigned long long bind_id,
                  int num_args,
                  const char* const* arg_names,
                  const unsigned char* arg_types,
                  const unsigned long long* arg_values,
                  std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
                  unsigned int flags);

  // Drops the copied strings and the convertables; the duration is unset.
  void Reset();

  // Ends a complete event at |now| and |thread_now|.
  void UpdateDuration(const TimeTicks& now, const ThreadTicks& thread_now);

  // Takes over |other|, which is then destroyed.
  void MoveFrom(std::unique_ptr<TraceEvent> other);

  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead);

  // Appends the JSON text of an argument value of |type|.
  static void AppendValueAsJSON(unsigned char type,
                                TraceValue value,
                                std::string* out);

  // "name[category], {arg:value, ...}".
  void AppendPrettyPrinted(std::string* out) const;

  TimeTicks timestamp() const { return timestamp_; }
  ThreadTicks thread_timestamp() const { return thread_timestamp_; }
  char phase() const { return phase_; }
  int thread_id() const { return thread_id_; }
  TimeDelta duration() const { return duration_; }
  TimeDelta thread_duration() const { return thread_duration_; }
  const char* scope() const { return scope_; }
  unsigned long long id() const { return id_; }
  unsigned long long bind_id() const { return bind_id_; }
  unsigned int flags() const { return flags_; }
  const char* name() const { return name_; }
  const char* arg_name(int i) const { return arg_names_[i]; }
  unsigned char arg_type(int i) const { return arg_types_[i]; }
  TraceValue arg_value(int i) const { return arg_values_[i]; }
  const ConvertableToTraceFormat* convertable_value(int i) const {
    return convertable_values_[i].get();
  }
  const unsigned char* category_group_enabled() const {
    return category_group_enabled_;
  }
  const std::string* parameter_copy_storage() const {
    return parameter_copy_storage_.get();
  }

 private:
  TimeTicks timestamp_;
  ThreadTicks thread_timestamp_;
  TimeDelta duration_;
  TimeDelta thread_duration_;
  const char* scope_;
  unsigned long long id_;
  TraceValue arg_values_[kTraceMaxNumArgs];
  const char* arg_names_[kTraceMaxNumArgs];
  std::unique_ptr<ConvertableToTraceFormat>
      convertable_values_[kTraceMaxNumArgs];
  const unsigned char* category_group_enabled_;
  const char* name_;
  std::unique_ptr<std::string> parameter_copy_storage_;
  int thread_id_;
  unsigned int flags_;
  unsigned long long bind_id_;
  unsigned char arg_types_[kTraceMaxNumArgs];
  char phase_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_IMPL_H_

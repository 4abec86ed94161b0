#include "base/trace_event/trace_event_impl.h"

#include <math.h>
#include <string.h>

#include <utility>

#include "base/json/string_escape.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

namespace {

size_t CopiedLength(const char* text) {
  return text ? strlen(text) + 1 : 0;
}

// Copies |*member| to |*buffer| and points it there.
void CopyTraceEventParameter(char** buffer, const char** member) {
  if (!*member)
    return;
  const size_t length = strlen(*member) + 1;
  memcpy(*buffer, *member, length);
  *member = *buffer;
  *buffer += length;
}

// JSON has no infinities or NaN: they are written as quoted words.
std::string DoubleAsJSON(double value) {
  if (isnan(value))
    return "\"NaN\"";
  if (isinf(value))
    return value < 0 ? "\"-Infinity\"" : "\"Infinity\"";
  std::string text = DoubleToString(value);
  if (text.find_first_of(".eE") == std::string::npos)
    text.append(".0");
  if (text[0] == '.')
    text.insert(0, "0");
  else if (text.compare(0, 2, "-.") == 0)
    text.insert(1, "0");
  return text;
}

}  // namespace

TraceEvent::TraceEvent()
    : duration_(TimeDelta::FromMicroseconds(-1)),
      scope_(nullptr),
      id_(0),
      category_group_enabled_(nullptr),
      name_(nullptr),
      thread_id_(0),
      flags_(0),
      bind_id_(0),
      phase_(TRACE_EVENT_PHASE_BEGIN) {
  for (int i = 0; i < kTraceMaxNumArgs; ++i) {
    arg_names_[i] = nullptr;
    arg_values_[i].as_uint = 0;
    arg_types_[i] = TRACE_VALUE_TYPE_UINT;
  }
}

TraceEvent::~TraceEvent() = default;

void TraceEvent::Initialize(
    int thread_id,
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
    unsigned int flags) {
  timestamp_ = timestamp;
  thread_timestamp_ = thread_timestamp;
  duration_ = TimeDelta::FromMicroseconds(-1);
  scope_ = scope;
  id_ = id;
  category_group_enabled_ = category_group_enabled;
  name_ = name;
  thread_id_ = thread_id;
  phase_ = phase;
  flags_ = flags;
  bind_id_ = bind_id;

  if (num_args > kTraceMaxNumArgs)
    num_args = kTraceMaxNumArgs;
  int i = 0;
  for (; i < num_args; ++i) {
    arg_names_[i] = arg_names[i];
    arg_types_[i] = arg_types[i];
    if (arg_types[i] == TRACE_VALUE_TYPE_CONVERTABLE) {
      convertable_values_[i] = std::move(convertable_values[i]);
    } else {
      arg_values_[i].as_uint = arg_values[i];
      convertable_values_[i].reset();
    }
  }
  for (; i < kTraceMaxNumArgs; ++i) {
    arg_names_[i] = nullptr;
    arg_values_[i].as_uint = 0;
    convertable_values_[i].reset();
    arg_types_[i] = TRACE_VALUE_TYPE_UINT;
  }

  const bool copy = (flags & TRACE_EVENT_FLAG_COPY) != 0;
  size_t alloc_size = 0;
  if (copy) {
    alloc_size += CopiedLength(name) + CopiedLength(scope);
    for (i = 0; i < num_args; ++i) {
      alloc_size += CopiedLength(arg_names_[i]);
      if (arg_types_[i] == TRACE_VALUE_TYPE_STRING)
        arg_types_[i] = TRACE_VALUE_TYPE_COPY_STRING;
    }
  }
  bool arg_is_copy[kTraceMaxNumArgs];
  for (i = 0; i < num_args; ++i) {
    arg_is_copy[i] = arg_types_[i] == TRACE_VALUE_TYPE_COPY_STRING;
    if (arg_is_copy[i])
      alloc_size += CopiedLength(arg_values_[i].as_string);
  }
  if (!alloc_size)
    return;

  parameter_copy_storage_.reset(new std::string);
  parameter_copy_storage_->resize(alloc_size);
  char* buffer = &(*parameter_copy_storage_)[0];
  if (copy) {
    CopyTraceEventParameter(&buffer, &name_);
    CopyTraceEventParameter(&buffer, &scope_);
    for (i = 0; i < num_args; ++i)
      CopyTraceEventParameter(&buffer, &arg_names_[i]);
  }
  for (i = 0; i < num_args; ++i) {
    if (arg_is_copy[i])
      CopyTraceEventParameter(&buffer, &arg_values_[i].as_string);
  }
}

void TraceEvent::Reset() {
  duration_ = TimeDelta::FromMicroseconds(-1);
  parameter_copy_storage_.reset();
  for (int i = 0; i < kTraceMaxNumArgs; ++i)
    convertable_values_[i].reset();
}

void TraceEvent::UpdateDuration(const TimeTicks& now,
                                const ThreadTicks& thread_now) {
  duration_ = now - timestamp_;
  if (!thread_timestamp_.is_null())
    thread_duration_ = thread_now - thread_timestamp_;
}

void TraceEvent::MoveFrom(std::unique_ptr<TraceEvent> other) {
  timestamp_ = other->timestamp_;
  thread_timestamp_ = other->thread_timestamp_;
  duration_ = other->duration_;
  scope_ = other->scope_;
  id_ = other->id_;
  category_group_enabled_ = other->category_group_enabled_;
  name_ = other->name_;
  thread_id_ = other->thread_id_;
  phase_ = other->phase_;
  flags_ = other->flags_;
  parameter_copy_storage_ = std::move(other->parameter_copy_storage_);
  for (int i = 0; i < kTraceMaxNumArgs; ++i) {
    arg_names_[i] = other->arg_names_[i];
    arg_types_[i] = other->arg_types_[i];
    arg_values_[i] = other->arg_values_[i];
    convertable_values_[i] = std::move(other->convertable_values_[i]);
  }
}

void TraceEvent::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add(kOverheadTypeTraceEvent, sizeof(*this));
  if (parameter_copy_storage_)
    overhead->AddString(*parameter_copy_storage_);
  for (int i = 0; i < kTraceMaxNumArgs; ++i) {
    if (convertable_values_[i])
      convertable_values_[i]->EstimateTraceMemoryOverhead(overhead);
  }
}

// static
void TraceEvent::AppendValueAsJSON(unsigned char type,
                                   TraceValue value,
                                   std::string* out) {
  switch (type) {
    case TRACE_VALUE_TYPE_BOOL:
      out->append(value.as_bool ? "true" : "false");
      break;
    case TRACE_VALUE_TYPE_UINT:
      StringAppendF(out, "%llu", value.as_uint);
      break;
    case TRACE_VALUE_TYPE_INT:
      StringAppendF(out, "%lld", value.as_int);
      break;
    case TRACE_VALUE_TYPE_DOUBLE:
      StringAppendF(out, "%s", DoubleAsJSON(value.as_double).c_str());
      break;
    case TRACE_VALUE_TYPE_POINTER:
      StringAppendF(out, "\"0x%llx\"",
                    static_cast<unsigned long long>(
                        reinterpret_cast<uintptr_t>(value.as_pointer)));
      break;
    case TRACE_VALUE_TYPE_STRING:
    case TRACE_VALUE_TYPE_COPY_STRING:
      EscapeJSONString(value.as_string ? value.as_string : "NULL", true, out);
      break;
    default:
      break;
  }
}

void TraceEvent::AppendPrettyPrinted(std::string* out) const {
  out->append(name_ ? name_ : "");
  out->append("[");
  out->append(TraceLog::GetCategoryGroupName(category_group_enabled_));
  out->append("]");
  if (!arg_names_[0])
    return;
  out->append(", {");
  for (int i = 0; i < kTraceMaxNumArgs && arg_names_[i]; ++i) {
    if (i > 0)
      out->append(", ");
    out->append(arg_names_[i]);
    out->append(":");
    if (arg_types_[i] == TRACE_VALUE_TYPE_CONVERTABLE)
      convertable_values_[i]->AppendAsTraceFormat(out);
    else
      AppendValueAsJSON(arg_types_[i], arg_values_[i], out);
  }
  out->append("}");
}

}  // namespace trace_event
}  // namespace base

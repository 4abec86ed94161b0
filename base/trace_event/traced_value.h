#ifndef BASE_TRACE_EVENT_TRACED_VALUE_H_
#define BASE_TRACE_EVENT_TRACED_VALUE_H_

#include <memory>
#include <string>

#include "base/pickle.h"
#include "base/strings/string_piece.h"
#include "base/trace_event/convertable_to_trace_format.h"

namespace base {

class DictionaryValue;

namespace trace_event {

// A compact recorder of nested dictionaries and lists that becomes JSON
// only when the trace is written out. Keys given as C strings are kept by
// address and must outlive the value: pass string literals.
class TracedValue : public ConvertableToTraceFormat {
 public:
  TracedValue();
  ~TracedValue() override;

  void SetInteger(const char* name, int value);
  void SetDouble(const char* name, double value);
  void SetBoolean(const char* name, bool value);
  void SetString(const char* name, StringPiece value);
  void SetStringWithCopiedName(StringPiece name, StringPiece value);
  void BeginDictionary(const char* name);
  void BeginArray(const char* name);
  void EndDictionary();
  void EndArray();
  // Inside a list.
  void AppendString(StringPiece value);
  void BeginDictionary();

  // The recorded content; a failed read of a recorded value is a
  // programming error.
  std::unique_ptr<DictionaryValue> ToBaseValue() const;

  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  void WriteMarker(char marker);
  void WriteKey(const char* name);

  Pickle pickle_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACED_VALUE_H_

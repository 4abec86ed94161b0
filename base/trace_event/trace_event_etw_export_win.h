#ifndef BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_WIN_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_WIN_H_

#include <stdint.h>

#include <map>
#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {
namespace trace_event {

class ConvertableToTraceFormat;
class KeywordUpdateThread;

// Forwards trace events to Event Tracing for Windows as one provider,
// {D2D578D9-2936-45B6-A09F-30E32715F42D}. The provider is registered when
// the export is first used; the export itself starts switched off, and
// nothing in the program switches it on, so no event is ever written.
class TraceEventETWExport {
 public:
  // The payload writer: |count| NUL-terminated strings with their sizes.
  // Returns a Windows error code.
  typedef uint32_t (*EventWriteFunction)(const char* const* items,
                                         const uint32_t* sizes,
                                         uint32_t count);

  TraceEventETWExport(const TraceEventETWExport&) = delete;
  TraceEventETWExport& operator=(const TraceEventETWExport&) = delete;

  // The export, made on first use; null once it has been destroyed at exit
  // (it is never made twice).
  static TraceEventETWExport* GetInstance();

  // Whether any category of |category_group| is exported.
  static bool IsCategoryGroupEnabled(StringPiece category_group);
  // The status of |category_name|, or of its catch-all entry.
  bool IsCategoryEnabled(StringPiece category_name) const;

  // Writes one event: its name, its phase's name and up to three
  // arguments as text.
  static void AddEvent(
      char phase,
      const unsigned char* category_group_enabled,
      const char* name,
      unsigned long long id,
      int num_args,
      const char* const* arg_names,
      const unsigned char* arg_types,
      const unsigned long long* arg_values,
      const std::unique_ptr<ConvertableToTraceFormat>* convertable_values);
  // Writes the end of the complete event |name|.
  static void AddCompleteEndEvent(const char* name);

  // What the provider's enable callback does with a session's request:
  // control code 0 disables, 1 enables at |level| with the keywords.
  static void OnProviderEnableChanged(uint32_t control_code,
                                      uint8_t level,
                                      uint64_t match_any_keyword,
                                      uint64_t match_all_keyword);
  // Whether a session asks for the provider's one event.
  static bool IsProviderEventEnabled();
  // The display name of |phase|, such as "Begin" for 'B'.
  static std::string GetPhaseName(char phase);

  // Seams for tests, since a session cannot be watched here: the export's
  // switch, and the payload writer in place of "EventWrite" (null restores
  // it).
  void SetEnabledForTesting(bool enabled) { etw_export_enabled_ = enabled; }
  void SetCategoryStatusForTesting(StringPiece category, bool enabled) {
    SetCategoryStatus(category, enabled);
  }
  static void SetEventWriteFunctionForTesting(EventWriteFunction function);

 private:
  TraceEventETWExport();
  ~TraceEventETWExport();

  static void DestroyAtExit(void* unused);
  void SetCategoryStatus(StringPiece category, bool enabled);

  // Bytewise, then by length.
  struct CategoryLess {
    bool operator()(StringPiece a, StringPiece b) const;
  };

  bool etw_export_enabled_;
  std::map<StringPiece, bool, CategoryLess> categories_status_;
  uint64_t etw_match_any_keyword_;
  // Reserved for a thread that would follow keyword changes.
  std::unique_ptr<KeywordUpdateThread> keyword_update_thread_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_WIN_H_

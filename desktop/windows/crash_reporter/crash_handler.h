#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLER_H_

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>

#include <memory>

#include "base/strings/string16.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

class CrashPipeClient;

// Takes over the process's unhandled-exception filter and the runtime
// library's invalid-parameter and pure-call handlers, and on a crash asks
// the crash reporter, over its registered pipe client, to capture the
// process while the crashing thread waits. Handlers stack: the newest one
// answers first, and a crash inside a handler goes to the next older one.
// Without a registered pipe client a handler reports every crash as not
// captured, and the previous handlers decide.
class CrashHandler {
 public:
  // Whether to go on and request a dump.
  using FilterCallback = bool (*)(void* context,
                                  EXCEPTION_POINTERS* exception_pointers,
                                  AssertionRecord* assertion);
  // Told the outcome of a request; its answer becomes the result.
  using DumpCallback = bool (*)(const wchar_t* dump_folder,
                                const wchar_t* dump_id,
                                void* context,
                                EXCEPTION_POINTERS* exception_pointers,
                                AssertionRecord* assertion,
                                bool succeeded);

  // The handlers to take over, as bits.
  enum HandlerKinds {
    kHandleNone = 0,
    kHandleException = 1,
    kHandleInvalidParameter = 2,
    kHandlePureCall = 4,
    kHandleAll = 7,
  };

  CrashHandler(const base::string16& dump_folder,
               FilterCallback filter,
               DumpCallback dump_callback,
               void* callback_context,
               int handler_kinds,
               uint32_t dump_type,
               const base::string16& pipe_name,
               const CrashKeySet& crash_keys);
  // With an open client end of the crash pipe instead of its name.
  CrashHandler(const base::string16& dump_folder,
               FilterCallback filter,
               DumpCallback dump_callback,
               void* callback_context,
               int handler_kinds,
               uint32_t dump_type,
               HANDLE pipe,
               const CrashKeySet& crash_keys);
  CrashHandler(const CrashHandler&) = delete;
  CrashHandler& operator=(const CrashHandler&) = delete;
  // Gives the handlers back to those it replaced.
  ~CrashHandler();

  // Asks for a dump of the current thread's |exception_pointers|.
  bool WriteMinidumpForException(EXCEPTION_POINTERS* exception_pointers);

  // True when a reporter registered this process.
  bool IsOutOfProcess() const { return pipe_client_ != nullptr; }

  // Breakpoint and single-step exceptions are passed on unless this is set.
  void set_report_debug_exceptions(bool report) {
    report_debug_exceptions_ = report;
  }
  void set_swallow_invalid_handle_exceptions(bool swallow) {
    swallow_invalid_handle_exceptions_ = swallow;
  }

  // The entry points installed into the process and the runtime library.
  static LONG WINAPI HandleException(EXCEPTION_POINTERS* exception_pointers);
  static void __cdecl HandleInvalidParameter(const wchar_t* expression,
                                             const wchar_t* function,
                                             const wchar_t* file,
                                             unsigned int line,
                                             uintptr_t reserved);
  static void __cdecl HandlePureCall();

 private:
  class HandlerFrame;

  CrashHandler(const base::string16& dump_folder,
               FilterCallback filter,
               DumpCallback dump_callback,
               void* callback_context,
               int handler_kinds,
               std::unique_ptr<CrashPipeClient> pipe_client);

  // One handler of each kind.
  struct Handlers {
    LPTOP_LEVEL_EXCEPTION_FILTER filter;
    _invalid_parameter_handler invalid_parameter;
    _purecall_handler pure_call;
  };
  static const Handlers kEntryPoints;

  // Installs |handlers| of this handler's kinds; returns what they replaced.
  Handlers SetHandlers(const Handlers& handlers) const;
  // Requests the dump on the crashing thread, between the two callbacks.
  bool WriteDumpOnThisThread(EXCEPTION_POINTERS* exception_pointers,
                             AssertionRecord* assertion);
  // Reports a runtime-library error as a made-up exception.
  bool WriteDumpForAssertion(AssertionRecord* assertion, DWORD code);

  const base::string16 dump_folder_;
  const FilterCallback filter_;
  const DumpCallback dump_callback_;
  void* const callback_context_;
  const int handler_kinds_;
  std::unique_ptr<CrashPipeClient> pipe_client_;
  bool report_debug_exceptions_ = false;
  bool swallow_invalid_handle_exceptions_ = false;

  // What this handler replaced.
  Handlers previous_ = {};
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLER_H_

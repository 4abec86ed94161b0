#include "desktop/windows/crash_reporter/crash_handler.h"

#include <stdio.h>
#include <wchar.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/lazy_instance.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/crash_reporter/crash_pipe_client.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr DWORD kInvalidHandleCode = 0xC0000008;
constexpr DWORD kBreakpointCode = 0x80000003;
constexpr DWORD kSingleStepCode = 0x80000004;
constexpr DWORD kInvalidParameterCode = 0xC000000D;
constexpr DWORD kPureCallCode = 0xC0000025;

// A runtime-library error ends the process once reported; it did not end
// well, whatever the report achieved.
constexpr int kRuntimeErrorExitCode = 1;

using SetInvalidParameterHandlerFunction =
    _invalid_parameter_handler(__cdecl*)(_invalid_parameter_handler);
using SetPureCallHandlerFunction =
    _purecall_handler(__cdecl*)(_purecall_handler);
using InvalidParameterFunction = void(__cdecl*)(const wchar_t*,
                                                const wchar_t*,
                                                const wchar_t*,
                                                unsigned int,
                                                uintptr_t);

// The runtime library's handler setters and its own report, looked up in
// the library the process uses; any of them may be missing.
struct RuntimeLibrary {
  RuntimeLibrary() {
    const HMODULE msvcrt = ::GetModuleHandleW(L"msvcrt.dll");
    if (!msvcrt)
      return;
    set_invalid_parameter_handler = Lookup<SetInvalidParameterHandlerFunction>(
        msvcrt, "_set_invalid_parameter_handler");
    set_pure_call_handler =
        Lookup<SetPureCallHandlerFunction>(msvcrt, "_set_purecall_handler");
    invalid_parameter =
        Lookup<InvalidParameterFunction>(msvcrt, "_invalid_parameter");
  }

  template <typename Function>
  static Function Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(module, name)));
  }

  SetInvalidParameterHandlerFunction set_invalid_parameter_handler = nullptr;
  SetPureCallHandlerFunction set_pure_call_handler = nullptr;
  InvalidParameterFunction invalid_parameter = nullptr;
};

base::LazyInstance::Leaky<RuntimeLibrary> g_runtime_library;

// The handlers of the process, oldest first, and how deep the current
// crash has gone into them.
struct HandlerStack {
  base::Lock lock;
  std::vector<CrashHandler*>* handlers = nullptr;
  size_t depth = 0;
};

base::LazyInstance::Leaky<HandlerStack> g_handler_stack;

void CopyText(const wchar_t* text, wchar_t* field) {
  if (!text)
    return;
  const size_t length =
      std::min(wcslen(text), AssertionRecord::kTextLength - 1);
  wmemcpy(field, text, length);
  field[length] = L'\0';
}

// The runtime library's own report, which calls the installed handler:
// without one, so that it does not come back here. The process ends next.
void ReportToRuntimeLibrary(const wchar_t* expression,
                            const wchar_t* function,
                            const wchar_t* file,
                            unsigned int line,
                            uintptr_t reserved) {
  const RuntimeLibrary& runtime = g_runtime_library.Get();
  if (runtime.set_invalid_parameter_handler)
    runtime.set_invalid_parameter_handler(nullptr);
  runtime.invalid_parameter(expression, function, file, line, reserved);
}

}  // namespace

const CrashHandler::Handlers CrashHandler::kEntryPoints = {
    &CrashHandler::HandleException, &CrashHandler::HandleInvalidParameter,
    &CrashHandler::HandlePureCall};

// The frame of every entry point: serialises crashing threads and picks
// the handler for this depth. The entry points stay installed, so that a
// crash inside a handler comes back here one level deeper and reaches the
// next older handler, and a crash on another thread meanwhile waits here
// rather than passing the handlers by.
class CrashHandler::HandlerFrame {
 public:
  HandlerFrame() : stack_(g_handler_stack.Get()) {
    stack_.lock.Acquire();
    ++stack_.depth;
    const size_t size = stack_.handlers ? stack_.handlers->size() : 0;
    if (stack_.depth <= size)
      handler_ = (*stack_.handlers)[size - stack_.depth];
    else if (size > 0)
      predecessors_ = stack_.handlers->front()->previous_;
    if (handler_)
      predecessors_ = handler_->previous_;
  }
  HandlerFrame(const HandlerFrame&) = delete;
  HandlerFrame& operator=(const HandlerFrame&) = delete;
  ~HandlerFrame() {
    --stack_.depth;
    stack_.lock.Release();
  }

  // Null when every handler has had its turn.
  CrashHandler* handler() const { return handler_; }
  // What the crash goes to next: the handlers that this depth's handler
  // replaced, or those the oldest one replaced.
  const Handlers& predecessors() const { return predecessors_; }

 private:
  HandlerStack& stack_;
  CrashHandler* handler_ = nullptr;
  Handlers predecessors_ = {};
};

CrashHandler::CrashHandler(const base::string16& dump_folder,
                           FilterCallback filter,
                           DumpCallback dump_callback,
                           void* callback_context,
                           int handler_kinds,
                           uint32_t dump_type,
                           const base::string16& pipe_name,
                           const CrashKeySet& crash_keys)
    : CrashHandler(dump_folder,
                   filter,
                   dump_callback,
                   callback_context,
                   handler_kinds,
                   pipe_name.empty()
                       ? nullptr
                       : std::make_unique<CrashPipeClient>(pipe_name,
                                                           dump_type,
                                                           crash_keys)) {}

CrashHandler::CrashHandler(const base::string16& dump_folder,
                           FilterCallback filter,
                           DumpCallback dump_callback,
                           void* callback_context,
                           int handler_kinds,
                           uint32_t dump_type,
                           HANDLE pipe,
                           const CrashKeySet& crash_keys)
    : CrashHandler(
          dump_folder,
          filter,
          dump_callback,
          callback_context,
          handler_kinds,
          std::make_unique<CrashPipeClient>(pipe, dump_type, crash_keys)) {}

CrashHandler::CrashHandler(const base::string16& dump_folder,
                           FilterCallback filter,
                           DumpCallback dump_callback,
                           void* callback_context,
                           int handler_kinds,
                           std::unique_ptr<CrashPipeClient> pipe_client)
    : dump_folder_(dump_folder),
      filter_(filter),
      dump_callback_(dump_callback),
      callback_context_(callback_context),
      handler_kinds_(handler_kinds) {
  if (pipe_client && pipe_client->Register())
    pipe_client_ = std::move(pipe_client);
  if (handler_kinds_ == kHandleNone)
    return;
  HandlerStack& stack = g_handler_stack.Get();
  base::AutoLock lock(stack.lock);
  if (!stack.handlers)
    stack.handlers = new std::vector<CrashHandler*>();
  stack.handlers->push_back(this);
  previous_ = SetHandlers(kEntryPoints);
}

CrashHandler::~CrashHandler() {
  if (handler_kinds_ != kHandleNone) {
    HandlerStack& stack = g_handler_stack.Get();
    base::AutoLock lock(stack.lock);
    std::vector<CrashHandler*>& handlers = *stack.handlers;
    const auto position = std::find(handlers.begin(), handlers.end(), this);
    if (position + 1 == handlers.end()) {
      SetHandlers(previous_);
    } else {
      fprintf(stderr, "A crash handler was removed out of order.\n");
      // The newer handler replaced this one's entry points; it gives back
      // what this one replaced when its turn comes.
      (*(position + 1))->previous_ = previous_;
    }
    handlers.erase(position);
    if (handlers.empty()) {
      delete stack.handlers;
      stack.handlers = nullptr;
    }
  }
}

CrashHandler::Handlers CrashHandler::SetHandlers(
    const Handlers& handlers) const {
  const RuntimeLibrary& runtime = g_runtime_library.Get();
  Handlers replaced = {};
  if (handler_kinds_ & kHandleException)
    replaced.filter = ::SetUnhandledExceptionFilter(handlers.filter);
  if ((handler_kinds_ & kHandleInvalidParameter) &&
      runtime.set_invalid_parameter_handler) {
    replaced.invalid_parameter =
        runtime.set_invalid_parameter_handler(handlers.invalid_parameter);
  }
  if ((handler_kinds_ & kHandlePureCall) && runtime.set_pure_call_handler)
    replaced.pure_call = runtime.set_pure_call_handler(handlers.pure_call);
  return replaced;
}

bool CrashHandler::WriteMinidumpForException(
    EXCEPTION_POINTERS* exception_pointers) {
  // Without a reporter there is nobody to capture the process.
  if (!pipe_client_)
    return false;
  return WriteDumpOnThisThread(exception_pointers, nullptr);
}

bool CrashHandler::WriteDumpOnThisThread(EXCEPTION_POINTERS* exception_pointers,
                                         AssertionRecord* assertion) {
  if (filter_ && !filter_(callback_context_, exception_pointers, assertion))
    return false;
  const bool succeeded =
      pipe_client_ && pipe_client_->RequestDump(exception_pointers, assertion);
  if (!dump_callback_)
    return succeeded;
  // A reporter names its own files: the request carries no dump id.
  return dump_callback_(dump_folder_.c_str(), L"", callback_context_,
                        exception_pointers, assertion, succeeded);
}

bool CrashHandler::WriteDumpForAssertion(AssertionRecord* assertion,
                                         DWORD code) {
  CONTEXT context = {};
  ::RtlCaptureContext(&context);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = code;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  record.NumberParameters = 3;
  record.ExceptionInformation[0] =
      reinterpret_cast<ULONG_PTR>(assertion->expression);
  record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(assertion->file);
  record.ExceptionInformation[2] = assertion->line;
  EXCEPTION_POINTERS pointers = {&record, &context};
  return WriteDumpOnThisThread(&pointers, assertion);
}

// static
LONG WINAPI
CrashHandler::HandleException(EXCEPTION_POINTERS* exception_pointers) {
  HandlerFrame frame;
  CrashHandler* handler = frame.handler();
  const LPTOP_LEVEL_EXCEPTION_FILTER next = frame.predecessors().filter;
  if (!handler)
    return next ? next(exception_pointers) : EXCEPTION_CONTINUE_SEARCH;
  const DWORD code = exception_pointers->ExceptionRecord->ExceptionCode;
  if (code == kInvalidHandleCode && handler->swallow_invalid_handle_exceptions_)
    return EXCEPTION_CONTINUE_EXECUTION;
  const bool debug_exception =
      code == kBreakpointCode || code == kSingleStepCode;
  if (!(debug_exception && !handler->report_debug_exceptions_) &&
      handler->WriteDumpOnThisThread(exception_pointers, nullptr)) {
    return EXCEPTION_EXECUTE_HANDLER;
  }
  return next ? next(exception_pointers) : EXCEPTION_CONTINUE_SEARCH;
}

// static
void __cdecl CrashHandler::HandleInvalidParameter(const wchar_t* expression,
                                                  const wchar_t* function,
                                                  const wchar_t* file,
                                                  unsigned int line,
                                                  uintptr_t reserved) {
  {
    HandlerFrame frame;
    CrashHandler* handler = frame.handler();
    AssertionRecord assertion = {};
    CopyText(expression, assertion.expression);
    CopyText(function, assertion.function);
    CopyText(file, assertion.file);
    assertion.line = line;
    assertion.type = AssertionRecord::kInvalidParameter;
    if (!handler ||
        !handler->WriteDumpForAssertion(&assertion, kInvalidParameterCode)) {
      if (frame.predecessors().invalid_parameter) {
        frame.predecessors().invalid_parameter(expression, function, file, line,
                                               reserved);
      } else if (g_runtime_library.Get().invalid_parameter) {
        ReportToRuntimeLibrary(expression, function, file, line, reserved);
      }
    }
  }
  exit(kRuntimeErrorExitCode);
}

// static
void __cdecl CrashHandler::HandlePureCall() {
  {
    HandlerFrame frame;
    CrashHandler* handler = frame.handler();
    AssertionRecord assertion = {};
    assertion.type = AssertionRecord::kPureVirtualCall;
    if (!handler ||
        !handler->WriteDumpForAssertion(&assertion, kPureCallCode)) {
      // Without a predecessor the runtime library's own handling follows.
      if (!frame.predecessors().pure_call)
        return;
      frame.predecessors().pure_call();
    }
  }
  exit(kRuntimeErrorExitCode);
}

}  // namespace crash_reporter
}  // namespace vexlo

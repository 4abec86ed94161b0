#include "base/message_loop/message_pump_win.h"

#include <limits>

#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event.h"
#include "base/win/exception_filter_hook.h"

// The pump window's procedure runs behind a guard that does what an __except
// block around it would do: g++ has no __try, so the guard is a small
// assembly function whose unwind information names an exception handler.
// The handler offers each exception raised below the guard to the
// process-wide exception filter hook. When the hook handles it, the stack is
// unwound to the guard, which returns 0 from the window procedure; when it
// asks to continue execution, execution resumes where the exception was
// raised; otherwise, and without a hook, the search goes on to the frames
// above the guard.
extern "C" {

LRESULT CALLBACK BaseMessagePumpWindowProcedureGuard(HWND hwnd,
                                                     UINT message,
                                                     WPARAM wparam,
                                                     LPARAM lparam);
// Where the unwind to the guard lands: the guard's return of 0.
void BaseMessagePumpWindowProcedureHandled();

LRESULT CALLBACK BaseMessagePumpWindowProcedure(HWND hwnd,
                                                UINT message,
                                                WPARAM wparam,
                                                LPARAM lparam) {
  return base::MessagePumpForUI::WndProc(hwnd, message, wparam, lparam);
}

EXCEPTION_DISPOSITION BaseMessagePumpWindowProcedureFilter(
    EXCEPTION_RECORD* record,
    void* establisher_frame,
    CONTEXT* context,
    DISPATCHER_CONTEXT* dispatcher) {
  // Called again while frames are unwound; nothing to do then.
  if (record->ExceptionFlags & EXCEPTION_UNWIND)
    return ExceptionContinueSearch;
  EXCEPTION_POINTERS pointers = {record, context};
  const int32_t verdict = base::win::CallExceptionFilterHook(&pointers);
  if (verdict == EXCEPTION_CONTINUE_EXECUTION)
    return ExceptionContinueExecution;
  if (verdict != EXCEPTION_EXECUTE_HANDLER)
    return ExceptionContinueSearch;
  RtlUnwindEx(establisher_frame,
              reinterpret_cast<void*>(&BaseMessagePumpWindowProcedureHandled),
              record, nullptr, dispatcher->ContextRecord,
              dispatcher->HistoryTable);
  // RtlUnwindEx resumes at the landing point and does not come back.
  return ExceptionContinueSearch;
}

}  // extern "C"

// The guard: 32 bytes of argument home space plus 8 to keep the stack
// aligned; the four arguments pass through in their registers. The nop after
// the call keeps the return address out of the epilogue, where the unwinder
// would not look for the handler.
asm(R"(
  .text
  .p2align 4
  .globl BaseMessagePumpWindowProcedureGuard
  .def BaseMessagePumpWindowProcedureGuard; .scl 2; .type 32; .endef
  .seh_proc BaseMessagePumpWindowProcedureGuard
BaseMessagePumpWindowProcedureGuard:
  subq $40, %rsp
  .seh_stackalloc 40
  .seh_endprologue
  .seh_handler BaseMessagePumpWindowProcedureFilter, @except
  call BaseMessagePumpWindowProcedure
  nop
  addq $40, %rsp
  ret
  .globl BaseMessagePumpWindowProcedureHandled
BaseMessagePumpWindowProcedureHandled:
  xorl %eax, %eax
  addq $40, %rsp
  ret
  .seh_endproc
)");

namespace base {

namespace {

// Samples of the problem histogram.
enum MessageLoopProblem {
  kMessagePostFailed = 0,
  kCompletionPacketPostFailed = 1,
  kSetTimerFailed = 2,
};

void RecordProblem(MessageLoopProblem problem) {
  static HistogramBase* const histogram =
      LinearHistogram::FactoryGet("Tuvren.MessageLoopProblem", 1, 3, 4,
                                  HistogramBase::kReportedHistogramFlag);
  histogram->Add(problem);
}

// The trace argument type of an unsigned integer.
constexpr unsigned char kTraceValueTypeUnsigned = 2;

const unsigned char* BaseTraceCategory() {
  static const unsigned char* const category =
      trace_event::TraceLog::GetCategoryGroupEnabled("base");
  return category;
}

}  // namespace

// MessagePumpWin --------------------------------------------------------------

MessagePumpWin::MessagePumpWin() : state_(nullptr), have_work_(0) {}

MessagePumpWin::~MessagePumpWin() = default;

void MessagePumpWin::Run(Delegate* delegate) {
  RunWithDispatcher(delegate, nullptr);
}

void MessagePumpWin::Quit() {
  DCHECK(state_);
  state_->should_quit = true;
}

void MessagePumpWin::RunWithDispatcher(Delegate* delegate,
                                       MessagePumpDispatcher* dispatcher) {
  RunState state;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  state.should_quit = false;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;

  RunState* previous_state = state_;
  state_ = &state;
  DoRunLoop();
  state_ = previous_state;
}

int MessagePumpWin::GetCurrentDelay() const {
  if (delayed_work_time_.is_null())
    return -1;
  const int64_t delay =
      (delayed_work_time_ - TimeTicks::Now()).InMillisecondsRoundedUp();
  if (delay < 0)
    return 0;
  if (delay > std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  return static_cast<int>(delay);
}

bool MessagePumpWin::ClaimWakeUp() {
  return have_work_.exchange(1) == 0;
}

void MessagePumpWin::ReleaseWakeUp() {
  have_work_.exchange(0);
}

// MessagePumpForUI ------------------------------------------------------------

MessagePumpForUI::MessagePumpForUI()
    : instance_(nullptr), atom_(0), message_hwnd_(nullptr) {
  InitMessageWnd();
}

MessagePumpForUI::~MessagePumpForUI() {
  if (message_hwnd_)
    DestroyWindow(message_hwnd_);
  if (atom_)
    UnregisterClassW(MAKEINTATOM(atom_), instance_);
}

void MessagePumpForUI::ScheduleWork() {
  if (!ClaimWakeUp())
    return;
  if (PostMessageW(message_hwnd_, kMsgHaveWork, reinterpret_cast<WPARAM>(this),
                   0)) {
    return;
  }
  const DWORD error = GetLastError();
  // Let the next post try again.
  ReleaseWakeUp();
  LOG(ERROR) << "Posting the pump's wake-up message failed, error " << error;
  RecordProblem(kMessagePostFailed);
}

void MessagePumpForUI::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  delayed_work_time_ = delayed_work_time;
  RescheduleTimer();
}

// static
LRESULT CALLBACK MessagePumpForUI::WndProc(HWND hwnd,
                                           UINT message,
                                           WPARAM wparam,
                                           LPARAM lparam) {
  if (message == kMsgHaveWork || message == WM_TIMER) {
    auto* pump = reinterpret_cast<MessagePumpForUI*>(
        GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (pump && reinterpret_cast<WPARAM>(pump) == wparam) {
      if (message == kMsgHaveWork)
        pump->HandleWorkMessage();
      else
        pump->HandleTimerMessage();
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Without its window the pump could never be woken and its loop would hang
// with tasks queued, so each failure here is fatal.
void MessagePumpForUI::InitMessageWnd() {
  // The module that holds the window procedure, also when this code is
  // linked into a DLL.
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&BaseMessagePumpWindowProcedureGuard),
          &instance_)) {
    const DWORD error = GetLastError();
    LOG(FATAL) << "No module for the pump's window procedure, error " << error;
  }
  // A class of its own per pump, so that pumps on several threads never
  // share one.
  const string16 class_name =
      StringPrintfWide(L"Tuvren_MessagePumpWindow_%p", this);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &BaseMessagePumpWindowProcedureGuard;
  window_class.hInstance = instance_;
  window_class.lpszClassName = class_name.c_str();
  atom_ = RegisterClassExW(&window_class);
  if (!atom_) {
    const DWORD error = GetLastError();
    LOG(FATAL) << "Registering the pump's window class failed, error " << error;
  }
  message_hwnd_ = CreateWindowExW(0, MAKEINTATOM(atom_), nullptr, 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, instance_, nullptr);
  if (!message_hwnd_) {
    const DWORD error = GetLastError();
    LOG(FATAL) << "Creating the pump's window failed, error " << error;
  }
  SetWindowLongPtrW(message_hwnd_, GWLP_USERDATA,
                    reinterpret_cast<LONG_PTR>(this));
}

void MessagePumpForUI::DoRunLoop() {
  for (;;) {
    // Windows messages first, so that a steady stream of tasks cannot starve
    // input; a pass that only dispatched sent messages still counts as work.
    bool more_work_is_plausible = ProcessNextWindowsMessage();
    if (state_->should_quit)
      break;

    more_work_is_plausible |= state_->delegate->DoWork();
    if (state_->should_quit)
      break;

    more_work_is_plausible |=
        state_->delegate->DoDelayedWork(&delayed_work_time_);
    // Nothing delayed is left, so a timer still armed would only wake the
    // thread for nothing.
    if (more_work_is_plausible && delayed_work_time_.is_null())
      KillTimer(message_hwnd_, timer_id());
    if (state_->should_quit)
      break;

    if (more_work_is_plausible)
      continue;

    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit)
      break;

    if (more_work_is_plausible)
      continue;

    WaitForWork();
  }
}

void MessagePumpForUI::WaitForWork() {
  const int delay = GetCurrentDelay();
  const DWORD timeout = delay < 0 ? INFINITE : static_cast<DWORD>(delay);
  const DWORD result = MsgWaitForMultipleObjectsEx(
      0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result != WAIT_OBJECT_0)
    return;
  // A mouse message can be reported as queued while the peek does not
  // return it (it belongs to another window's capture, for instance); without
  // waiting for the next message here the pump would spin.
  const DWORD queue_status = GetQueueStatus(QS_MOUSE);
  MSG msg;
  if ((HIWORD(queue_status) & QS_MOUSE) &&
      !PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
    WaitMessage();
  }
}

void MessagePumpForUI::HandleWorkMessage() {
  // Dispatched by a native modal loop outside Run: the tasks wait for the
  // next Run, which finds them through DoWork; only allow a new wake-up.
  if (!state_) {
    ReleaseWakeUp();
    return;
  }
  // Inside Run, but dispatched by someone else's message loop (a modal
  // dialog, a menu): keep the work flowing from here.
  ProcessPumpReplacementMessage();
  if (state_->delegate->DoWork())
    ScheduleWork();
  state_->delegate->DoDelayedWork(&delayed_work_time_);
  RescheduleTimer();
}

void MessagePumpForUI::HandleTimerMessage() {
  KillTimer(message_hwnd_, timer_id());
  if (!state_)
    return;
  state_->delegate->DoDelayedWork(&delayed_work_time_);
  RescheduleTimer();
}

void MessagePumpForUI::RescheduleTimer() {
  if (delayed_work_time_.is_null())
    return;
  const int delay = GetCurrentDelay();
  if (delay == 0) {
    // Already due: a wake-up message beats the shortest timer.
    ScheduleWork();
    return;
  }
  // Windows raises shorter timers to USER_TIMER_MINIMUM (10 ms) anyway; the
  // run loop itself still runs the work when it falls due.
  const UINT elapse = delay < USER_TIMER_MINIMUM
                          ? static_cast<UINT>(USER_TIMER_MINIMUM)
                          : static_cast<UINT>(delay);
  if (!SetTimer(message_hwnd_, timer_id(), elapse, nullptr)) {
    const DWORD error = GetLastError();
    LOG(ERROR) << "Arming the pump's delayed-work timer failed, error "
               << error;
    RecordProblem(kSetTimerFailed);
  }
}

bool MessagePumpForUI::ProcessNextWindowsMessage() {
  // PeekMessage dispatches sent messages before it looks at posted ones;
  // when that was all it did, there may still be more to do.
  const DWORD queue_status = GetQueueStatus(QS_SENDMESSAGE);
  const bool sent_messages_in_queue =
      (HIWORD(queue_status) & QS_SENDMESSAGE) != 0;
  MSG msg;
  if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    return ProcessMessageHelper(msg);
  return sent_messages_in_queue;
}

bool MessagePumpForUI::ProcessMessageHelper(const MSG& msg) {
  const char* const arg_names[] = {"message"};
  const unsigned char arg_types[] = {kTraceValueTypeUnsigned};
  const unsigned long long arg_values[] = {msg.message};
  trace_event::ScopedCompleteEvent event(
      BaseTraceCategory(), "MessagePumpForUI::ProcessMessageHelper", 0,
      trace_event::TRACE_EVENT_FLAG_NONE, 1, arg_names, arg_types, arg_values);

  if (msg.message == WM_QUIT) {
    // Posted again, so that an enclosing loop, ours or a native one, ends
    // too.
    state_->should_quit = true;
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }

  // The wake-up does not need dispatching; it stands for the next message.
  if (msg.message == kMsgHaveWork && msg.hwnd == message_hwnd_)
    return ProcessPumpReplacementMessage();

  if (CallMsgFilterW(const_cast<MSG*>(&msg), kMessageFilterCode))
    return true;

  uint32_t action = MessagePumpDispatcher::kActionPerformDefault;
  if (state_->dispatcher)
    action = state_->dispatcher->Dispatch(msg);
  if (action & MessagePumpDispatcher::kActionQuitLoop)
    state_->should_quit = true;
  if (action & MessagePumpDispatcher::kActionPerformDefault) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

bool MessagePumpForUI::ProcessPumpReplacementMessage() {
  // The wake-up was taken in place of a real message, which would otherwise
  // wait a whole pass of tasks; take one now, of any kind.
  MSG msg;
  const bool have_message = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != 0;
  // From here a new wake-up may be posted.
  ReleaseWakeUp();
  if (!have_message)
    return false;
  // Handling the message may take long (a nested loop): make sure the tasks
  // are not held up meanwhile.
  ScheduleWork();
  return ProcessMessageHelper(msg);
}

// MessagePumpForIO ------------------------------------------------------------

MessagePumpForIO::MessagePumpForIO() {
  port_.Set(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  // Without its port the pump could never be woken.
  if (!port_.IsValid()) {
    const DWORD error = GetLastError();
    LOG(FATAL) << "Creating the pump's completion port failed, error " << error;
  }
}

MessagePumpForIO::~MessagePumpForIO() = default;

void MessagePumpForIO::ScheduleWork() {
  if (!ClaimWakeUp())
    return;
  // The pump's own address as key and OVERLAPPED marks the wake-up packet.
  if (PostQueuedCompletionStatus(port_.Get(), 0,
                                 reinterpret_cast<ULONG_PTR>(this),
                                 reinterpret_cast<OVERLAPPED*>(this))) {
    return;
  }
  const DWORD error = GetLastError();
  // Let the next post try again.
  ReleaseWakeUp();
  LOG(ERROR) << "Posting the pump's wake-up packet failed, error " << error;
  RecordProblem(kCompletionPacketPostFailed);
}

void MessagePumpForIO::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  // Only the run loop's own wait uses it; it is on this thread, so it sees
  // the new time before it waits again.
  delayed_work_time_ = delayed_work_time;
}

bool MessagePumpForIO::RegisterIOHandler(HANDLE file_handle,
                                         IOHandler* handler) {
  HANDLE port = CreateIoCompletionPort(file_handle, port_.Get(),
                                       reinterpret_cast<ULONG_PTR>(handler), 1);
  if (port == port_.Get())
    return true;
  const DWORD error = GetLastError();
  LOG(ERROR) << "Associating a handle with the pump's completion port "
             << "failed, error " << error;
  return false;
}

bool MessagePumpForIO::WaitForIOCompletion(DWORD timeout, IOHandler* filter) {
  IOItem item;
  // Kept items of other handlers must not stand in for a real wait.
  if (!MatchCompletedIOItem(filter, &item)) {
    if (!GetIOItem(timeout, &item))
      return false;
    if (ProcessInternalIOItem(item))
      return true;
  }

  if (item.has_valid_io_context && !item.context->handler) {
    // The handler has gone away and left the context to us.
    delete item.context;
    return true;
  }
  if (filter && item.handler != filter) {
    completed_io_.push_back(item);
    return true;
  }
  item.handler->OnIOCompleted(item.context, item.bytes_transfered, item.error);
  return true;
}

void MessagePumpForIO::DoRunLoop() {
  for (;;) {
    bool more_work_is_plausible = state_->delegate->DoWork();
    if (state_->should_quit)
      break;

    more_work_is_plausible |= WaitForIOCompletion(0, nullptr);
    if (state_->should_quit)
      break;

    more_work_is_plausible |=
        state_->delegate->DoDelayedWork(&delayed_work_time_);
    if (state_->should_quit)
      break;

    if (more_work_is_plausible)
      continue;

    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit)
      break;

    if (more_work_is_plausible)
      continue;

    WaitForWork();
  }
}

void MessagePumpForIO::WaitForWork() {
  const int delay = GetCurrentDelay();
  const DWORD timeout = delay < 0 ? INFINITE : static_cast<DWORD>(delay);
  WaitForIOCompletion(timeout, nullptr);
}

bool MessagePumpForIO::MatchCompletedIOItem(IOHandler* filter, IOItem* item) {
  for (auto it = completed_io_.begin(); it != completed_io_.end(); ++it) {
    if (!filter || it->handler == filter) {
      *item = *it;
      completed_io_.erase(it);
      return true;
    }
  }
  return false;
}

bool MessagePumpForIO::GetIOItem(DWORD timeout, IOItem* item) {
  *item = IOItem();
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  if (!GetQueuedCompletionStatus(port_.Get(), &item->bytes_transfered, &key,
                                 &overlapped, timeout)) {
    // Without an OVERLAPPED nothing was dequeued (a timeout, mostly).
    if (!overlapped)
      return false;
    // A failed operation is still delivered, with its error.
    item->error = GetLastError();
    item->bytes_transfered = 0;
  }
  // Bit 0 of the key marks a completion whose OVERLAPPED is no IOContext.
  item->handler =
      reinterpret_cast<IOHandler*>(key & ~static_cast<ULONG_PTR>(1));
  item->has_valid_io_context = (key & 1) == 0;
  item->context = reinterpret_cast<IOContext*>(overlapped);
  return true;
}

bool MessagePumpForIO::ProcessInternalIOItem(const IOItem& item) {
  if (reinterpret_cast<void*>(item.context) != this ||
      reinterpret_cast<void*>(item.handler) != this) {
    return false;
  }
  ReleaseWakeUp();
  return true;
}

}  // namespace base

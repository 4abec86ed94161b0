#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_

#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <list>

#include "base/message_loop/message_pump.h"
#include "base/message_loop/message_pump_dispatcher.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// What the window pump and the completion-port pump share: nested runs, the
// single outstanding wake-up, and the time of the next delayed work.
class MessagePumpWin : public MessagePump {
 public:
  MessagePumpWin();
  MessagePumpWin(const MessagePumpWin&) = delete;
  MessagePumpWin& operator=(const MessagePumpWin&) = delete;
  ~MessagePumpWin() override;

  // MessagePump:
  void Run(Delegate* delegate) override;
  void Quit() override;

 protected:
  // One per nested run, on the stack of the run that owns it.
  struct RunState {
    Delegate* delegate;
    // Sees every window message first when set (window pump only).
    MessagePumpDispatcher* dispatcher;
    bool should_quit;
    // 1 for the outermost run.
    int run_depth;
  };

  void RunWithDispatcher(Delegate* delegate, MessagePumpDispatcher* dispatcher);

  // Milliseconds until the delayed work is due, rounded up and cut to the
  // range of a Windows wait; 0 when it is already due, -1 when there is none.
  int GetCurrentDelay() const;

  // Claims the right to post the one wake-up allowed in flight: false when a
  // wake-up is already on its way.
  bool ClaimWakeUp();
  // Lets the next ScheduleWork post a wake-up again.
  void ReleaseWakeUp();

  TimeTicks delayed_work_time_;
  // The innermost run, null outside Run.
  RunState* state_;

 private:
  virtual void DoRunLoop() = 0;

  // 1 while a wake-up message or packet is in flight; changed only by
  // atomic exchange, since any thread may call ScheduleWork.
  std::atomic<int32_t> have_work_;
};

// The pump of UI loops: Windows messages of the thread, a message-only window
// that receives the wake-ups and the delayed-work timer, and the loop's work
// in between.
class MessagePumpForUI : public MessagePumpWin {
 public:
  // The message that wakes the pump; its wParam is the pump.
  static constexpr UINT kMsgHaveWork = WM_USER + 1;
  // The code handed to message-filter hooks for each message.
  static constexpr int kMessageFilterCode = 0x5001;

  MessagePumpForUI();
  ~MessagePumpForUI() override;

  using MessagePumpWin::RunWithDispatcher;

  // MessagePump:
  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  // The procedure of the pump window. The window class registers it behind
  // a guard that offers exceptions escaping it to the process-wide exception
  // filter hook. Wake-ups and timer ticks count only when their wParam names
  // the pump that owns |hwnd|: any process can post to the window.
  static LRESULT CALLBACK WndProc(HWND hwnd,
                                  UINT message,
                                  WPARAM wparam,
                                  LPARAM lparam);

 private:
  void InitMessageWnd();
  void DoRunLoop() override;
  void WaitForWork();
  void HandleWorkMessage();
  void HandleTimerMessage();
  void RescheduleTimer();
  bool ProcessNextWindowsMessage();
  bool ProcessMessageHelper(const MSG& msg);
  bool ProcessPumpReplacementMessage();
  // The id of the delayed-work timer on the pump window.
  UINT_PTR timer_id() const { return reinterpret_cast<UINT_PTR>(this); }

  HINSTANCE instance_;
  ATOM atom_;
  HWND message_hwnd_;
};

// The pump of IO loops: completion packets of one I/O completion port,
// dispatched to the handlers registered for the file handles, and the loop's
// work in between.
class MessagePumpForIO : public MessagePumpWin {
 public:
  struct IOContext;

  // Told on the pump's thread when an operation of a registered handle
  // completes.
  class IOHandler {
   public:
    virtual ~IOHandler() {}
    // |error| is 0 on success, else the Windows error of the operation.
    virtual void OnIOCompleted(IOContext* context,
                               DWORD bytes_transfered,
                               DWORD error) = 0;
  };

  // The caller's record for one overlapped operation, passed as its
  // OVERLAPPED. A context whose handler is cleared before the completion
  // arrives is deleted by the pump instead of delivered, so a context given
  // up that way must have been allocated with new.
  struct IOContext {
    OVERLAPPED overlapped;
    IOHandler* handler;
  };

  MessagePumpForIO();
  ~MessagePumpForIO() override;

  // MessagePump:
  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  // Associates |file_handle| with the pump's port; its completions go to
  // |handler|. Returns false (and logs why) when Windows refuses, for
  // instance for a handle that is no file or is tied to another port: no
  // completion of that handle would ever arrive.
  bool RegisterIOHandler(HANDLE file_handle, IOHandler* handler);

  // Waits at most |timeout| ms for one completion and handles it. With a
  // |filter|, completions of other handlers are kept, oldest first, for later
  // calls that accept them. Returns false when nothing arrived in time.
  bool WaitForIOCompletion(DWORD timeout, IOHandler* filter);

 private:
  struct IOItem {
    IOHandler* handler;
    // Not an IOContext when |has_valid_io_context| is false: passed on
    // unread.
    IOContext* context;
    DWORD bytes_transfered;
    DWORD error;
    bool has_valid_io_context;
  };

  void DoRunLoop() override;
  void WaitForWork();
  // Takes the oldest kept item that |filter| accepts (any, without filter).
  bool MatchCompletedIOItem(IOHandler* filter, IOItem* item);
  bool GetIOItem(DWORD timeout, IOItem* item);
  // Consumes the pump's own wake-up packet; false for every other item.
  bool ProcessInternalIOItem(const IOItem& item);

  win::ScopedHandle port_;
  std::list<IOItem> completed_io_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_

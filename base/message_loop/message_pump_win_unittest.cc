#include "base/message_loop/message_pump_win.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/strings/stringprintf.h"
#include "base/synchronization/waitable_event.h"
#include "base/win/exception_filter_hook.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Longest wait for a completion that a test has already caused: a bound so
// that a broken pump fails the test instead of hanging it.
constexpr DWORD kCompletionWaitMs = 10000;

// A small loop for the pumps to drive: ready tasks that any thread may post,
// and delayed tasks posted on the pump's thread.
class TestDelegate : public MessagePump::Delegate {
 public:
  using Task = std::function<void()>;

  explicit TestDelegate(MessagePump* pump) : pump_(pump) {}

  void PostTask(Task task) {
    {
      std::lock_guard<std::mutex> lock(lock_);
      tasks_.push_back(std::move(task));
    }
    pump_->ScheduleWork();
  }

  void PostDelayedTask(Task task, TimeTicks run_time) {
    delayed_tasks_.emplace(run_time, std::move(task));
    if (delayed_tasks_.begin()->first == run_time)
      pump_->ScheduleDelayedWork(run_time);
  }

  void set_quit_when_idle(bool quit) { quit_when_idle_ = quit; }
  void set_on_idle(Task on_idle) { on_idle_ = std::move(on_idle); }
  int do_work_calls() const { return do_work_calls_; }

  // MessagePump::Delegate:
  bool DoWork() override {
    ++do_work_calls_;
    Task task;
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (tasks_.empty())
        return false;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    return true;
  }

  bool DoDelayedWork(TimeTicks* next_delayed_work_time) override {
    if (delayed_tasks_.empty()) {
      *next_delayed_work_time = TimeTicks();
      return false;
    }
    auto first = delayed_tasks_.begin();
    if (first->first > TimeTicks::Now()) {
      *next_delayed_work_time = first->first;
      return false;
    }
    Task task = std::move(first->second);
    delayed_tasks_.erase(first);
    *next_delayed_work_time =
        delayed_tasks_.empty() ? TimeTicks() : delayed_tasks_.begin()->first;
    task();
    return true;
  }

  bool DoIdleWork() override {
    if (on_idle_)
      on_idle_();
    if (quit_when_idle_)
      pump_->Quit();
    return false;
  }

 private:
  MessagePump* const pump_;
  std::mutex lock_;
  std::deque<Task> tasks_;
  std::multimap<TimeTicks, Task> delayed_tasks_;
  Task on_idle_;
  bool quit_when_idle_ = false;
  int do_work_calls_ = 0;
};

// Removes the thread's queued messages numbered |message|; returns how many.
int RemoveQueuedMessages(UINT message) {
  int count = 0;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, message, message, PM_REMOVE))
    ++count;
  return count;
}

// Dispatches every message queued for the thread, as a native modal loop
// would; returns the numbers of the messages dispatched.
std::vector<UINT> DispatchQueuedMessages() {
  std::vector<UINT> dispatched;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    dispatched.push_back(msg.message);
    DispatchMessageW(&msg);
  }
  return dispatched;
}

HWND FindPumpWindow(const MessagePumpForUI& pump) {
  const string16 class_name =
      StringPrintfWide(L"Tuvren_MessagePumpWindow_%p", &pump);
  return FindWindowExW(HWND_MESSAGE, nullptr, class_name.c_str(), nullptr);
}

// A message-only window that records the messages its procedure receives.
class RecordingWindow {
 public:
  RecordingWindow() {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &RecordingWindow::WndProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"MessagePumpWinTestRecordingWindow";
    atom_ = RegisterClassExW(&window_class);
    hwnd_ = CreateWindowExW(0, MAKEINTATOM(atom_), nullptr, 0, 0, 0, 0, 0,
                            HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~RecordingWindow() {
    DestroyWindow(hwnd_);
    UnregisterClassW(MAKEINTATOM(atom_), GetModuleHandleW(nullptr));
  }

  HWND hwnd() const { return hwnd_; }
  const std::vector<UINT>& received() const { return received_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd,
                                  UINT message,
                                  WPARAM wparam,
                                  LPARAM lparam) {
    auto* self = reinterpret_cast<RecordingWindow*>(
        GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message >= WM_APP)
      self->received_.push_back(message);
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  ATOM atom_;
  HWND hwnd_;
  std::vector<UINT> received_;
};

class RecordingDispatcher : public MessagePumpDispatcher {
 public:
  uint32_t Dispatch(const MSG& message) override {
    seen_.push_back(message.message);
    if (message.message == WM_APP + 1)
      return kActionNone;
    if (message.message == WM_APP + 3)
      return kActionQuitLoop | kActionPerformDefault;
    return kActionPerformDefault;
  }

  const std::vector<UINT>& seen() const { return seen_; }

 private:
  std::vector<UINT> seen_;
};

TEST(MessagePumpForUITest, WakesForTasksPostedFromOtherThreads) {
  MessagePumpForUI pump;
  TestDelegate delegate(&pump);
  // Each batch is posted once the pump has gone idle, so that the pump has
  // to be woken from its wait for it.
  WaitableEvent idle(false, false);
  delegate.set_on_idle([&] { idle.Signal(); });
  constexpr int kBatches = 10;
  constexpr int kTasksPerBatch = 20;
  std::vector<int> ran;
  std::thread poster([&] {
    for (int batch = 0; batch < kBatches; ++batch) {
      idle.Wait();
      for (int i = 0; i < kTasksPerBatch; ++i) {
        const int number = batch * kTasksPerBatch + i;
        delegate.PostTask([&, number] {
          ran.push_back(number);
          if (number == kBatches * kTasksPerBatch - 1)
            pump.Quit();
        });
      }
    }
  });
  pump.Run(&delegate);
  poster.join();

  ASSERT_EQ(static_cast<size_t>(kBatches * kTasksPerBatch), ran.size());
  for (int i = 0; i < kBatches * kTasksPerBatch; ++i)
    EXPECT_EQ(i, ran[i]);
}

TEST(MessagePumpForUITest, OneWakeUpMessageInFlight) {
  MessagePumpForUI pump;
  TestDelegate delegate(&pump);

  // Many wake-up requests from several threads before the pump runs leave
  // exactly one message in the queue.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i)
        pump.ScheduleWork();
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, MessagePumpForUI::kMsgHaveWork,
                           MessagePumpForUI::kMsgHaveWork, PM_NOREMOVE));
  EXPECT_EQ(FindPumpWindow(pump), msg.hwnd);

  // A native loop that dispatches the wake-up outside Run runs no work, but
  // lets the next request post again.
  bool ran = false;
  delegate.PostTask([&] { ran = true; });
  std::vector<UINT> dispatched = DispatchQueuedMessages();
  EXPECT_EQ(1, std::count(dispatched.begin(), dispatched.end(),
                          MessagePumpForUI::kMsgHaveWork));
  EXPECT_EQ(0, delegate.do_work_calls());
  EXPECT_FALSE(ran);
  pump.ScheduleWork();
  pump.ScheduleWork();
  EXPECT_EQ(1, RemoveQueuedMessages(MessagePumpForUI::kMsgHaveWork));

  // Nothing is queued now and no wake-up may be posted (the one in flight
  // was removed above): the next Run still finds the task, since every pass
  // asks the loop for work.
  delegate.set_quit_when_idle(true);
  pump.Run(&delegate);
  EXPECT_TRUE(ran);
}

TEST(MessagePumpForUITest, DelayedWorkRunsWhenDue) {
  MessagePumpForUI pump;
  TestDelegate delegate(&pump);
  std::vector<int> order;
  TimeTicks ran_at[3];
  const TimeTicks start = TimeTicks::Now();
  const TimeTicks due[3] = {start + TimeDelta::FromMilliseconds(30),
                            start + TimeDelta::FromMilliseconds(3),
                            start + TimeDelta::FromMilliseconds(60)};
  delegate.PostTask([&] {
    for (int i = 0; i < 3; ++i) {
      delegate.PostDelayedTask(
          [&, i] {
            ran_at[i] = TimeTicks::Now();
            order.push_back(i);
            if (order.size() == 3)
              pump.Quit();
          },
          due[i]);
    }
  });
  pump.Run(&delegate);

  EXPECT_EQ((std::vector<int>{1, 0, 2}), order);
  for (int i = 0; i < 3; ++i)
    EXPECT_GE(ran_at[i], due[i]) << i;
}

TEST(MessagePumpForUITest, DelayedWorkAlreadyDuePostsWakeUpInsteadOfTimer) {
  MessagePumpForUI pump;
  pump.ScheduleDelayedWork(TimeTicks::Now() - TimeDelta::FromMilliseconds(1));
  EXPECT_EQ(1, RemoveQueuedMessages(MessagePumpForUI::kMsgHaveWork));
}

TEST(MessagePumpForUITest, TimerDrivesDelayedWorkInsideNativeLoop) {
  MessagePumpForUI pump;
  TestDelegate delegate(&pump);
  bool in_native_loop = false;
  bool delayed_ran = false;
  bool ran_inside_native_loop = false;
  std::vector<UINT> dispatched;
  delegate.PostTask([&] {
    delegate.PostDelayedTask(
        [&] {
          delayed_ran = true;
          ran_inside_native_loop = in_native_loop;
        },
        TimeTicks::Now() + TimeDelta::FromMilliseconds(20));
    // A native modal loop inside a task: only the pump window's timer can
    // bring the delayed work in now.
    in_native_loop = true;
    MSG msg;
    while (!delayed_ran && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      dispatched.push_back(msg.message);
      DispatchMessageW(&msg);
    }
    in_native_loop = false;
    pump.Quit();
  });
  pump.Run(&delegate);

  EXPECT_TRUE(delayed_ran);
  EXPECT_TRUE(ran_inside_native_loop);
  EXPECT_NE(dispatched.end(), std::find(dispatched.begin(), dispatched.end(),
                                        static_cast<UINT>(WM_TIMER)));
}

TEST(MessagePumpForUITest, QuitMessageEndsNestedRunsAndIsPostedAgain) {
  MessagePumpForUI pump;
  TestDelegate delegate(&pump);
  std::vector<std::string> events;
  delegate.PostTask([&] {
    events.push_back("outer task");
    delegate.PostTask([&] {
      events.push_back("inner task");
      PostQuitMessage(42);
    });
    pump.Run(&delegate);
    events.push_back("nested run returned");
  });
  pump.Run(&delegate);
  events.push_back("outer run returned");

  EXPECT_EQ(
      (std::vector<std::string>{"outer task", "inner task",
                                "nested run returned", "outer run returned"}),
      events);
  // Each run that took the quit message posted it again, so that a native
  // loop around this one would end as well.
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(42u, msg.wParam);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(MessagePumpForUITest, DispatcherDecidesForEachMessage) {
  MessagePumpForUI pump;
  TestDelegate delegate(&pump);
  RecordingWindow window;
  RecordingDispatcher dispatcher;
  bool task_ran = false;
  // A task makes the pump post its own wake-up, which the dispatcher must
  // not see.
  delegate.PostTask([&] { task_ran = true; });
  PostMessageW(window.hwnd(), WM_APP + 1, 0, 0);  // consumed by the dispatcher
  PostMessageW(window.hwnd(), WM_APP + 2, 0, 0);  // dispatched as usual
  PostMessageW(window.hwnd(), WM_APP + 3, 0, 0);  // dispatched, then quit
  pump.RunWithDispatcher(&delegate, &dispatcher);

  EXPECT_TRUE(task_ran);
  EXPECT_EQ((std::vector<UINT>{WM_APP + 1, WM_APP + 2, WM_APP + 3}),
            dispatcher.seen());
  EXPECT_EQ((std::vector<UINT>{WM_APP + 2, WM_APP + 3}), window.received());
}

std::vector<UINT>* g_filtered_messages = nullptr;

LRESULT CALLBACK ConsumeAppMessages(int code, WPARAM wparam, LPARAM lparam) {
  auto* msg = reinterpret_cast<MSG*>(lparam);
  if (code == MessagePumpForUI::kMessageFilterCode &&
      msg->message == WM_APP + 5) {
    g_filtered_messages->push_back(msg->message);
    return 1;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST(MessagePumpForUITest, MessageFilterHookCanConsumeMessages) {
  MessagePumpForUI pump;
  TestDelegate delegate(&pump);
  RecordingWindow window;
  std::vector<UINT> filtered;
  g_filtered_messages = &filtered;
  HHOOK hook = SetWindowsHookExW(WH_MSGFILTER, &ConsumeAppMessages, nullptr,
                                 GetCurrentThreadId());
  ASSERT_NE(nullptr, hook);
  PostMessageW(window.hwnd(), WM_APP + 5, 0, 0);
  PostMessageW(window.hwnd(), WM_APP + 6, 0, 0);
  delegate.set_quit_when_idle(true);
  pump.Run(&delegate);
  UnhookWindowsHookEx(hook);
  g_filtered_messages = nullptr;

  EXPECT_EQ((std::vector<UINT>{WM_APP + 5}), filtered);
  EXPECT_EQ((std::vector<UINT>{WM_APP + 6}), window.received());
}

TEST(MessagePumpForUITest, WakeUpsAndTimerTicksOfStrangersAreIgnored) {
  auto pump = std::make_unique<MessagePumpForUI>();
  TestDelegate delegate(pump.get());
  HWND hwnd = FindPumpWindow(*pump);
  ASSERT_NE(nullptr, hwnd);
  // Any process may post to the window; a wParam that is not the pump must
  // not be taken for one.
  bool ran = false;
  delegate.PostTask([&] {
    PostMessageW(hwnd, MessagePumpForUI::kMsgHaveWork, 0x1234, 0);
    PostMessageW(hwnd, WM_TIMER, 0x5678, 0);
    SendMessageW(hwnd, MessagePumpForUI::kMsgHaveWork, 0x9abc, 0);
    ran = true;
  });
  delegate.set_quit_when_idle(true);
  pump->Run(&delegate);
  EXPECT_TRUE(ran);
  PostMessageW(hwnd, WM_TIMER, 0x5678, 0);
  DispatchQueuedMessages();

  // The window goes with its pump, and so does its class.
  pump.reset();
  EXPECT_FALSE(IsWindow(hwnd));
}

constexpr DWORD kWindowProcedureException = 0xE0000042;

// Raises an exception inside the pump window's procedure: a task runs a
// native loop, which dispatches the pump's wake-up to the window procedure,
// which runs the next task, which raises. Returns whether the native loop
// came back.
bool RaiseInsidePumpWindowProcedure() {
  MessagePumpForUI pump;
  TestDelegate delegate(&pump);
  bool raised = false;
  bool native_loop_returned = false;
  delegate.PostTask([&] {
    delegate.PostTask([&] {
      raised = true;
      RaiseException(kWindowProcedureException, 0, 0, nullptr);
    });
    MSG msg;
    while (!raised && GetMessageW(&msg, nullptr, 0, 0) > 0)
      DispatchMessageW(&msg);
    native_loop_returned = true;
    pump.Quit();
  });
  pump.Run(&delegate);
  return native_loop_returned;
}

DWORD g_hooked_exception = 0;
int g_hook_calls = 0;

int32_t HandleInWindowProcedure(EXCEPTION_POINTERS* info) {
  ++g_hook_calls;
  g_hooked_exception = info->ExceptionRecord->ExceptionCode;
  return EXCEPTION_EXECUTE_HANDLER;
}

int32_t ContinueSearch(EXCEPTION_POINTERS* info) {
  ++g_hook_calls;
  g_hooked_exception = info->ExceptionRecord->ExceptionCode;
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(MessagePumpForUITest, ExceptionInWindowProcedureGoesToHook) {
  g_hook_calls = 0;
  g_hooked_exception = 0;
  win::ExceptionFilterHook previous =
      win::SetExceptionFilterHook(&HandleInWindowProcedure);
  const bool returned = RaiseInsidePumpWindowProcedure();
  win::SetExceptionFilterHook(previous);

  // The hook handled it: the window procedure returned 0 and the native
  // loop and the pump went on.
  EXPECT_TRUE(returned);
  EXPECT_EQ(1, g_hook_calls);
  EXPECT_EQ(kWindowProcedureException, g_hooked_exception);
}

TEST(MessagePumpForUIDeathTest, ExceptionNotHandledByHookGoesOn) {
  // Without a hook, or with one that declines, the exception is not
  // swallowed by the pump window: it ends the process.
  EXPECT_EXIT(
      {
        win::SetExceptionFilterHook(nullptr);
        RaiseInsidePumpWindowProcedure();
      },
      testing::ExitedWithCode(static_cast<int>(kWindowProcedureException)), "");
  EXPECT_EXIT(
      {
        win::SetExceptionFilterHook(&ContinueSearch);
        RaiseInsidePumpWindowProcedure();
      },
      testing::ExitedWithCode(static_cast<int>(kWindowProcedureException)), "");
}

// Completion-port pump
// ---------------------------------------------------------

struct Completion {
  MessagePumpForIO::IOContext* context;
  DWORD bytes;
  DWORD error;
};

class RecordingIOHandler : public MessagePumpForIO::IOHandler {
 public:
  void OnIOCompleted(MessagePumpForIO::IOContext* context,
                     DWORD bytes_transfered,
                     DWORD error) override {
    completions_.push_back({context, bytes_transfered, error});
    if (on_completion_)
      on_completion_();
  }

  void set_on_completion(std::function<void()> callback) {
    on_completion_ = std::move(callback);
  }
  const std::vector<Completion>& completions() const { return completions_; }

 private:
  std::vector<Completion> completions_;
  std::function<void()> on_completion_;
};

// A named pipe: an overlapped server end for the pump and a plain client end
// that the test writes to.
class TestPipe {
 public:
  TestPipe() {
    static int counter = 0;
    const string16 name =
        StringPrintfWide(L"\\\\.\\pipe\\message_pump_win_test.%lu.%d",
                         GetCurrentProcessId(), ++counter);
    server_.Set(CreateNamedPipeW(name.c_str(),
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                                     FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE, 1, 4096,
                                 4096, 0, nullptr));
    client_.Set(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, 0, nullptr));
  }

  bool IsValid() const { return server_.IsValid() && client_.IsValid(); }
  HANDLE server() const { return server_.Get(); }

  // Starts an overlapped read of the server end with a new context for
  // |handler|; the pump delivers (or frees) the context.
  MessagePumpForIO::IOContext* StartRead(MessagePumpForIO::IOHandler* handler) {
    auto* context = new MessagePumpForIO::IOContext();
    context->handler = handler;
    if (!ReadFile(server_.Get(), buffer_, sizeof(buffer_), nullptr,
                  &context->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      delete context;
      return nullptr;
    }
    return context;
  }

  bool Write(const char* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(client_.Get(), data, size, &written, nullptr) &&
           written == size;
  }

 private:
  win::ScopedHandle server_;
  win::ScopedHandle client_;
  char buffer_[64];
};

// Deletes the contexts that a test got back through its handlers.
void DeleteContexts(const RecordingIOHandler& handler) {
  for (const Completion& completion : handler.completions())
    delete completion.context;
}

TEST(MessagePumpForIOTest, DeliversEachCompletionToItsHandler) {
  MessagePumpForIO pump;
  TestPipe pipe_a, pipe_b;
  ASSERT_TRUE(pipe_a.IsValid() && pipe_b.IsValid());
  RecordingIOHandler handler_a, handler_b;
  ASSERT_TRUE(pump.RegisterIOHandler(pipe_a.server(), &handler_a));
  ASSERT_TRUE(pump.RegisterIOHandler(pipe_b.server(), &handler_b));
  MessagePumpForIO::IOContext* context_a = pipe_a.StartRead(&handler_a);
  MessagePumpForIO::IOContext* context_b = pipe_b.StartRead(&handler_b);
  ASSERT_TRUE(context_a && context_b);

  ASSERT_TRUE(pipe_b.Write("bbbb", 4));
  ASSERT_TRUE(pipe_a.Write("aa", 2));
  EXPECT_TRUE(pump.WaitForIOCompletion(kCompletionWaitMs, nullptr));
  EXPECT_TRUE(pump.WaitForIOCompletion(kCompletionWaitMs, nullptr));
  EXPECT_FALSE(pump.WaitForIOCompletion(0, nullptr));

  ASSERT_EQ(1u, handler_a.completions().size());
  EXPECT_EQ(context_a, handler_a.completions()[0].context);
  EXPECT_EQ(2u, handler_a.completions()[0].bytes);
  EXPECT_EQ(0u, handler_a.completions()[0].error);
  ASSERT_EQ(1u, handler_b.completions().size());
  EXPECT_EQ(context_b, handler_b.completions()[0].context);
  EXPECT_EQ(4u, handler_b.completions()[0].bytes);
  EXPECT_EQ(0u, handler_b.completions()[0].error);
  DeleteContexts(handler_a);
  DeleteContexts(handler_b);
}

TEST(MessagePumpForIOTest, FailedOperationIsDeliveredWithItsError) {
  MessagePumpForIO pump;
  TestPipe pipe;
  ASSERT_TRUE(pipe.IsValid());
  RecordingIOHandler handler;
  ASSERT_TRUE(pump.RegisterIOHandler(pipe.server(), &handler));
  MessagePumpForIO::IOContext* context = pipe.StartRead(&handler);
  ASSERT_TRUE(context);
  ASSERT_TRUE(CancelIoEx(pipe.server(), &context->overlapped));

  EXPECT_TRUE(pump.WaitForIOCompletion(kCompletionWaitMs, nullptr));
  ASSERT_EQ(1u, handler.completions().size());
  EXPECT_EQ(context, handler.completions()[0].context);
  EXPECT_EQ(0u, handler.completions()[0].bytes);
  EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED),
            handler.completions()[0].error);
  DeleteContexts(handler);
}

TEST(MessagePumpForIOTest, FilterKeepsOtherCompletionsOldestFirst) {
  MessagePumpForIO pump;
  TestPipe pipe_a1, pipe_a2, pipe_b;
  ASSERT_TRUE(pipe_a1.IsValid() && pipe_a2.IsValid() && pipe_b.IsValid());
  RecordingIOHandler handler_a, handler_b;
  ASSERT_TRUE(pump.RegisterIOHandler(pipe_a1.server(), &handler_a));
  ASSERT_TRUE(pump.RegisterIOHandler(pipe_a2.server(), &handler_a));
  ASSERT_TRUE(pump.RegisterIOHandler(pipe_b.server(), &handler_b));
  MessagePumpForIO::IOContext* context_a1 = pipe_a1.StartRead(&handler_a);
  MessagePumpForIO::IOContext* context_a2 = pipe_a2.StartRead(&handler_a);
  MessagePumpForIO::IOContext* context_b = pipe_b.StartRead(&handler_b);
  ASSERT_TRUE(context_a1 && context_a2 && context_b);
  ASSERT_TRUE(pipe_a1.Write("1", 1));
  ASSERT_TRUE(pipe_a2.Write("22", 2));
  ASSERT_TRUE(pipe_b.Write("333", 3));

  // Waiting for B sets aside what A gets meanwhile.
  for (int i = 0; i < 3 && handler_b.completions().empty(); ++i)
    ASSERT_TRUE(pump.WaitForIOCompletion(kCompletionWaitMs, &handler_b));
  ASSERT_EQ(1u, handler_b.completions().size());
  EXPECT_EQ(context_b, handler_b.completions()[0].context);
  EXPECT_TRUE(handler_a.completions().empty());

  // A later wait that accepts A gets them back, oldest first, and without
  // touching the port; a wait without filter takes kept items too.
  EXPECT_TRUE(pump.WaitForIOCompletion(0, &handler_a));
  EXPECT_TRUE(pump.WaitForIOCompletion(0, nullptr));
  EXPECT_FALSE(pump.WaitForIOCompletion(0, &handler_a));
  ASSERT_EQ(2u, handler_a.completions().size());
  EXPECT_EQ(context_a1, handler_a.completions()[0].context);
  EXPECT_EQ(1u, handler_a.completions()[0].bytes);
  EXPECT_EQ(context_a2, handler_a.completions()[1].context);
  EXPECT_EQ(2u, handler_a.completions()[1].bytes);
  DeleteContexts(handler_a);
  DeleteContexts(handler_b);
}

TEST(MessagePumpForIOTest, KeptCompletionsOfOthersDoNotReplaceARealWait) {
  MessagePumpForIO pump;
  TestPipe pipe_a, pipe_b;
  ASSERT_TRUE(pipe_a.IsValid() && pipe_b.IsValid());
  RecordingIOHandler handler_a, handler_b;
  ASSERT_TRUE(pump.RegisterIOHandler(pipe_a.server(), &handler_a));
  ASSERT_TRUE(pump.RegisterIOHandler(pipe_b.server(), &handler_b));
  MessagePumpForIO::IOContext* context_a = pipe_a.StartRead(&handler_a);
  MessagePumpForIO::IOContext* context_b = pipe_b.StartRead(&handler_b);
  ASSERT_TRUE(context_a && context_b);
  ASSERT_TRUE(pipe_a.Write("a", 1));
  ASSERT_TRUE(pump.WaitForIOCompletion(kCompletionWaitMs, &handler_b));
  ASSERT_TRUE(handler_a.completions().empty());  // kept

  // Nothing for B yet: the wait really waits (here: not at all) and says
  // that nothing came, with A's completion still kept.
  EXPECT_FALSE(pump.WaitForIOCompletion(0, &handler_b));
  EXPECT_TRUE(handler_b.completions().empty());

  // B's completion arrives on another thread while the wait is on.
  std::thread writer([&] {
    Sleep(20);
    pipe_b.Write("bb", 2);
  });
  EXPECT_TRUE(pump.WaitForIOCompletion(kCompletionWaitMs, &handler_b));
  writer.join();
  ASSERT_EQ(1u, handler_b.completions().size());
  EXPECT_EQ(context_b, handler_b.completions()[0].context);
  EXPECT_EQ(2u, handler_b.completions()[0].bytes);
  EXPECT_TRUE(handler_a.completions().empty());

  EXPECT_TRUE(pump.WaitForIOCompletion(0, &handler_a));
  ASSERT_EQ(1u, handler_a.completions().size());
  EXPECT_EQ(context_a, handler_a.completions()[0].context);
  DeleteContexts(handler_a);
  DeleteContexts(handler_b);
}

TEST(MessagePumpForIOTest, ContextWithoutHandlerIsNotDelivered) {
  MessagePumpForIO pump;
  TestPipe pipe;
  ASSERT_TRUE(pipe.IsValid());
  RecordingIOHandler handler;
  ASSERT_TRUE(pump.RegisterIOHandler(pipe.server(), &handler));
  MessagePumpForIO::IOContext* abandoned = pipe.StartRead(&handler);
  ASSERT_TRUE(abandoned);
  // The handler gives the operation up; the pump frees the context.
  abandoned->handler = nullptr;
  ASSERT_TRUE(pipe.Write("x", 1));
  EXPECT_TRUE(pump.WaitForIOCompletion(kCompletionWaitMs, &handler));
  EXPECT_TRUE(handler.completions().empty());
  EXPECT_FALSE(pump.WaitForIOCompletion(0, nullptr));
}

TEST(MessagePumpForIOTest, RegisterIOHandlerReportsRefusals) {
  MessagePumpForIO pump, other_pump;
  RecordingIOHandler handler;

  // Not a file: no completion would ever come.
  win::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.IsValid());
  EXPECT_FALSE(pump.RegisterIOHandler(event.Get(), &handler));
  EXPECT_FALSE(pump.RegisterIOHandler(nullptr, &handler));

  // A handle belongs to one port only.
  TestPipe pipe;
  ASSERT_TRUE(pipe.IsValid());
  ASSERT_TRUE(other_pump.RegisterIOHandler(pipe.server(), &handler));
  EXPECT_FALSE(pump.RegisterIOHandler(pipe.server(), &handler));
}

TEST(MessagePumpForIOTest, OneWakeUpPacketInFlight) {
  MessagePumpForIO pump;
  RecordingIOHandler handler;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i)
        pump.ScheduleWork();
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  // One packet, consumed by the pump itself even under a filter; the next
  // request posts again.
  EXPECT_TRUE(pump.WaitForIOCompletion(0, &handler));
  EXPECT_FALSE(pump.WaitForIOCompletion(0, nullptr));
  EXPECT_TRUE(handler.completions().empty());
  pump.ScheduleWork();
  pump.ScheduleWork();
  EXPECT_TRUE(pump.WaitForIOCompletion(0, nullptr));
  EXPECT_FALSE(pump.WaitForIOCompletion(0, nullptr));
}

TEST(MessagePumpForIOTest, RunInterleavesTasksCompletionsAndDelayedWork) {
  MessagePumpForIO pump;
  TestDelegate delegate(&pump);
  TestPipe pipe;
  ASSERT_TRUE(pipe.IsValid());
  RecordingIOHandler handler;
  ASSERT_TRUE(pump.RegisterIOHandler(pipe.server(), &handler));
  ASSERT_TRUE(pipe.StartRead(&handler));

  std::vector<std::string> events;
  std::thread writer;
  std::thread other;
  const TimeTicks due = TimeTicks::Now() + TimeDelta::FromMilliseconds(15);
  TimeTicks delayed_ran_at;
  handler.set_on_completion([&] {
    events.push_back("completion");
    // From the completion, wait for a task that another thread posts.
    other = std::thread([&] {
      delegate.PostTask([&] {
        events.push_back("task from other thread");
        delegate.PostDelayedTask(
            [&] {
              delayed_ran_at = TimeTicks::Now();
              events.push_back("delayed task");
              pump.Quit();
            },
            due);
      });
    });
  });
  delegate.PostTask([&] {
    events.push_back("first task");
    // The pump sleeps on its port until this write completes.
    writer = std::thread([&] { pipe.Write("io", 2); });
  });
  pump.Run(&delegate);
  writer.join();
  other.join();

  EXPECT_EQ(
      (std::vector<std::string>{"first task", "completion",
                                "task from other thread", "delayed task"}),
      events);
  EXPECT_GE(delayed_ran_at, due);
  ASSERT_EQ(1u, handler.completions().size());
  EXPECT_EQ(2u, handler.completions()[0].bytes);
  DeleteContexts(handler);
}

TEST(MessagePumpForIOTest, QuitEndsOnlyTheInnermostRun) {
  MessagePumpForIO pump;
  TestDelegate delegate(&pump);
  std::vector<std::string> events;
  delegate.PostTask([&] {
    delegate.PostTask([&] {
      events.push_back("inner quits");
      pump.Quit();
    });
    pump.Run(&delegate);
    events.push_back("nested run returned");
    delegate.PostTask([&] {
      events.push_back("outer goes on");
      pump.Quit();
    });
  });
  pump.Run(&delegate);

  EXPECT_EQ((std::vector<std::string>{"inner quits", "nested run returned",
                                      "outer goes on"}),
            events);
}

}  // namespace
}  // namespace base

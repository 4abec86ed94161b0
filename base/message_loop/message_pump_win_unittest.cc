#include "base/message_loop/message_pump_win.h"

#include <windows.h>

#include <memory>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/stringprintf.h"
#include "base/test/closure_from_function.h"
#include "base/test/task_test_util.h"
#include "base/win/exception_filter_hook.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::ClosureFromFunction;
using IOContext = MessagePumpForIO::IOContext;

// The longest wait for something that a test has already caused.
constexpr DWORD kWaitMs = 10000;
constexpr UINT kHaveWork = MessagePumpForUI::kMsgHaveWork;

#define HERE LOCATION_FROM_HERE("base::MessagePumpWinTest")

// Has one task, which Run finds through DoWork; quits the pump when idle.
class OneTaskDelegate : public MessagePump::Delegate {
 public:
  explicit OneTaskDelegate(MessagePump* pump) : pump_(pump) {}
  bool DoWork() override {
    const bool had_task = std::exchange(task_pending, false);
    ran |= had_task;
    return had_task;
  }
  bool DoDelayedWork(TimeTicks* next_delayed_work_time) override {
    *next_delayed_work_time = TimeTicks();
    return false;
  }
  bool DoIdleWork() override {
    pump_->Quit();
    return false;
  }
  bool task_pending = true;
  bool ran = false;

 private:
  MessagePump* const pump_;
};

// Dispatches every message queued for the thread, as a native loop would;
// returns how many of them were wake-ups of a pump.
int DispatchQueuedMessages() {
  int wake_ups = 0;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    wake_ups += msg.message == kHaveWork;
    DispatchMessageW(&msg);
  }
  return wake_ups;
}

HWND FindPumpWindow(const MessagePumpForUI& pump) {
  return FindWindowExW(
      HWND_MESSAGE, nullptr,
      StringPrintfWide(L"Tuvren_MessagePumpWindow_%p", &pump).c_str(), nullptr);
}

TEST(MessagePumpForUITest, OneWakeUpMessageInFlight) {
  MessagePumpForUI pump;
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
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, kHaveWork, kHaveWork, PM_NOREMOVE));
  EXPECT_EQ(FindPumpWindow(pump), msg.hwnd);

  // A native loop that dispatches the wake-up outside Run runs no task, but
  // lets the next request post again: here a delayed time already due.
  OneTaskDelegate delegate(&pump);
  EXPECT_EQ(1, DispatchQueuedMessages());
  EXPECT_FALSE(delegate.ran);
  pump.ScheduleDelayedWork(TimeTicks::Now() - TimeDelta::FromMilliseconds(1));
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, kHaveWork, kHaveWork, PM_REMOVE));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, kHaveWork, kHaveWork, PM_REMOVE));

  // Nothing is queued and no wake-up can be posted: Run still finds the
  // task, since every pass asks the loop for work.
  pump.Run(&delegate);
  EXPECT_TRUE(delegate.ran);
}

TEST(MessagePumpForUITest, QuitMessageEndsNestedRunsAndIsPostedAgain) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  bool nested_run_returned = false;
  loop.PostTask(HERE, ClosureFromFunction([&] {
                  loop.PostTask(
                      HERE, ClosureFromFunction([] { PostQuitMessage(42); }));
                  MessageLoop::ScopedNestableTaskAllower allow(&loop);
                  RunLoop().Run();
                  nested_run_returned = true;
                }));
  RunLoop run_loop;
  EXPECT_TRUE(test::RunWithTimeout(&run_loop));
  EXPECT_TRUE(nested_run_returned);
  // Each run that took the quit message posted it again, so that a native
  // loop around this one would end as well.
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(42u, msg.wParam);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The application messages that reached the recording window's procedure.
std::vector<UINT> g_received;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= WM_APP)
    g_received.push_back(msg);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK ConsumeMessage5(int code, WPARAM wparam, LPARAM lparam) {
  const auto* msg = reinterpret_cast<const MSG*>(lparam);
  if (code == MessagePumpForUI::kMessageFilterCode &&
      msg->message == WM_APP + 5) {
    return 1;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Consumes WM_APP + 1 and ends the run at WM_APP + 3.
class RecordingDispatcher : public MessagePumpDispatcher {
 public:
  uint32_t Dispatch(const MSG& message) override {
    seen.push_back(message.message);
    if (message.message == WM_APP + 1)
      return kActionNone;
    if (message.message == WM_APP + 3)
      return kActionQuitLoop | kActionPerformDefault;
    return kActionPerformDefault;
  }
  std::vector<UINT> seen;
};

// The message filter hook sees each message first, then the dispatcher,
// then the window.
TEST(MessagePumpForUITest, MessagesGoToTheFilterTheDispatcherAndTheWindow) {
  auto loop = std::make_unique<MessageLoop>(MessageLoop::TYPE_UI);
  const HWND window = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  g_received.clear();
  SetWindowLongPtrW(window, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(&RecordingProc));
  HHOOK hook = SetWindowsHookExW(WH_MSGFILTER, &ConsumeMessage5, nullptr,
                                 GetCurrentThreadId());
  ASSERT_NE(nullptr, hook);
  HWND pump_window = nullptr;
  loop->PostTask(
      HERE, ClosureFromFunction([&] {
        for (UINT message : {WM_APP + 5, WM_APP + 1, WM_APP + 2, WM_APP + 3})
          PostMessageW(window, message, 0, 0);
      }));
  MSG msg;
  if (PeekMessageW(&msg, nullptr, kHaveWork, kHaveWork, PM_NOREMOVE))
    pump_window = msg.hwnd;
  RecordingDispatcher dispatcher;
  RunLoop run_loop(&dispatcher);
  EXPECT_TRUE(test::RunWithTimeout(&run_loop));
  UnhookWindowsHookEx(hook);
  EXPECT_EQ((std::vector<UINT>{WM_APP + 1, WM_APP + 2, WM_APP + 3}),
            dispatcher.seen);
  EXPECT_EQ((std::vector<UINT>{WM_APP + 2, WM_APP + 3}), g_received);
  DispatchQueuedMessages();
  DestroyWindow(window);
  // The pump's window goes with the pump.
  ASSERT_TRUE(IsWindow(pump_window));
  loop.reset();
  EXPECT_FALSE(IsWindow(pump_window));
}

constexpr int kWindowProcedureException = 0xE0000042;

// Raises an exception inside the pump window's procedure: a task runs a
// native loop, which dispatches the pump's timer and wake-up messages to the
// window procedure, which runs the tasks that come due; the last raises.
// Returns whether the native loop came back.
bool RaiseInsidePumpWindowProcedure() {
  MessageLoop loop(MessageLoop::TYPE_UI);
  bool raised = false;
  bool native_loop_returned = false;
  loop.PostTask(HERE, ClosureFromFunction([&] {
                  // The pump window's timer brings in the delayed task,
                  // whose wake-up brings in the raising one.
                  loop.PostDelayedTask(HERE, ClosureFromFunction([&] {
                                         loop.PostTask(
                                             HERE, ClosureFromFunction([&] {
                                               raised = true;
                                               RaiseException(
                                                   kWindowProcedureException, 0,
                                                   0, nullptr);
                                             }));
                                       }),
                                       TimeDelta::FromMilliseconds(20));
                  MessageLoop::ScopedNestableTaskAllower allow(&loop);
                  MSG msg;
                  while (!raised && GetMessageW(&msg, nullptr, 0, 0) > 0)
                    DispatchMessageW(&msg);
                  native_loop_returned = true;
                  loop.QuitWhenIdle();
                }));
  RunLoop().Run();
  return native_loop_returned;
}

int32_t HandleException(EXCEPTION_POINTERS* /*info*/) {
  return EXCEPTION_EXECUTE_HANDLER;
}

int32_t ContinueSearch(EXCEPTION_POINTERS* /*info*/) {
  return EXCEPTION_CONTINUE_SEARCH;
}

// A hook that handles the exception makes the window procedure return 0,
// and the native loop and the pump go on; without a hook, or with one that
// declines, the exception ends the process.
TEST(MessagePumpForUIDeathTest, ExceptionInWindowProcedureGoesToTheHook) {
  const struct {
    win::ExceptionFilterHook hook;
    int exit_code;
  } kCases[] = {{&HandleException, 7},
                {nullptr, kWindowProcedureException},
                {&ContinueSearch, kWindowProcedureException}};
  for (const auto& c : kCases) {
    EXPECT_EXIT(
        {
          win::SetExceptionFilterHook(c.hook);
          _exit(RaiseInsidePumpWindowProcedure() ? 7 : 1);
        },
        testing::ExitedWithCode(c.exit_code), "");
  }
}

// A completion's context, bytes and error.
using Completion = std::tuple<IOContext*, DWORD, DWORD>;

class RecordingIOHandler : public MessagePumpForIO::IOHandler {
 public:
  ~RecordingIOHandler() override {
    for (const Completion& completion : completions)
      delete std::get<0>(completion);
  }
  void OnIOCompleted(IOContext* context, DWORD bytes, DWORD error) override {
    completions.emplace_back(context, bytes, error);
  }
  std::vector<Completion> completions;
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
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr));
    client_.Set(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, 0, nullptr));
  }

  HANDLE server() const { return server_.Get(); }

  // Registers the server end with |pump| for |handler| and starts an
  // overlapped read of it, whose context the pump hands to the handler.
  IOContext* StartRead(MessagePumpForIO* pump,
                       MessagePumpForIO::IOHandler* handler) {
    if (!client_.IsValid() || !pump->RegisterIOHandler(server(), handler))
      return nullptr;
    auto* context = new IOContext();
    context->handler = handler;
    if (!ReadFile(server(), buffer_, sizeof(buffer_), nullptr,
                  &context->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      delete context;
      return nullptr;
    }
    return context;
  }

  bool Write(const char* data) {
    DWORD written = 0;
    return WriteFile(client_.Get(), data, static_cast<DWORD>(strlen(data)),
                     &written, nullptr);
  }

 private:
  win::ScopedHandle server_;
  win::ScopedHandle client_;
  char buffer_[8];
};

// A wait for one handler's completions sets aside the others', which later
// waits get back oldest first; a context whose handler gave up goes to
// nobody, and a failed operation comes with its error.
TEST(MessagePumpForIOTest, CompletionsGoToTheirHandlersInTurn) {
  MessagePumpForIO pump;
  TestPipe pipes[4];
  RecordingIOHandler a, b;
  IOContext* abandoned = pipes[0].StartRead(&pump, &b);
  IOContext* a1 = pipes[1].StartRead(&pump, &a);
  IOContext* a2 = pipes[2].StartRead(&pump, &a);
  IOContext* b1 = pipes[3].StartRead(&pump, &b);
  ASSERT_TRUE(abandoned && a1 && a2 && b1);
  abandoned->handler = nullptr;
  ASSERT_TRUE(pipes[0].Write("x") && pipes[1].Write("1"));
  ASSERT_TRUE(CancelIoEx(pipes[2].server(), &a2->overlapped));
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(pump.WaitForIOCompletion(kWaitMs, &b));
  // Nothing for B yet: kept completions do not stand in for a real wait.
  EXPECT_FALSE(pump.WaitForIOCompletion(0, &b));
  ASSERT_TRUE(pipes[3].Write("bbb"));
  EXPECT_TRUE(pump.WaitForIOCompletion(kWaitMs, &b));
  EXPECT_TRUE(a.completions.empty());
  EXPECT_TRUE(pump.WaitForIOCompletion(0, &a));
  EXPECT_TRUE(pump.WaitForIOCompletion(0, nullptr));
  EXPECT_FALSE(pump.WaitForIOCompletion(0, nullptr));
  EXPECT_EQ(
      (std::vector<Completion>{{a1, 1, 0}, {a2, 0, ERROR_OPERATION_ABORTED}}),
      a.completions);
  EXPECT_EQ((std::vector<Completion>{{b1, 3, 0}}), b.completions);

  // A handle belongs to one port only, and only files have completions.
  MessagePumpForIO other_pump;
  EXPECT_FALSE(other_pump.RegisterIOHandler(pipes[0].server(), &a));
  win::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(pump.RegisterIOHandler(event.Get(), &a));
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
  // One packet, which the pump takes itself even under a filter; the next
  // request posts again.
  EXPECT_TRUE(pump.WaitForIOCompletion(0, &handler));
  EXPECT_FALSE(pump.WaitForIOCompletion(0, nullptr));
  pump.ScheduleWork();
  EXPECT_TRUE(pump.WaitForIOCompletion(0, nullptr));
  EXPECT_TRUE(handler.completions.empty());
}

}  // namespace
}  // namespace base

// The watched process's end of the crash pipe against servers that are not
// the reporter: squatters on the pipe's name, played by a thread.

#include "desktop/windows/crash_reporter/crash_pipe_client.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/test/crash_test_child_command.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

std::wstring SquattedPipeName() {
  return L"\\\\.\\pipe\\CrashPipeClientTest" +
         std::to_wstring(::GetCurrentProcessId());
}

// Owns a pipe name before any reporter: takes one connection, reads the
// request, and answers with |reply|, or never answers when there is none.
class Squatter {
 public:
  Squatter(const std::wstring& name, const CrashPipeMessage* reply)
      : name_(name),
        stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        answers_(reply != nullptr),
        reply_(reply ? *reply : CrashPipeMessage()) {
    pipe_.Set(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                 80, 80, 0, nullptr));
    if (pipe_.IsValid())
      thread_ = std::thread([this] { Serve(); });
  }
  ~Squatter() {
    ::SetEvent(stop_.Get());
    // Frees a thread that still waits for its connection.
    base::win::ScopedHandle(::CreateFileW(name_.c_str(),
                                          GENERIC_READ | GENERIC_WRITE, 0,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    if (thread_.joinable())
      thread_.join();
  }
  bool IsValid() const { return pipe_.IsValid(); }
  // Ends the connection: frees a client that waits without a bound.
  void HangUp() { ::DisconnectNamedPipe(pipe_.Get()); }
  // Read after the client is gone.
  bool got_request() const { return got_request_; }

 private:
  void Serve() {
    if (!::ConnectNamedPipe(pipe_.Get(), nullptr) &&
        ::GetLastError() != ERROR_PIPE_CONNECTED) {
      return;
    }
    CrashPipeMessage request = {};
    DWORD bytes = 0;
    if (!::ReadFile(pipe_.Get(), &request, sizeof(request), &bytes, nullptr) ||
        ::WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0) {
      return;
    }
    got_request_ = true;
    if (!answers_) {
      ::WaitForSingleObject(stop_.Get(), INFINITE);
      return;
    }
    CrashPipeMessage ack = {};
    if (::WriteFile(pipe_.Get(), &reply_, sizeof(reply_), &bytes, nullptr))
      ::ReadFile(pipe_.Get(), &ack, sizeof(ack), &bytes, nullptr);
  }

  const std::wstring name_;
  base::win::ScopedHandle pipe_;
  base::win::ScopedHandle stop_;
  const bool answers_;
  const CrashPipeMessage reply_;
  std::atomic<bool> got_request_{false};
  std::thread thread_;
};

// Registers from a thread of its own; a squatter that never answers is hung
// up on when the client does not give up by itself.
bool RegisterWithin(CrashPipeClient* client, Squatter* squatter) {
  base::win::ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  bool registered = false;
  std::thread registering([&] {
    registered = client->Register();
    ::SetEvent(done.Get());
  });
  if (::WaitForSingleObject(done.Get(), 60000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "Register still waits for the squatter";
    squatter->HangUp();
  }
  registering.join();
  return registered;
}

// A handle of this test's own, to |object|, with |access|.
HANDLE Duplicate(HANDLE object, DWORD access) {
  HANDLE duplicate = nullptr;
  EXPECT_TRUE(::DuplicateHandle(::GetCurrentProcess(), object,
                                ::GetCurrentProcess(), &duplicate, access,
                                FALSE, 0));
  return duplicate;
}

uint64_t Value(HANDLE handle) {
  return reinterpret_cast<uintptr_t>(handle);
}

TEST(CrashPipeClientTest, GivesUpOnAServerThatNeverAnswers) {
  Squatter squatter(SquattedPipeName(), nullptr);
  ASSERT_TRUE(squatter.IsValid());
  CrashPipeClient client(SquattedPipeName(), 0, CrashKeySet());
  EXPECT_FALSE(RegisterWithin(&client, &squatter));
  EXPECT_FALSE(client.IsRegistered());
  EXPECT_TRUE(squatter.got_request());
}

// A reply's handle values are used, and later closed, only when they are
// the kind the reporter duplicates into its client, from the process that
// serves the pipe; otherwise whatever they name here stays untouched.
TEST(CrashPipeClientTest, TakesOverNoHandleThatTheServerDidNotGive) {
  base::win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::win::ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, nullptr));
  base::win::ScopedHandle own_event(
      ::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::win::ScopedHandle own_mutex(::CreateMutexW(nullptr, FALSE, nullptr));
  const uint32_t own_id = ::GetCurrentProcessId();
  const struct {
    const char* name;
    uint32_t id;
    // Made by the case from the test's event and mutex; the test keeps and
    // closes those it is not told were taken over.
    HANDLE (*request)(HANDLE event, HANDLE mutex);
    HANDLE (*done)(HANDLE event, HANDLE mutex);
    HANDLE (*alive)(HANDLE event, HANDLE mutex);
    bool registers;
  } kCases[] = {
      {"the server's duplicates", own_id,
       [](HANDLE e, HANDLE) { return Duplicate(e, EVENT_MODIFY_STATE); },
       [](HANDLE e, HANDLE) {
         return Duplicate(e, SYNCHRONIZE | EVENT_MODIFY_STATE);
       },
       [](HANDLE, HANDLE m) { return Duplicate(m, SYNCHRONIZE); }, true},
      {"another process's id", own_id + 4,
       [](HANDLE e, HANDLE) { return Duplicate(e, EVENT_MODIFY_STATE); },
       [](HANDLE e, HANDLE) {
         return Duplicate(e, SYNCHRONIZE | EVENT_MODIFY_STATE);
       },
       [](HANDLE, HANDLE m) { return Duplicate(m, SYNCHRONIZE); }, false},
      {"the process's own handles", own_id,
       [](HANDLE e, HANDLE) { return Duplicate(e, EVENT_ALL_ACCESS); },
       [](HANDLE e, HANDLE) { return Duplicate(e, EVENT_ALL_ACCESS); },
       [](HANDLE, HANDLE m) { return Duplicate(m, MUTEX_ALL_ACCESS); }, false},
      {"an event for the mutex", own_id,
       [](HANDLE e, HANDLE) { return Duplicate(e, EVENT_MODIFY_STATE); },
       [](HANDLE e, HANDLE) {
         return Duplicate(e, SYNCHRONIZE | EVENT_MODIFY_STATE);
       },
       [](HANDLE e, HANDLE) { return Duplicate(e, SYNCHRONIZE); }, false},
      {"a mutex for the done event", own_id,
       [](HANDLE e, HANDLE) { return Duplicate(e, EVENT_MODIFY_STATE); },
       [](HANDLE, HANDLE m) {
         return Duplicate(m, SYNCHRONIZE | MUTEX_MODIFY_STATE);
       },
       [](HANDLE, HANDLE m) { return Duplicate(m, SYNCHRONIZE); }, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const HANDLE handles[] = {c.request(event.Get(), mutex.Get()),
                              c.done(event.Get(), mutex.Get()),
                              c.alive(event.Get(), mutex.Get())};
    CrashPipeMessage reply = {};
    reply.tag = CrashPipeMessage::kRegistrationReply;
    reply.id = c.id;
    reply.dump_request_event = Value(handles[0]);
    reply.dump_done_event = Value(handles[1]);
    reply.server_alive_mutex = Value(handles[2]);
    {
      Squatter squatter(SquattedPipeName(), &reply);
      ASSERT_TRUE(squatter.IsValid());
      CrashPipeClient client(SquattedPipeName(), 0, CrashKeySet());
      EXPECT_EQ(c.registers, RegisterWithin(&client, &squatter));
    }
    if (c.registers)
      continue;
    for (HANDLE handle : handles) {
      DWORD flags = 0;
      EXPECT_TRUE(::GetHandleInformation(handle, &flags));
      EXPECT_TRUE(::CloseHandle(handle));
    }
  }

  // Made-up values, one of them the same handle named twice: the handles
  // this process holds under those values stay its own.
  const uint64_t kMadeUp[][3] = {
      {0x7ff0, 0x7ff4, 0x7ff8},
      {Value(own_event.Get()), Value(own_event.Get()), Value(own_mutex.Get())},
  };
  for (const auto& values : kMadeUp) {
    CrashPipeMessage reply = {};
    reply.tag = CrashPipeMessage::kRegistrationReply;
    reply.id = own_id;
    reply.dump_request_event = values[0];
    reply.dump_done_event = values[1];
    reply.server_alive_mutex = values[2];
    Squatter squatter(SquattedPipeName(), &reply);
    ASSERT_TRUE(squatter.IsValid());
    CrashPipeClient client(SquattedPipeName(), 0, CrashKeySet());
    EXPECT_FALSE(RegisterWithin(&client, &squatter));
  }
  EXPECT_TRUE(::SetEvent(own_event.Get()));
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(own_mutex.Get(), 0));
  EXPECT_TRUE(::ReleaseMutex(own_mutex.Get()));
}

// The pipe of a reporter's name is only talked to when that process serves
// it: a squatter on it hears nothing, however good its reply.
TEST(CrashPipeClientTest, TellsASquatterOnAReportersNameNothing) {
  base::CommandLine command_line = CrashTestChildCommandLine("wait");
  command_line.AppendSwitchASCII("crash-reporter-pid", "1");
  base::Process reporter =
      base::LaunchProcess(command_line, base::LaunchOptions());
  ASSERT_TRUE(reporter.IsValid());
  const std::wstring name =
      kCrashPipeNamePrefix + base::UintToString16(reporter.Pid());
  base::win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::win::ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, nullptr));
  CrashPipeMessage reply = {};
  reply.tag = CrashPipeMessage::kRegistrationReply;
  reply.id = ::GetCurrentProcessId();
  reply.dump_request_event = Value(Duplicate(event.Get(), EVENT_MODIFY_STATE));
  reply.dump_done_event =
      Value(Duplicate(event.Get(), SYNCHRONIZE | EVENT_MODIFY_STATE));
  reply.server_alive_mutex = Value(Duplicate(mutex.Get(), SYNCHRONIZE));
  {
    Squatter squatter(name, &reply);
    ASSERT_TRUE(squatter.IsValid());
    CrashPipeClient client(name, 0, CrashKeySet());
    EXPECT_FALSE(RegisterWithin(&client, &squatter));
    EXPECT_FALSE(client.IsRegistered());
    EXPECT_FALSE(squatter.got_request());
  }
  for (uint64_t handle : {reply.dump_request_event, reply.dump_done_event,
                          reply.server_alive_mutex}) {
    EXPECT_TRUE(::CloseHandle(reinterpret_cast<HANDLE>(handle)));
  }
  reporter.Terminate(1, true);
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo

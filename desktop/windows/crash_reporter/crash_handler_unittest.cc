// The handler stack and the pipe client's registration, in this process;
// the crashes themselves are in crash_reporter_client_unittest.cc.

#include "desktop/windows/crash_reporter/crash_handler.h"

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_uuid.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kBreakpoint = 0x80000003;
constexpr DWORD kSingleStep = 0x80000004;
constexpr DWORD kInvalidHandle = 0xC0000008;

std::vector<std::string> g_calls;

LONG WINAPI BaseFilter(EXCEPTION_POINTERS*) {
  g_calls.push_back("base");
  return EXCEPTION_CONTINUE_SEARCH;
}

// Records the handler it belongs to and passes the crash on.
bool RecordingFilter(void* context, EXCEPTION_POINTERS*, AssertionRecord*) {
  g_calls.push_back(static_cast<const char*>(context));
  return false;
}

LPTOP_LEVEL_EXCEPTION_FILTER CurrentFilter() {
  const LPTOP_LEVEL_EXCEPTION_FILTER current =
      ::SetUnhandledExceptionFilter(nullptr);
  ::SetUnhandledExceptionFilter(current);
  return current;
}

CrashHandler* NewHandler(const char* name, int kinds) {
  return new CrashHandler(std::wstring(), &RecordingFilter, nullptr,
                          const_cast<char*>(name), kinds, 0, std::wstring(),
                          CrashKeySet());
}

class CrashHandlerTest : public testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    saved_filter_ = ::SetUnhandledExceptionFilter(&BaseFilter);
  }
  void TearDown() override { ::SetUnhandledExceptionFilter(saved_filter_); }

  // Enters the handlers' filter with an exception of |code|.
  LONG Crash(DWORD code) {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {&record, &context};
    return CrashHandler::HandleException(&pointers);
  }

  LPTOP_LEVEL_EXCEPTION_FILTER saved_filter_ = nullptr;
};

// The newest handler answers first and each passes the crash to the one it
// replaced; removing one out of order keeps the chain whole, and removing
// the last gives the process its filter back.
TEST_F(CrashHandlerTest, HandlersStackAndLeaveInAnyOrder) {
  CrashHandler* first = NewHandler("first", CrashHandler::kHandleAll);
  CrashHandler* second = NewHandler("second", CrashHandler::kHandleAll);
  CrashHandler* ignored = NewHandler("none", CrashHandler::kHandleNone);
  EXPECT_EQ(&CrashHandler::HandleException, CurrentFilter());
  EXPECT_FALSE(first->IsOutOfProcess());

  EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, Crash(kAccessViolation));
  EXPECT_EQ((std::vector<std::string>{"second", "first", "base"}), g_calls);
  // The entry points are back after the crash was handled.
  EXPECT_EQ(&CrashHandler::HandleException, CurrentFilter());

  delete ignored;
  delete first;
  g_calls.clear();
  Crash(kAccessViolation);
  EXPECT_EQ((std::vector<std::string>{"second", "base"}), g_calls);
  // Another thread can take the handlers' lock once a crash was handled.
  std::thread([second] { delete second; }).join();
  EXPECT_EQ(&BaseFilter, CurrentFilter());

  g_calls.clear();
  CrashHandler* again = NewHandler("again", CrashHandler::kHandleException);
  Crash(kAccessViolation);
  EXPECT_EQ((std::vector<std::string>{"again", "base"}), g_calls);
  delete again;
  EXPECT_EQ(&BaseFilter, CurrentFilter());
}

// Debug exceptions go straight on unless the handler reports them; invalid
// handles are swallowed only when asked.
TEST_F(CrashHandlerTest, DebugAndInvalidHandleExceptionsFollowTheSettings) {
  const struct {
    DWORD code;
    bool report_debug;
    bool swallow_invalid_handle;
    LONG verdict;
    std::vector<std::string> calls;
  } kCases[] = {
      {kBreakpoint, false, false, EXCEPTION_CONTINUE_SEARCH, {"base"}},
      {kSingleStep, false, false, EXCEPTION_CONTINUE_SEARCH, {"base"}},
      {kBreakpoint, true, false, EXCEPTION_CONTINUE_SEARCH, {"h", "base"}},
      {kSingleStep, true, false, EXCEPTION_CONTINUE_SEARCH, {"h", "base"}},
      {kInvalidHandle, false, false, EXCEPTION_CONTINUE_SEARCH, {"h", "base"}},
      {kInvalidHandle, false, true, EXCEPTION_CONTINUE_EXECUTION, {}},
      {kAccessViolation, false, true, EXCEPTION_CONTINUE_SEARCH, {"h", "base"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code << c.report_debug
                                    << c.swallow_invalid_handle);
    g_calls.clear();
    CrashHandler* handler = NewHandler("h", CrashHandler::kHandleException);
    handler->set_report_debug_exceptions(c.report_debug);
    handler->set_swallow_invalid_handle_exceptions(c.swallow_invalid_handle);
    EXPECT_EQ(c.verdict, Crash(c.code));
    EXPECT_EQ(c.calls, g_calls);
    delete handler;
  }
}

// A reporter's end of the crash pipe played by hand: reads the
// registration, answers with |reply| and reads the acknowledgement.
class ScriptedServer {
 public:
  explicit ScriptedServer(const CrashPipeMessage& reply) : reply_(reply) {
    const std::wstring name = L"\\\\.\\pipe\\CrashHandlerTest" +
                              std::to_wstring(::GetCurrentProcessId());
    server_.Set(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                   80, 80, 0, nullptr));
    client_ =
        ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    thread_ = std::thread([this] {
      DWORD bytes = 0;
      if (!::ReadFile(server_.Get(), &request_, sizeof(request_), &bytes,
                      nullptr) ||
          !::WriteFile(server_.Get(), &reply_, sizeof(reply_), &bytes,
                       nullptr)) {
        return;
      }
      acknowledged_ =
          ::ReadFile(server_.Get(), &ack_, sizeof(ack_), &bytes, nullptr) &&
          bytes == sizeof(ack_);
    });
  }
  ~ScriptedServer() {
    if (thread_.joinable())
      thread_.join();
  }
  // The client end, for the handler to use; the handler closes it.
  HANDLE client() const { return client_; }
  // Waits until the exchange is over: the client has acknowledged or gone.
  void Finish() { thread_.join(); }

  CrashPipeMessage request_ = {};
  CrashPipeMessage ack_ = {};
  bool acknowledged_ = false;

 private:
  const CrashPipeMessage reply_;
  base::win::ScopedHandle server_;
  HANDLE client_ = nullptr;
  std::thread thread_;
};

struct DumpOutcome {
  int calls = 0;
  bool succeeded = false;
};

bool RecordOutcome(const wchar_t*,
                   const wchar_t*,
                   void* context,
                   EXCEPTION_POINTERS*,
                   AssertionRecord*,
                   bool succeeded) {
  DumpOutcome* outcome = static_cast<DumpOutcome*>(context);
  ++outcome->calls;
  outcome->succeeded = succeeded;
  return succeeded;
}

// Only a reply with its tag, the server's id and all three handles
// registers; the request names the client's fields and keys, and the
// registered handler's dump request waits for the server's answer.
TEST_F(CrashHandlerTest, RegistersOnlyWithACompleteReply) {
  base::win::ScopedHandle request_event(
      ::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::win::ScopedHandle done_event(
      ::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  // Held by this thread, as the server holds it for its lifetime.
  base::win::ScopedHandle mutex(::CreateMutexW(nullptr, TRUE, nullptr));
  CrashKeyEntry keys[2] = {};
  // The server's id is that of the process serving the pipe: this one.
  const uint32_t server_id = ::GetCurrentProcessId();
  const struct {
    const char* name;
    uint32_t tag;
    uint32_t id;
    int missing_handle;  // -1 for none
    bool registers;
  } kCases[] = {
      {"complete", 2, server_id, -1, true},
      {"no request event", 2, server_id, 0, false},
      {"no done event", 2, server_id, 1, false},
      {"no mutex", 2, server_id, 2, false},
      {"no server id", 2, 0, -1, false},
      {"an acknowledgement", 3, server_id, -1, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CrashPipeMessage reply = {};
    reply.tag = c.tag;
    reply.id = c.id;
    uint64_t* handles[] = {&reply.dump_request_event, &reply.dump_done_event,
                           &reply.server_alive_mutex};
    const HANDLE originals[] = {request_event.Get(), done_event.Get(),
                                mutex.Get()};
    // What a server grants.
    const DWORD access[] = {kDumpRequestEventAccess, kDumpDoneEventAccess,
                            kServerAliveMutexAccess};
    for (int i = 0; i < 3; ++i) {
      HANDLE duplicate = nullptr;
      if (i != c.missing_handle) {
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), originals[i],
                                      ::GetCurrentProcess(), &duplicate,
                                      access[i], FALSE, 0));
      }
      *handles[i] = reinterpret_cast<uintptr_t>(duplicate);
    }
    ScriptedServer server(reply);
    DumpOutcome outcome;
    CrashHandler handler(L"folder", nullptr, &RecordOutcome, &outcome,
                         CrashHandler::kHandleNone, 0x20, server.client(),
                         CrashKeySet{keys, 2});
    server.Finish();
    EXPECT_EQ(c.registers, handler.IsOutOfProcess());
    EXPECT_EQ(c.registers, server.acknowledged_);
    EXPECT_EQ(CrashPipeMessage::kRegistrationRequest, server.request_.tag);
    EXPECT_EQ(::GetCurrentProcessId(), server.request_.id);
    EXPECT_EQ(0x20u, server.request_.dump_type);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(keys),
              server.request_.crash_keys_address);
    EXPECT_EQ(2u, server.request_.crash_key_count);
    EXPECT_NE(0u, server.request_.thread_id_address &
                      server.request_.exception_pointers_address &
                      server.request_.assertion_address);
    EXPECT_EQ(0u, server.request_.dump_request_event);
    if (!c.registers)
      continue;
    EXPECT_EQ(CrashPipeMessage::kRegistrationAck, server.ack_.tag);

    // A crashing thread asks; this thread plays the server's part.
    bool dumped = false;
    std::thread crashing([&] {
      EXCEPTION_RECORD record = {};
      CONTEXT context = {};
      EXCEPTION_POINTERS pointers = {&record, &context};
      dumped = handler.WriteMinidumpForException(&pointers);
    });
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(request_event.Get(), 30000));
    ::SetEvent(done_event.Get());
    crashing.join();
    EXPECT_TRUE(dumped);
    EXPECT_EQ(1, outcome.calls);
    EXPECT_TRUE(outcome.succeeded);
    ::ResetEvent(request_event.Get());
  }
}

TEST(CrashUuidTest, FormatsAndCreatesIdentifiers) {
  EXPECT_EQ(L"00000000-0000-0000-0000-000000000000", FormatUuid(GUID()));
  const GUID uuid = {0x0123abcd, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 0xff}};
  EXPECT_EQ(L"0123abcd-9abc-def0-0102-0304050607ff", FormatUuid(uuid));
  const std::wstring one = FormatUuid(CreateDumpUuid());
  const std::wstring two = FormatUuid(CreateDumpUuid());
  EXPECT_NE(one, two);
  EXPECT_NE(FormatUuid(GUID()), one);
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo

// The crash pipe server against raw pipe records, an in-process client and
// watched child processes.

#include "desktop/windows/crash_reporter/crash_pipe_server.h"

#include <windows.h>

#include <dbghelp.h>
#include <string.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_pipe_client.h"
#include "desktop/windows/crash_reporter/dump_writer.h"
#include "desktop/windows/crash_reporter/test/crash_server_recorder.h"
#include "desktop/windows/crash_reporter/test/crash_test_child_command.h"
#include "desktop/windows/crash_reporter/test/minidump_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

// Fields a registration points at; the server only reads them for a dump.
DWORD g_thread_id = 0;
EXCEPTION_POINTERS* g_exception_pointers = nullptr;
AssertionRecord g_assertion = {};

CrashPipeMessage ValidRequest() {
  CrashPipeMessage request = {};
  request.tag = CrashPipeMessage::kRegistrationRequest;
  request.id = ::GetCurrentProcessId();
  request.thread_id_address = reinterpret_cast<uintptr_t>(&g_thread_id);
  request.exception_pointers_address =
      reinterpret_cast<uintptr_t>(&g_exception_pointers);
  request.assertion_address = reinterpret_cast<uintptr_t>(&g_assertion);
  return request;
}

// Sends |size| bytes of |request| as one message and reads the answer:
// the bytes read, or -1 when the server ended the connection instead.
int Exchange(const std::wstring& pipe_name,
             const CrashPipeMessage& request,
             DWORD size,
             CrashPipeMessage* reply) {
  base::win::ScopedHandle pipe(
      ::CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_EXISTING, 0, nullptr));
  for (int i = 0; i < 100 && !pipe.IsValid(); ++i) {
    ::WaitNamedPipeW(pipe_name.c_str(), 100);
    pipe.Set(::CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr));
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  DWORD bytes = 0;
  if (!pipe.IsValid() ||
      !::SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr) ||
      !::WriteFile(pipe.Get(), &request, size, &bytes, nullptr)) {
    ADD_FAILURE() << "could not send to the crash pipe";
    return -1;
  }
  *reply = CrashPipeMessage();
  if (!::ReadFile(pipe.Get(), reply, sizeof(*reply), &bytes, nullptr))
    return -1;
  return static_cast<int>(bytes);
}

// A peer on the crash pipe played by hand, its end opened for overlapped
// I/O so that every wait on the server has a bound.
class RawPeer {
 public:
  RawPeer() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~RawPeer() {
    for (HANDLE handle : received_)
      ::CloseHandle(handle);
  }

  bool Connect(const std::wstring& pipe_name) {
    for (int i = 0; i < 100 && !pipe_.IsValid(); ++i) {
      pipe_.Set(::CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE,
                              0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                              nullptr));
      if (!pipe_.IsValid())
        ::WaitNamedPipeW(pipe_name.c_str(), 100);
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    return pipe_.IsValid() &&
           ::SetNamedPipeHandleState(pipe_.Get(), &mode, nullptr, nullptr);
  }
  bool Send(const CrashPipeMessage& message) {
    CrashPipeMessage copy = message;
    return Finish(::WriteFile(pipe_.Get(), &copy, sizeof(copy), nullptr,
                              Start())) == sizeof(copy);
  }
  // Reads one record; the handles of a registration reply are this test's
  // to close.
  bool Receive(CrashPipeMessage* message) {
    *message = CrashPipeMessage();
    if (Finish(::ReadFile(pipe_.Get(), message, sizeof(*message), nullptr,
                          Start())) != sizeof(*message)) {
      return false;
    }
    if (message->tag == CrashPipeMessage::kRegistrationReply) {
      for (uint64_t handle :
           {message->dump_request_event, message->dump_done_event,
            message->server_alive_mutex}) {
        received_.push_back(reinterpret_cast<HANDLE>(handle));
      }
    }
    return true;
  }
  // False once the server has ended the connection.
  bool IsConnected() {
    DWORD available = 0;
    return ::PeekNamedPipe(pipe_.Get(), nullptr, 0, nullptr, &available,
                           nullptr) != FALSE;
  }
  // True once the server has ended the connection: what it still sent is
  // read first.
  bool WaitUntilDropped() {
    CrashPipeMessage message;
    for (int i = 0; i < 4; ++i) {
      if (!Receive(&message))
        return !timed_out_;
    }
    return false;
  }

 private:
  static constexpr DWORD kBoundMs = 60000;

  OVERLAPPED* Start() {
    overlapped_ = OVERLAPPED();
    overlapped_.hEvent = event_.Get();
    return &overlapped_;
  }
  // The bytes moved, or -1 when the operation failed or did not end in
  // time.
  int Finish(BOOL started) {
    if (!started && ::GetLastError() != ERROR_IO_PENDING)
      return -1;
    DWORD bytes = 0;
    if (::WaitForSingleObject(event_.Get(), kBoundMs) != WAIT_OBJECT_0) {
      timed_out_ = true;
      ::CancelIoEx(pipe_.Get(), &overlapped_);
      ::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, TRUE);
      return -1;
    }
    if (!::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, FALSE))
      return -1;
    return static_cast<int>(bytes);
  }

  base::win::ScopedHandle pipe_;
  base::win::ScopedHandle event_;
  OVERLAPPED overlapped_ = {};
  bool timed_out_ = false;
  std::vector<HANDLE> received_;
};

// Asks for a dump from a thread of its own: the test thread holds the
// server's lifetime mutex, which would end its own wait at once. The
// thread's id in |thread_id| when given.
bool RequestDumpOnOtherThread(CrashPipeClient* client,
                              EXCEPTION_POINTERS* pointers,
                              const AssertionRecord* assertion,
                              DWORD* thread_id = nullptr) {
  struct Request {
    CrashPipeClient* client;
    EXCEPTION_POINTERS* pointers;
    const AssertionRecord* assertion;
    bool result;
  } request = {client, pointers, assertion, false};
  DWORD id = 0;
  base::win::ScopedHandle thread(::CreateThread(
      nullptr, 0,
      [](void* parameter) -> DWORD {
        Request* request = static_cast<Request*>(parameter);
        request->result =
            request->client->RequestDump(request->pointers, request->assertion);
        return 0;
      },
      &request, 0, &id));
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 30000));
  if (thread_id)
    *thread_id = id;
  return request.result;
}

// A process that is not the one talking on the pipe. It is given a
// reporter without a pipe, so that it starts none of its own: a process
// started while its parent is being ended can be left behind.
class OtherProcess {
 public:
  OtherProcess() {
    base::CommandLine command_line = CrashTestChildCommandLine("wait");
    command_line.AppendSwitchASCII("crash-reporter-pid", "1");
    process_ = base::LaunchProcess(command_line, base::LaunchOptions());
  }
  ~OtherProcess() { process_.Terminate(1, true); }
  uint32_t pid() const { return process_.Pid(); }

 private:
  base::Process process_;
};

// Every malformed or dishonest request is dropped without a reply, and the
// server listens again for the next one.
TEST(CrashPipeServerTest, DropsBadRequestsWithoutReplyAndListensAgain) {
  OtherProcess other;
  ASSERT_NE(0u, other.pid());
  const std::wstring pipe_name = std::wstring(kCrashPipeNamePrefix) + L"Test" +
                                 base::UintToString16(::GetCurrentProcessId());
  CrashPipeServer server(pipe_name, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, false, nullptr);
  ASSERT_TRUE(server.Start());
  EXPECT_FALSE(server.Start());

  const struct {
    const char* name;
    void (*change)(CrashPipeMessage* request, uint32_t other_pid);
    DWORD size;
  } kCases[] = {
      {"short record", [](CrashPipeMessage*, uint32_t) {}, 79},
      {"no id", [](CrashPipeMessage* r, uint32_t) { r->id = 0; }, 80},
      {"another process's id",
       [](CrashPipeMessage* r, uint32_t pid) { r->id = pid; }, 80},
      {"no thread id field",
       [](CrashPipeMessage* r, uint32_t) { r->thread_id_address = 0; }, 80},
      {"no exception pointers field",
       [](CrashPipeMessage* r, uint32_t) { r->exception_pointers_address = 0; },
       80},
      {"no assertion field",
       [](CrashPipeMessage* r, uint32_t) { r->assertion_address = 0; }, 80},
      {"a reply", [](CrashPipeMessage* r, uint32_t) { r->tag = 2; }, 80},
      {"an upload without its callback",
       [](CrashPipeMessage* r, uint32_t) { r->tag = 4; }, 80},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CrashPipeMessage request = ValidRequest();
    c.change(&request, other.pid());
    CrashPipeMessage reply;
    EXPECT_EQ(-1, Exchange(pipe_name, request, c.size, &reply));

    ASSERT_EQ(80, Exchange(pipe_name, ValidRequest(), 80, &reply));
    EXPECT_EQ(CrashPipeMessage::kRegistrationReply, reply.tag);
    EXPECT_EQ(::GetCurrentProcessId(), reply.id);
    EXPECT_EQ(0u, reply.thread_id_address | reply.crash_key_count);
    for (uint64_t handle : {reply.dump_request_event, reply.dump_done_event,
                            reply.server_alive_mutex}) {
      EXPECT_TRUE(::CloseHandle(reinterpret_cast<HANDLE>(handle)));
    }
  }
  // The name belongs to the running server.
  CrashPipeServer second(pipe_name, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, false, nullptr);
  EXPECT_FALSE(second.Start());
}

TEST(CrashPipeServerTest, UploadRequestsReachTheirCallbackWithoutReply) {
  CrashServerRecorder recorder;
  ASSERT_TRUE(recorder.Start());
  CrashPipeMessage request = {};
  request.tag = CrashPipeMessage::kUploadRequest;
  request.id = 0x12345678;
  CrashPipeMessage reply;
  EXPECT_EQ(-1,
            Exchange(CrashServerRecorder::OwnPipeName(), request, 80, &reply));
  ASSERT_TRUE(recorder.WaitForUploads(1));
  EXPECT_EQ(std::vector<uint32_t>{0x12345678}, recorder.uploads());
  EXPECT_TRUE(recorder.connected().empty());
}

// The keys are copied at the dump request, at most 4096 of them, with the
// uptime entry last; too many leave none, yet the request is served.
TEST(CrashPipeServerTest, FetchesCrashKeysUpToTheLimit) {
  const struct {
    size_t count;
    size_t fetched;
  } kCases[] = {{0, 1}, {3, 4}, {4096, 4097}, {4097, 0}};
  std::vector<CrashKeyEntry> entries(4097, CrashKeyEntry());
  wcscpy(entries[0].name, L"first");
  wcscpy(entries[0].value, L"one");
  wcscpy(entries[2].name, L"third");
  wcscpy(entries[2].value, L"three");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.count);
    CrashServerRecorder recorder;
    ASSERT_TRUE(recorder.Start());
    CrashPipeClient client(CrashServerRecorder::OwnPipeName(), 0,
                           CrashKeySet{entries.data(), c.count});
    ASSERT_TRUE(client.Register());
    EXPECT_TRUE(client.Register());
    EXPECT_EQ(::GetCurrentProcessId(), client.server_process_id());
    ASSERT_TRUE(recorder.WaitForConnections(1));

    EXCEPTION_RECORD record = {};
    record.ExceptionCode = 0x1234;
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {&record, &context};
    AssertionRecord assertion = {};
    wcscpy(assertion.expression, L"x != 0");
    assertion.line = 7;
    assertion.type = AssertionRecord::kInvalidParameter;
    DWORD thread_id = 0;
    EXPECT_TRUE(
        RequestDumpOnOtherThread(&client, &pointers, &assertion, &thread_id));
    ASSERT_EQ(1u, recorder.dumps().size());
    RecordedDump dump = recorder.dumps()[0];
    EXPECT_EQ(thread_id, dump.thread_id);
    EXPECT_EQ(0x1234u, dump.exception_code);
    EXPECT_EQ(std::wstring(L"x != 0"), dump.assertion.expression);
    EXPECT_EQ(7u, dump.assertion.line);
    EXPECT_EQ(c.fetched, dump.key_count);
    EXPECT_EQ(c.fetched > 0, dump.keys.count(L"ptime") == 1);
    EXPECT_EQ(c.count >= 3 && c.fetched > 0, dump.keys[L"third"] == L"three");
    // A second request copies the keys afresh into the same entries.
    wcscpy(entries[0].value, L"uno");
    EXPECT_TRUE(RequestDumpOnOtherThread(&client, &pointers, nullptr));
    ASSERT_EQ(2u, recorder.dumps().size());
    EXPECT_EQ(0u, recorder.dumps()[1].assertion.type);
    EXPECT_EQ(c.count > 0 && c.fetched > 0,
              recorder.dumps()[1].keys.count(L"first") &&
                  recorder.dumps()[1].keys.at(L"first") == L"uno");
    wcscpy(entries[0].value, L"one");
  }
}

// The ways a connected peer can stall the server.
enum Stall { kSendsNothing, kNeverReadsTheReply, kNeverAcknowledges };
constexpr Stall kStalls[] = {kSendsNothing, kNeverReadsTheReply,
                             kNeverAcknowledges};
static_assert(CrashPipeServer::kInstanceCount > 3, "an instance stays free");

// Connects |peers| to the pipe, one stalling in each way.
void StallOnePeerEachWay(const std::wstring& pipe_name, RawPeer* peers) {
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(peers[i].Connect(pipe_name));
    if (kStalls[i] != kSendsNothing) {
      ASSERT_TRUE(peers[i].Send(ValidRequest()));
    }
    if (kStalls[i] == kNeverAcknowledges) {
      CrashPipeMessage reply;
      ASSERT_TRUE(peers[i].Receive(&reply));
      EXPECT_EQ(CrashPipeMessage::kRegistrationReply, reply.tag);
    }
  }
}

// Peers that stall hold one instance each: meanwhile, while they all stay
// connected (their time-out is longer than the test), a good client
// registers and gets its dump.
TEST(CrashPipeServerTest, ServesOthersWhilePeersStall) {
  CrashServerRecorder recorder;
  recorder.set_peer_timeout(600000);
  ASSERT_TRUE(recorder.Start());
  const std::wstring pipe_name = CrashServerRecorder::OwnPipeName();
  RawPeer stalled[3];
  StallOnePeerEachWay(pipe_name, stalled);
  if (HasFatalFailure())
    return;

  CrashPipeClient client(pipe_name, 0, CrashKeySet());
  ASSERT_TRUE(client.Register());
  ASSERT_TRUE(recorder.WaitForConnections(1));
  EXPECT_TRUE(RequestDumpOnOtherThread(&client, nullptr, nullptr));
  EXPECT_EQ(1u, recorder.dumps().size());
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(stalled[i].IsConnected()) << i;
}

// A peer that stalls is dropped after its time-out, one that never
// acknowledged is never reported connected, and the instances they held
// serve again.
TEST(CrashPipeServerTest, DropsPeersThatStall) {
  CrashServerRecorder recorder;
  ASSERT_TRUE(recorder.Start());
  const std::wstring pipe_name = CrashServerRecorder::OwnPipeName();
  RawPeer stalled[3];
  StallOnePeerEachWay(pipe_name, stalled);
  if (HasFatalFailure())
    return;
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(stalled[i].WaitUntilDropped()) << i;
  EXPECT_TRUE(recorder.connected().empty());

  RawPeer again[3];
  for (RawPeer& peer : again)
    ASSERT_TRUE(peer.Connect(pipe_name));
  CrashPipeClient client(pipe_name, 0, CrashKeySet());
  EXPECT_TRUE(client.Register());
  EXPECT_TRUE(recorder.WaitForConnections(1));
}

// A client that finds every instance held waits for one to come free:
// here the server drops the peers that hold them after their time-out.
TEST(CrashPipeServerTest, AClientWaitsOutABusyPipe) {
  CrashServerRecorder recorder;
  recorder.set_peer_timeout(1500);
  ASSERT_TRUE(recorder.Start());
  const std::wstring pipe_name = CrashServerRecorder::OwnPipeName();
  RawPeer holders[CrashPipeServer::kInstanceCount];
  for (RawPeer& holder : holders)
    ASSERT_TRUE(holder.Connect(pipe_name));
  CrashPipeClient client(pipe_name, 0, CrashKeySet());
  EXPECT_TRUE(client.Register());
  EXPECT_TRUE(recorder.WaitForConnections(1));
  for (RawPeer& holder : holders)
    EXPECT_TRUE(holder.WaitUntilDropped());
}

std::atomic<int> g_late_peer_lines{0};

bool CountLatePeerLines(int /* severity */,
                        const char* /* file */,
                        int /* line */,
                        size_t /* message_start */,
                        const std::string& text) {
  if (text.find("did not go on within") != std::string::npos)
    ++g_late_peer_lines;
  return true;
}

// A peer's deadline bounds the operation it was set for and no other: one
// that went on in time leaves none behind to cut short what its instance
// does next, while one that stalls is dropped once.
TEST(CrashPipeServerTest, APeersDeadlineEndsWithItsOperation) {
  constexpr DWORD kPeerTimeoutMs = 3000;
  CrashServerRecorder recorder;
  recorder.set_peer_timeout(kPeerTimeoutMs);
  ASSERT_TRUE(recorder.Start());
  g_late_peer_lines = 0;
  base::SetLogMessageHandler(&CountLatePeerLines);
  CrashPipeClient client(CrashServerRecorder::OwnPipeName(), 0, CrashKeySet());
  EXPECT_TRUE(client.Register());
  // Well past the deadlines of the registration's steps, for the watchdog
  // to act on one left behind.
  const ULONGLONG quiet_until = ::GetTickCount64() + kPeerTimeoutMs +
                                3 * CrashPipeServer::kWatchdogPeriodMs;
  while (g_late_peer_lines == 0 && ::GetTickCount64() < quiet_until)
    ::Sleep(50);
  EXPECT_EQ(0, g_late_peer_lines.load());
  RawPeer stalled;
  ASSERT_TRUE(stalled.Connect(CrashServerRecorder::OwnPipeName()));
  EXPECT_TRUE(stalled.WaitUntilDropped());
  base::SetLogMessageHandler(nullptr);
  EXPECT_EQ(1, g_late_peer_lines.load());
  EXPECT_TRUE(recorder.WaitForConnections(1));
}

// A server ended while peers connect, at any step of its machines, ends
// (an operation whose start failed is no operation to wait for).
TEST(CrashPipeServerTest, EndsWhilePeersConnect) {
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    CrashServerRecorder recorder;
    ASSERT_TRUE(recorder.Start());
    for (int i = 0; i < CrashPipeServer::kInstanceCount; ++i) {
      RawPeer gone;
      ASSERT_TRUE(gone.Connect(CrashServerRecorder::OwnPipeName()));
    }
    recorder.Stop();
  }
}

// A client waiting for a dump stops waiting when the server goes away;
// one that never registered does not wait at all.
TEST(CrashPipeServerTest, AClientStopsWaitingWhenTheServerIsGone) {
  CrashPipeClient unregistered(CrashServerRecorder::OwnPipeName(), 0,
                               CrashKeySet());
  EXPECT_FALSE(unregistered.Register());
  EXPECT_FALSE(unregistered.RequestDump(nullptr, nullptr));

  CrashServerRecorder recorder;
  ASSERT_TRUE(recorder.Start());
  CrashPipeClient client(CrashServerRecorder::OwnPipeName(), 0, CrashKeySet());
  ASSERT_TRUE(client.Register());
  recorder.Stop();
  EXPECT_FALSE(RequestDumpOnOtherThread(&client, nullptr, nullptr));
  EXPECT_TRUE(recorder.dumps().empty());
}

// A server that ends while clients are registered, or while one is
// exiting, cancels their waits before it lets go of them.
TEST(CrashPipeServerTest, EndsWithClientsRegisteredOrExiting) {
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    CrashServerRecorder server;
    ASSERT_TRUE(server.Start());
    CrashPipeClient own(CrashServerRecorder::OwnPipeName(), 0, CrashKeySet());
    ASSERT_TRUE(own.Register());
    base::Process child = base::LaunchProcess(WatchedCrashTestChild("wait"),
                                              base::LaunchOptions());
    ASSERT_TRUE(server.WaitForConnections(2));
    // Odd rounds end the server while the child is still ending; even ones
    // once its exit is reported.
    const uint32_t pid = child.Pid();
    child.Terminate(1, round % 2 == 0);
    if (round % 2 == 0) {
      ASSERT_TRUE(server.WaitForExits(1));
      EXPECT_EQ(std::vector<uint32_t>{pid}, server.exited());
    }
    server.Stop();
  }
}

// The user streams of the minidump in |bytes|, by type.
std::map<uint32_t, std::string> ReadUserStreams(const std::string& bytes) {
  return ReadMinidumpStreams(bytes, DumpWriter::kWriterRecordStream);
}

// With dump writing on, the server writes a new dump named by a fresh
// identifier, with the writer record and the client's assertion record (a
// runtime library's report with its texts) as streams of their own,
// before the callback; a full-memory dump is
// refused, and then the callback is skipped but the client released.
TEST(CrashPipeServerTest, WritesDumpsWithTheClientsRecords) {
  base::UniqueTestDir folder;
  ASSERT_TRUE(folder.IsValid());
  CrashServerRecorder recorder(CrashServerRecorder::OwnPipeName(),
                               &folder.path());
  ASSERT_TRUE(recorder.Start());
  EXPECT_EQ(1u, RunCrashTestChild(WatchedCrashTestChild("invalid-parameter"),
                                  nullptr));
  // The child may be gone before its dump is recorded, and what the
  // callback reads of it then is lost: writing a minidump under load (17 s
  // for six such tests on one processor) outlasts the 15 s that a crashed
  // process waits for its reporter. The dump is written while the child
  // waits, its threads held, so its records are checked there.
  ASSERT_TRUE(recorder.WaitForDumps(1));
  ASSERT_EQ(1u, recorder.dumps().size());
  const RecordedDump dump = recorder.dumps()[0];
  ASSERT_TRUE(dump.dump_path_given);
  EXPECT_EQ(folder.path(), dump.dump_path.DirName());
  EXPECT_EQ(40u, dump.dump_path.BaseName().value().size());
  EXPECT_EQ(L".dmp", dump.dump_path.Extension());
  std::string bytes;
  ASSERT_TRUE(base::ReadFileToString(dump.dump_path, &bytes));
  std::map<uint32_t, std::string> streams = ReadUserStreams(bytes);
  EXPECT_EQ(std::string(12, '\0'), streams[DumpWriter::kWriterRecordStream]);
  const std::string& assertion = streams[DumpWriter::kAssertionRecordStream];
  ASSERT_EQ(sizeof(AssertionRecord), assertion.size());
  const AssertionRecord* written =
      reinterpret_cast<const AssertionRecord*>(assertion.data());
  EXPECT_EQ(std::wstring(L"length < size"), written->expression);
  // Cut to fit its field.
  EXPECT_EQ(std::wstring(127, L'f'), written->function);
  EXPECT_EQ(std::wstring(L"copy.cc"), written->file);
  EXPECT_EQ(42u, written->line);

  CrashPipeClient full_memory(CrashServerRecorder::OwnPipeName(),
                              MiniDumpWithFullMemory, CrashKeySet());
  ASSERT_TRUE(full_memory.Register());
  EXPECT_TRUE(RequestDumpOnOtherThread(&full_memory, nullptr, nullptr));
  EXPECT_EQ(1u, recorder.dumps().size());
  base::FileEnumerator files(folder.path(), false, base::FileEnumerator::FILES);
  EXPECT_EQ(dump.dump_path, files.Next());
  EXPECT_TRUE(files.Next().empty());
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo

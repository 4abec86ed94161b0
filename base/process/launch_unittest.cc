#include "base/process/launch.h"

#include <tlhelp32.h>

#include <string>

#include "base/command_line.h"
#include "base/test/process_test_child_command.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/win/extended_startup_info.h"
#include "base/win/owned_process_information.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using win::ScopedHandle;

HANDLE NewEvent(BOOL inheritable) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, inheritable};
  return ::CreateEventW(&attributes, TRUE, FALSE, nullptr);
}

bool IsSignaled(HANDLE handle) {
  return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

int CountLiveChildren() {
  ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    count += entry.th32ParentProcessID == ::GetCurrentProcessId();
  }
  return count;
}

CommandLine Signal(HANDLE first, HANDLE second) {
  return MakeTestChildCommandLine(
      {"signal", HandleToChildArgument(first), HandleToChildArgument(second)});
}

TEST(LaunchProcessTest, ChildInheritsExactlyTheHandlesItIsGiven) {
  enum List { kNone, kEmpty, kListed, kListedAndUnopened };
  // The listed event starts out not inheritable, the other one inheritable.
  const struct {
    bool inherit_handles;
    List list;
    win::Version version;
    bool launched, listed_set, other_set;
  } kCases[] = {
      {false, kNone, win::VERSION_WIN7, true, false, false},
      {true, kNone, win::VERSION_WIN7, true, false, true},
      {false, kListed, win::VERSION_WIN7, true, true, false},
      {true, kEmpty, win::VERSION_WIN7, true, false, false},
      {false, kListed, win::VERSION_SERVER_2003, false, false, false},
      {false, kListedAndUnopened, win::VERSION_WIN7, false, false, false},
  };
  for (const auto& test_case : kCases) {
    win::ScopedWindowsVersionOverride version(test_case.version);
    ScopedHandle listed(NewEvent(false)), other(NewEvent(true));
    HandlesToInheritVector handles;
    if (test_case.list >= kListed)
      handles.push_back(listed.Get());
    if (test_case.list == kListedAndUnopened)
      handles.push_back(reinterpret_cast<HANDLE>(0x7FFFFFF0));
    LaunchOptions options;
    options.inherit_handles = test_case.inherit_handles;
    options.handles_to_inherit = test_case.list == kNone ? nullptr : &handles;
    options.wait = true;
    Process process = LaunchProcess(Signal(listed.Get(), other.Get()), options);
    ASSERT_EQ(test_case.launched, process.IsValid()) << test_case.list;
    // With the wait, the child has ended by the time LaunchProcess returns.
    EXPECT_TRUE(!process.IsValid() || IsSignaled(process.Handle()));
    EXPECT_EQ(test_case.listed_set, IsSignaled(listed.Get()));
    EXPECT_EQ(test_case.other_set, IsSignaled(other.Get()));
  }
}

TEST(LaunchProcessTest, StandardHandlesAndWindowStateReachTheChild) {
  for (bool hidden : {true, false}) {
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, TRUE};
    HANDLE read_handle = nullptr, write_handle = nullptr;
    ASSERT_TRUE(::CreatePipe(&read_handle, &write_handle, &attributes, 0));
    ScopedHandle read_end(read_handle), write_end(write_handle);
    LaunchOptions options;
    options.start_hidden = hidden;
    options.stdout_handle = write_end.Get();
    options.inherit_handles = true;
    Process process =
        LaunchProcess(MakeTestChildCommandLine({"startup-info"}), options);
    write_end.Close();
    char output[64] = {};
    DWORD read = 0;
    ::ReadFile(read_end.Get(), output, sizeof(output) - 1, &read, nullptr);
    EXPECT_EQ(
        "flags=" + std::to_string(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES) +
            (hidden ? " show=0 " : " show=5 "),
        output);
    EXPECT_EQ(0u, WaitForTestChildExit(process.Handle()));
  }
}

TEST(LaunchProcessTest, JobChildRunsInsideTheJobOrNotAtAll) {
  ScopedHandle job(::CreateJobObjectW(nullptr, nullptr));
  LaunchOptions options;
  options.job_handle = job.Get();
  Process process = LaunchProcess(MakeTestChildCommandLine({"sleep"}), options);
  BOOL in_job = FALSE;
  ASSERT_TRUE(::IsProcessInJob(process.Handle(), job.Get(), &in_job));
  EXPECT_TRUE(in_job);
  ASSERT_TRUE(::TerminateJobObject(job.Get(), 77));
  EXPECT_EQ(77u, WaitForTestChildExit(process.Handle()));
  // An event is no job: the child is ended before it runs.
  ScopedHandle event(NewEvent(true));
  const int children_before = CountLiveChildren();
  options.inherit_handles = true;
  options.job_handle = event.Get();
  EXPECT_FALSE(
      LaunchProcess(Signal(event.Get(), event.Get()), options).IsValid());
  EXPECT_FALSE(IsSignaled(event.Get()));
  EXPECT_EQ(children_before, CountLiveChildren());
  // A job makes the child start suspended, and before Windows 8, where jobs
  // do not nest, outside the caller's job.
  const DWORD kSuspended = CREATE_SUSPENDED, kOut = CREATE_BREAKAWAY_FROM_JOB;
  const struct {
    bool job, breakaway;
    win::Version version;
    DWORD flags;
  } kCases[] = {{true, false, win::VERSION_WIN7, kSuspended | kOut},
                {true, false, win::VERSION_WIN8, kSuspended},
                {true, true, win::VERSION_WIN8, kSuspended | kOut},
                {false, true, win::VERSION_WIN8, kOut}};
  for (const auto& test_case : kCases) {
    win::ScopedWindowsVersionOverride version(test_case.version);
    options.job_handle = test_case.job ? job.Get() : nullptr;
    options.force_breakaway_from_job = test_case.breakaway;
    EXPECT_EQ(test_case.flags, internal::JobCreationFlags(options));
  }
}

TEST(LaunchProcessTest, AsTheGivenUserOrNotAtAll) {
  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(
      ::GetCurrentProcess(),
      TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &token));
  ScopedHandle user_token(token);
  LaunchOptions options;
  options.as_user = user_token.Get();
  const CommandLine exit_6 = MakeTestChildCommandLine({"exit", "6"});
  EXPECT_EQ(6u, WaitForTestChildExit(LaunchProcess(exit_6, options).Handle()));
  options.as_user = ::GetCurrentProcess();  // No token.
  EXPECT_FALSE(LaunchProcess(exit_6, options).IsValid());
  options.as_user = nullptr;
  EXPECT_FALSE(LaunchProcess(L"\"C:\\no\\such.exe\"", options).IsValid());
  EXPECT_FALSE(LaunchProcess(string16(), options).IsValid());
}

TEST(GetAppOutputTest, CollectsTheOutputOfAChildThatDidNotFail) {
  std::string output = "kept:";
  ASSERT_TRUE(
      GetAppOutput(MakeTestChildCommandLine({"write", "5000"}), &output));
  ASSERT_EQ(5005u, output.size());
  for (size_t i = 0; i < 5000; ++i)
    ASSERT_EQ(static_cast<char>('a' + (i % 256) % 26), output[5 + i]) << i;
  const string16 write =
      MakeTestChildCommandLine({"write", "3"}).GetCommandLineString(false);
  for (bool with_errors : {true, false}) {
    output.clear();
    ASSERT_TRUE(GetAppOutputInternal(write, with_errors, &output));
    EXPECT_EQ(with_errors ? "abcerr" : "abc", output);
  }
  // Only a code that says the child was ended from outside is no failure.
  for (const char* exit_code : {"3", "3221225477", "1"}) {
    EXPECT_EQ(
        exit_code[0] == '1' && !exit_code[1],
        GetAppOutput(MakeTestChildCommandLine({"exit", exit_code}), &output));
  }
  EXPECT_FALSE(GetAppOutputInternal(L"\"C:\\no\\such.exe\"", false, &output));
  EXPECT_EQ("abc", output);
}

TEST(ExtendedStartupInfoTest, PlainBeforeVistaThenOneAttributeList) {
  {
    win::ScopedWindowsVersionOverride xp(win::VERSION_XP);
    win::ExtendedStartupInfo plain;
    EXPECT_EQ(sizeof(STARTUPINFOW), plain.startup_info()->cb);
    EXPECT_FALSE(plain.InitializeAttributeList(1));
  }
  win::ScopedWindowsVersionOverride vista(win::VERSION_VISTA);
  win::ExtendedStartupInfo info;
  EXPECT_EQ(sizeof(STARTUPINFOEXW), info.startup_info()->cb);
  HANDLE handles[1] = {::GetCurrentProcess()};
  const DWORD_PTR kList = PROC_THREAD_ATTRIBUTE_HANDLE_LIST;
  EXPECT_FALSE(info.UpdateAttribute(kList, handles, sizeof(handles)));
  ASSERT_TRUE(info.InitializeAttributeList(1));
  EXPECT_FALSE(info.InitializeAttributeList(1));
  EXPECT_TRUE(info.UpdateAttribute(kList, handles, sizeof(handles)));
  // A list made for one attribute has no room for a second.
  EXPECT_FALSE(info.UpdateAttribute(PROC_THREAD_ATTRIBUTE_PARENT_PROCESS,
                                    handles, sizeof(handles)));
  EXPECT_NE(
      nullptr,
      reinterpret_cast<STARTUPINFOEXW*>(info.startup_info())->lpAttributeList);
}

TEST(OwnedProcessInformationTest, OwnsBothHandlesUntilReleasedOrClosed) {
  const PROCESS_INFORMATION first = {NewEvent(false), NewEvent(false), 1, 2};
  const PROCESS_INFORMATION second = {NewEvent(false), NewEvent(false), 3, 4};
  win::OwnedProcessInformation owned;
  owned.Set(first);
  owned.Set(second);  // Closes both earlier handles.
  EXPECT_FALSE(IsOpen(first.hProcess) || IsOpen(first.hThread));
  EXPECT_EQ(second.hProcess, owned.ReleaseProcessHandle());
  EXPECT_EQ(0u, owned.process_id());
  EXPECT_EQ(4u, owned.thread_id());
  owned.Close();
  EXPECT_TRUE(IsOpen(second.hProcess));
  EXPECT_FALSE(IsOpen(second.hThread));
  ::CloseHandle(second.hProcess);
}

}  // namespace
}  // namespace base

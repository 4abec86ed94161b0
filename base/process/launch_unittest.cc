#include "base/process/launch.h"

#include <windows.h>

#include <tlhelp32.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/process/kill.h"
#include "base/test/process_test_child_command.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {

namespace {

HANDLE CreateEvent(bool inheritable) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, inheritable};
  return ::CreateEventW(&attributes, TRUE, FALSE, nullptr);
}

bool IsSignaled(HANDLE handle) {
  return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

bool IsInheritable(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) &&
         (flags & HANDLE_FLAG_INHERIT) != 0;
}

// The exit code of |process| once it has ended.
DWORD WaitForExitCode(const Process& process) {
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Handle(), INFINITE));
  DWORD exit_code = 0;
  EXPECT_TRUE(::GetExitCodeProcess(process.Handle(), &exit_code));
  return exit_code;
}

// The child processes of this process that are still alive, found by a
// process snapshot.
int CountLiveChildren() {
  win::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  EXPECT_TRUE(snapshot.IsValid());
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ParentProcessID == ::GetCurrentProcessId())
      ++count;
  }
  return count;
}

// Launches |command_line| with its standard output going to a pipe, and
// returns what it wrote once it has ended.
std::string LaunchAndReadOutput(const CommandLine& command_line,
                                LaunchOptions options) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, TRUE};
  HANDLE read_handle = nullptr;
  HANDLE write_handle = nullptr;
  EXPECT_TRUE(::CreatePipe(&read_handle, &write_handle, &attributes, 0));
  win::ScopedHandle read_end(read_handle);
  win::ScopedHandle write_end(write_handle);
  ::SetHandleInformation(read_end.Get(), HANDLE_FLAG_INHERIT, 0);

  options.stdout_handle = write_end.Get();
  options.inherit_handles = true;
  Process process = LaunchProcess(command_line, options);
  EXPECT_TRUE(process.IsValid());
  write_end.Close();

  std::string output;
  char buffer[256];
  DWORD read = 0;
  while (::ReadFile(read_end.Get(), buffer, sizeof(buffer), &read, nullptr) &&
         read > 0) {
    output.append(buffer, read);
  }
  if (process.IsValid()) {
    EXPECT_EQ(0u, WaitForExitCode(process));
  }
  return output;
}

}  // namespace

TEST(LaunchProcessTest, ChildInheritsHandlesOnlyWhenAsked) {
  win::ScopedHandle event(CreateEvent(true));
  ASSERT_TRUE(event.IsValid());
  const CommandLine signal =
      MakeTestChildCommandLine({"signal", HandleToChildArgument(event.Get())});

  LaunchOptions options;
  options.wait = true;
  Process not_inheriting = LaunchProcess(signal, options);
  ASSERT_TRUE(not_inheriting.IsValid());
  WaitForExitCode(not_inheriting);
  EXPECT_FALSE(IsSignaled(event.Get()));

  options.inherit_handles = true;
  Process inheriting = LaunchProcess(signal, options);
  ASSERT_TRUE(inheriting.IsValid());
  EXPECT_EQ(0u, WaitForExitCode(inheriting));
  EXPECT_TRUE(IsSignaled(event.Get()));
}

TEST(LaunchProcessTest, HandleListPassesExactlyTheListedHandles) {
  // The listed handle starts out not inheritable; the unlisted one is
  // inheritable and would pass without a list.
  win::ScopedHandle listed(CreateEvent(false));
  win::ScopedHandle unlisted(CreateEvent(true));
  ASSERT_TRUE(listed.IsValid() && unlisted.IsValid());
  HandlesToInheritVector handles = {listed.Get()};

  LaunchOptions options;
  options.wait = true;
  options.handles_to_inherit = &handles;
  Process process = LaunchProcess(
      MakeTestChildCommandLine({"signal", HandleToChildArgument(listed.Get()),
                                HandleToChildArgument(unlisted.Get())}),
      options);
  ASSERT_TRUE(process.IsValid());
  // Bit 0 of the exit code would say that the listed handle failed.
  EXPECT_EQ(0u, WaitForExitCode(process) & 1);
  EXPECT_TRUE(IsSignaled(listed.Get()));
  EXPECT_FALSE(IsSignaled(unlisted.Get()));
  EXPECT_TRUE(IsInheritable(listed.Get()));
}

TEST(LaunchProcessTest, EmptyHandleListPassesNoHandle) {
  win::ScopedHandle event(CreateEvent(true));
  ASSERT_TRUE(event.IsValid());
  HandlesToInheritVector no_handles;

  LaunchOptions options;
  options.wait = true;
  options.inherit_handles = true;
  options.handles_to_inherit = &no_handles;
  Process process = LaunchProcess(
      MakeTestChildCommandLine({"signal", HandleToChildArgument(event.Get())}),
      options);
  ASSERT_TRUE(process.IsValid());
  WaitForExitCode(process);
  EXPECT_FALSE(IsSignaled(event.Get()));
}

TEST(LaunchProcessTest, HandleListFailsBeforeVistaAndForInvalidHandles) {
  win::ScopedHandle event(CreateEvent(true));
  ASSERT_TRUE(event.IsValid());
  HandlesToInheritVector handles = {event.Get()};
  LaunchOptions options;
  options.handles_to_inherit = &handles;
  const CommandLine signal =
      MakeTestChildCommandLine({"signal", HandleToChildArgument(event.Get())});
  {
    win::ScopedWindowsVersionOverride xp(win::VERSION_SERVER_2003);
    EXPECT_FALSE(LaunchProcess(signal, options).IsValid());
  }

  // A handle that is not open cannot be passed on.
  HandlesToInheritVector bad_handles = {event.Get(),
                                        reinterpret_cast<HANDLE>(0x7FFFFFF0)};
  options.handles_to_inherit = &bad_handles;
  EXPECT_FALSE(LaunchProcess(signal, options).IsValid());
  EXPECT_FALSE(IsSignaled(event.Get()));
}

TEST(LaunchProcessTest, StandardHandlesAndWindowStateReachTheChild) {
  const CommandLine startup_info = MakeTestChildCommandLine({"startup-info"});
  LaunchOptions options;
  options.start_hidden = true;
  const std::string hidden = LaunchAndReadOutput(startup_info, options);
  EXPECT_NE(
      std::string::npos,
      hidden.find("flags=" +
                  std::to_string(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES) +
                  " show=0 "))
      << hidden;

  options.start_hidden = false;
  const std::string shown = LaunchAndReadOutput(startup_info, options);
  EXPECT_NE(std::string::npos, shown.find(" show=5 ")) << shown;
}

TEST(LaunchProcessTest, JobChildRunsInsideTheJob) {
  win::ScopedHandle job(::CreateJobObjectW(nullptr, nullptr));
  ASSERT_TRUE(job.IsValid());
  LaunchOptions options;
  options.job_handle = job.Get();
  Process process = LaunchProcess(MakeTestChildCommandLine({"sleep"}), options);
  ASSERT_TRUE(process.IsValid());

  BOOL in_job = FALSE;
  ASSERT_TRUE(::IsProcessInJob(process.Handle(), job.Get(), &in_job));
  EXPECT_TRUE(in_job);
  // Ending the job ends the child, which shows that it was resumed and
  // running inside it.
  int32_t exit_code = 0;
  EXPECT_EQ(PROCESS_EXIT_STATUS_STILL_RUNNING,
            GetProcessExitStatus(process.Handle(), &exit_code));
  ASSERT_TRUE(::TerminateJobObject(job.Get(), 77));
  EXPECT_EQ(77u, WaitForExitCode(process));
}

TEST(LaunchProcessTest, ChildThatCannotJoinItsJobIsEndedUnrun) {
  win::ScopedHandle event(CreateEvent(true));
  ASSERT_TRUE(event.IsValid());
  const int children_before = CountLiveChildren();

  // An event is no job, so the assignment fails.
  LaunchOptions options;
  options.inherit_handles = true;
  options.job_handle = event.Get();
  Process process = LaunchProcess(
      MakeTestChildCommandLine({"signal", HandleToChildArgument(event.Get())}),
      options);
  EXPECT_FALSE(process.IsValid());
  EXPECT_FALSE(IsSignaled(event.Get()));
  EXPECT_EQ(children_before, CountLiveChildren());
}

TEST(LaunchProcessTest, JobCreationFlagsFollowTheWindowsVersion) {
  LaunchOptions options;
  EXPECT_EQ(0u, internal::JobCreationFlags(options));
  options.force_breakaway_from_job = true;
  EXPECT_EQ(static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB),
            internal::JobCreationFlags(options));

  options.force_breakaway_from_job = false;
  options.job_handle = reinterpret_cast<HANDLE>(0x1234);
  {
    win::ScopedWindowsVersionOverride win7(win::VERSION_WIN7);
    EXPECT_EQ(static_cast<DWORD>(CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB),
              internal::JobCreationFlags(options));
  }
  {
    win::ScopedWindowsVersionOverride win8(win::VERSION_WIN8);
    EXPECT_EQ(static_cast<DWORD>(CREATE_SUSPENDED),
              internal::JobCreationFlags(options));
    options.force_breakaway_from_job = true;
    EXPECT_EQ(static_cast<DWORD>(CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB),
              internal::JobCreationFlags(options));
  }
}

TEST(LaunchProcessTest, WaitReturnsOnlyAfterTheChildHasEnded) {
  LaunchOptions options;
  options.wait = true;
  Process process =
      LaunchProcess(MakeTestChildCommandLine({"exit", "5"}), options);
  ASSERT_TRUE(process.IsValid());
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
            ::WaitForSingleObject(process.Handle(), 0));
  int32_t exit_code = 0;
  EXPECT_EQ(PROCESS_EXIT_STATUS_PROCESS_CRASHED,
            GetProcessExitStatus(process.Handle(), &exit_code));
  EXPECT_EQ(5, exit_code);
}

TEST(LaunchProcessTest, ChildRunsAsTheGivenUser) {
  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(
      ::GetCurrentProcess(),
      TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &token));
  win::ScopedHandle user_token(token);
  LaunchOptions options;
  options.wait = true;
  options.as_user = user_token.Get();
  Process process =
      LaunchProcess(MakeTestChildCommandLine({"exit", "6"}), options);
  ASSERT_TRUE(process.IsValid());
  EXPECT_EQ(6u, WaitForExitCode(process));

  // A token that is none fails before any child is made.
  options.as_user = ::GetCurrentProcess();
  EXPECT_FALSE(LaunchProcess(MakeTestChildCommandLine({"exit", "6"}), options)
                   .IsValid());
}

TEST(LaunchProcessTest, MissingProgramGivesAnInvalidProcess) {
  LaunchOptions options;
  options.wait = true;
  EXPECT_FALSE(
      LaunchProcess(string16(L"\"C:\\no such folder\\no such program.exe\""),
                    options)
          .IsValid());
  EXPECT_FALSE(LaunchProcess(string16(), options).IsValid());
}

TEST(GetAppOutputTest, AppendsAllTheChildWroteToItsOutput) {
  std::string output = "kept:";
  ASSERT_TRUE(
      GetAppOutput(MakeTestChildCommandLine({"write", "5000"}), &output));
  ASSERT_EQ(5u + 5000u, output.size());
  EXPECT_EQ("kept:", output.substr(0, 5));
  for (size_t i = 0; i < 5000; ++i) {
    ASSERT_EQ(static_cast<char>('a' + (i % 256) % 26), output[5 + i])
        << "at " << i;
  }
}

TEST(GetAppOutputTest, StandardErrorIsCollectedOnlyWhenAsked) {
  const string16 command_line =
      MakeTestChildCommandLine({"write-both"}).GetCommandLineString(false);
  std::string output;
  ASSERT_TRUE(GetAppOutputInternal(command_line, true, &output));
  EXPECT_EQ("outerr", output);

  output.clear();
  ASSERT_TRUE(GetAppOutputInternal(command_line, false, &output));
  EXPECT_EQ("out", output);
}

TEST(GetAppOutputTest, CrashedOrMissingChildIsAFailure) {
  std::string output = "kept";
  EXPECT_FALSE(GetAppOutput(MakeTestChildCommandLine({"exit", "3"}), &output));
  EXPECT_FALSE(GetAppOutput(
      MakeTestChildCommandLine({"exit", std::to_string(0xC0000005u)}),
      &output));
  // Codes that mean the child was ended from outside are not failures.
  EXPECT_TRUE(GetAppOutput(MakeTestChildCommandLine({"exit", "1"}), &output));
  EXPECT_EQ("kept", output);

  EXPECT_FALSE(GetAppOutputInternal(
      L"\"C:\\no such folder\\no such program.exe\"", false, &output));
  EXPECT_EQ("kept", output);
}

}  // namespace base

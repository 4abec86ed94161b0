// The reporter's minidumps and short crash log, written of the test process
// itself from crash fields it sets up the way a crashed process would.

#include "desktop/windows/crash_reporter/minidump_writer.h"

#include <windows.h>

#include <dbghelp.h>
#include <psapi.h>
#include <string.h>

#include <string>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/windows/crash_reporter/test/crash_test_child_command.h"
#include "desktop/windows/crash_reporter/test/minidump_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

constexpr DWORD kCrashCode = 0xC0000005;
constexpr uint64_t kCrashAddress = 0x7FF612345678;

// The crash fields as a crashed process holds them: the tests write them
// into a waiting child, with addresses valid there.
struct CrashFields {
  EXCEPTION_RECORD exception;
  CONTEXT context;
  EXCEPTION_POINTERS pointers;
  uint64_t pointers_address;
  DWORD thread_id;
  AssertionRecord assertion;
  SelfCrashRecord record;
};

class MinidumpWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.IsValid());
    std::wstring command_line =
        CrashTestChildCommandLine("wait").GetCommandLineString(false);
    STARTUPINFOW startup = {sizeof(startup)};
    ASSERT_TRUE(::CreateProcessW(nullptr, &command_line[0], nullptr, nullptr,
                                 FALSE, 0, nullptr, nullptr, &startup,
                                 &child_));
    remote_ = reinterpret_cast<uintptr_t>(
        ::VirtualAllocEx(child_.hProcess, nullptr, sizeof(CrashFields),
                         MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(0u, remote_);
    fields_ = {};
    fields_.exception.ExceptionCode = kCrashCode;
    fields_.exception.ExceptionAddress =
        reinterpret_cast<void*>(static_cast<uintptr_t>(kCrashAddress));
    fields_.context.ContextFlags = CONTEXT_FULL;
    ASSERT_NE(static_cast<DWORD>(-1), ::SuspendThread(child_.hThread));
    ASSERT_TRUE(::GetThreadContext(child_.hThread, &fields_.context));
    ::ResumeThread(child_.hThread);
    fields_.pointers.ExceptionRecord =
        reinterpret_cast<EXCEPTION_RECORD*>(Remote(&fields_.exception));
    fields_.pointers.ContextRecord =
        reinterpret_cast<CONTEXT*>(Remote(&fields_.context));
    fields_.pointers_address = Remote(&fields_.pointers);
    fields_.thread_id = child_.dwThreadId;
    wcscpy(fields_.assertion.expression, L"length < size");
    fields_.assertion.line = 42;
    fields_.assertion.type = AssertionRecord::kInvalidParameter;
    fields_.record.thread_id = fields_.thread_id;
    fields_.record.exception_pointers = fields_.pointers_address;
    fields_.record.assertion = fields_.assertion;
    Publish();
  }

  void TearDown() override {
    if (child_.hProcess) {
      ::TerminateProcess(child_.hProcess, 0);
      ::WaitForSingleObject(child_.hProcess, 10000);
      ::CloseHandle(child_.hThread);
      ::CloseHandle(child_.hProcess);
    }
  }

  // Where |field| of the fields lives in the child.
  uint64_t Remote(const void* field) const {
    return remote_ + (static_cast<const char*>(field) -
                      reinterpret_cast<const char*>(&fields_));
  }

  void Publish() {
    SIZE_T written = 0;
    ASSERT_TRUE(::WriteProcessMemory(
        child_.hProcess,
        reinterpret_cast<void*>(static_cast<uintptr_t>(remote_)), &fields_,
        sizeof(fields_), &written));
  }

  base::FilePath Path(const wchar_t* name) const {
    return dir_.path().Append(name);
  }

  bool WriteClientDump(const base::FilePath& path, int64_t limit) {
    return WriteClientMinidump(child_.dwProcessId, Remote(&fields_.thread_id),
                               Remote(&fields_.pointers_address),
                               Remote(&fields_.assertion), path, limit);
  }

  static std::string Read(const base::FilePath& path) {
    std::string bytes;
    base::ReadFileToString(path, &bytes);
    return bytes;
  }

  uint64_t RecordAddress() const { return Remote(&fields_.record); }

  base::UniqueTestDir dir_;
  PROCESS_INFORMATION child_ = {};
  uint64_t remote_ = 0;
  CrashFields fields_;
};

// The version stream always; the assertion part only for an invalid
// parameter, whose texts it carries as they stood.
TEST_F(MinidumpWriterTest, AssertionStreamOnlyForAnInvalidParameter) {
  const std::string version = ProductInfo::GetVersionString() + " " +
                              base::IntToString(ProductInfo::GetBuildNumber());
  const struct {
    uint32_t kind;
    bool has_assertion_stream;
  } cases[] = {{AssertionRecord::kInvalidParameter, true},
               {AssertionRecord::kPureVirtualCall, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    fields_.assertion.type = c.kind;
    Publish();
    const base::FilePath path = Path(L"client.dmp");
    ASSERT_TRUE(WriteClientDump(path, kClientMinidumpSizeLimit * 10));
    const auto streams = ReadMinidumpStreams(Read(path), kVersionStreamType);
    EXPECT_EQ(version, streams.at(kVersionStreamType));
    ASSERT_EQ(c.has_assertion_stream, streams.count(kAssertionStreamType) == 1);
    if (c.has_assertion_stream) {
      EXPECT_EQ(
          0, memcmp(&fields_.assertion, streams.at(kAssertionStreamType).data(),
                    sizeof(AssertionRecord)));
    }
  }
}

// A dump is kept at its limit; over it, it is written again plain, and when
// that is over the limit too, nothing is kept. (Wine writes both kinds
// alike, so the plain one is never smaller here.)
TEST_F(MinidumpWriterTest, KeepsNoDumpOverTheLimit) {
  const base::FilePath path = Path(L"limit.dmp");
  ASSERT_TRUE(WriteClientDump(path, kClientMinidumpSizeLimit * 10));
  const std::string rich = Read(path);
  EXPECT_EQ(uint64_t{MiniDumpWithIndirectlyReferencedMemory},
            ReadMinidumpType(rich));
  EXPECT_FALSE(WriteClientDump(path, 1000));
  EXPECT_FALSE(base::PathExists(path));
}

// What a test prints of a dump it meets: the module and offset of the
// crash's address, the address an access violation touched, the thread.
TEST_F(MinidumpWriterTest, TellsWhereTheCrashHappened) {
  // The child's executable comes first among its modules, once its loader
  // has listed them.
  HMODULE modules[256] = {};
  DWORD size = 0;
  for (int tries = 0; size == 0 && tries < 1000; ++tries) {
    if (!::EnumProcessModules(child_.hProcess, modules, sizeof(modules),
                              &size)) {
      size = 0;
    }
    ::Sleep(10);
  }
  ASSERT_NE(0u, size);
  const uint64_t base = reinterpret_cast<uintptr_t>(modules[0]);
  const struct {
    uint64_t address;
    DWORD parameters;
    const char* where;
  } cases[] = {
      {kCrashAddress, 0, "0x7ff612345678"},
      {base + 0x1234, 2, "crash_reporter_test_child.exe+0x1234 (writing 0x10)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    fields_.exception.ExceptionAddress =
        reinterpret_cast<void*>(static_cast<uintptr_t>(c.address));
    fields_.exception.NumberParameters = c.parameters;
    fields_.exception.ExceptionInformation[0] = 1;
    fields_.exception.ExceptionInformation[1] = 0x10;
    Publish();
    const base::FilePath path = Path(L"where.dmp");
    ASSERT_TRUE(WriteClientDump(path, kClientMinidumpSizeLimit * 10));
    EXPECT_EQ(std::string("exception 0xC0000005 at ") + c.where +
                  " in thread " + base::UintToString(child_.dwThreadId),
              DescribeMinidumpException(Read(path)));
  }
  EXPECT_EQ("", DescribeMinidumpException("MDMP"));
}

// Unreadable crash fields and a process that is gone write nothing.
TEST_F(MinidumpWriterTest, UnreadableFieldsLeaveNoFile) {
  const base::FilePath path = Path(L"none.dmp");
  const DWORD pid = child_.dwProcessId;
  const uint64_t thread_id = Remote(&fields_.thread_id);
  const uint64_t pointers = Remote(&fields_.pointers_address);
  EXPECT_FALSE(WriteClientMinidump(pid, thread_id, 16, 0, path, INT64_MAX));
  EXPECT_FALSE(WriteClientMinidump(pid, 16, pointers, 0, path, INT64_MAX));
  EXPECT_FALSE(
      WriteClientMinidump(pid, thread_id, pointers, 16, path, INT64_MAX));
  EXPECT_FALSE(WriteReporterMinidump(pid, 16, path, INT64_MAX));
  EXPECT_FALSE(WriteShortCrashLog(pid, 16, path, INT64_MAX));
  EXPECT_FALSE(
      WriteReporterMinidump(0xFFFFFFF0, RecordAddress(), path, INT64_MAX));
  EXPECT_FALSE(base::PathExists(path));

  // The whole record is read: its assertion part reaches the dump.
  ASSERT_TRUE(WriteReporterMinidump(pid, RecordAddress(), path, INT64_MAX));
  const auto streams = ReadMinidumpStreams(Read(path), kVersionStreamType);
  ASSERT_EQ(2u, streams.size());
  EXPECT_EQ(0,
            memcmp(&fields_.assertion, streams.at(kAssertionStreamType).data(),
                   sizeof(AssertionRecord)));
}

// The short log: header, exception line, the reporter's metadata, then the
// dump's bytes; too large a dump or a log that cannot be made writes none.
TEST_F(MinidumpWriterTest, ShortCrashLogCarriesTheDumpAfterItsHeader) {
  const std::string expected =
      "VEXLO-CRASHLOG V1 desktop" +
      ProductConfiguration::GetCrashLogProductSuffix() + " " +
      ProductInfo::GetVersionString() + " " +
      base::IntToString(ProductInfo::GetBuildNumber()) +
      " windows x64 release\r\n"
      "crash_reporter_test_child.exe caused exception C0000005 at address "
      "7FF612345678 (BASE: 00000000)\r\n\r\nmetadata:\r\n"
      "process_type=\"crash_reporter\"\r\n\r\nminidump:\r\n";
  const base::FilePath path = Path(L"short.txt");
  ASSERT_TRUE(
      WriteShortCrashLog(child_.dwProcessId, RecordAddress(), path, INT64_MAX));
  const std::string log = Read(path);
  ASSERT_EQ(expected, log.substr(0, expected.size()));
  const std::string dump = log.substr(expected.size());
  EXPECT_EQ(uint64_t{MiniDumpWithIndirectlyReferencedMemory},
            ReadMinidumpType(dump));

  EXPECT_FALSE(WriteShortCrashLog(child_.dwProcessId, RecordAddress(),
                                  Path(L"missing\\short.txt"), INT64_MAX));
  const base::FilePath too_large = Path(L"too_large.txt");
  EXPECT_FALSE(
      WriteShortCrashLog(child_.dwProcessId, RecordAddress(), too_large, 1000));
  EXPECT_FALSE(base::PathExists(too_large));
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo

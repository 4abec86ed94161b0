// The crash-reporter process end to end: watched children crash, the real
// reporter (the test child started as one) writes their files and sends
// them to the loopback crash server; and the reporter's parts alone.

#include "desktop/windows/crash_reporter/crash_reporter_server.h"

#include <windows.h>

#include <wchar.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/win/registry.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/launcher/installer/service/test/product_registry.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/windows/crash_reporter/crash_counter.h"
#include "desktop/windows/crash_reporter/frozen_process_log.h"
#include "desktop/windows/crash_reporter/self_crash_reporter.h"
#include "desktop/windows/crash_reporter/test/crash_server_test_util.h"
#include "desktop/windows/crash_reporter/test/crash_test_child_command.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

using installer::HttpTestServer;

constexpr uint64_t kDay = 864000000000;
constexpr wchar_t kLastCrashValue[] = L"Last crash in crash reporter";

base::string16 ProductVariable(const char* suffix) {
  return base::UTF8ToUTF16(
      base::ToUpperASCII(ProductConfiguration::GetProductName()) + suffix);
}

base::string16 CompanyKeyPath() {
  return L"Software\\" +
         base::UTF8ToUTF16(ProductConfiguration::GetCompanyName());
}

uint64_t Now() {
  FILETIME now = {};
  ::GetSystemTimeAsFileTime(&now);
  return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

// Sets the reporter's record of its last reported crash; none when |time|
// is null.
void SetLastReporterCrash(const uint64_t* time) {
  base::win::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, CompanyKeyPath().c_str(),
                       KEY_QUERY_VALUE | KEY_SET_VALUE));
  if (time) {
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValueRaw(kLastCrashValue, time,
                                               sizeof(*time), REG_QWORD));
  } else {
    key.DeleteValue(kLastCrashValue);
  }
}

bool ReadLastReporterCrash(uint64_t* time) {
  base::win::RegKey key(HKEY_CURRENT_USER, CompanyKeyPath().c_str(),
                        KEY_QUERY_VALUE);
  DWORD size = sizeof(*time);
  DWORD type = 0;
  return key.ReadValueRaw(kLastCrashValue, time, &size, &type) ==
             ERROR_SUCCESS &&
         type == REG_QWORD;
}

// The text of a zipped log.
std::string Unzip(const std::string& zip, const base::FilePath& scratch) {
  std::string name;
  std::string text;
  UnzipOnlyEntry(zip, scratch, &name, &text);
  return text;
}

// Reports of the reporter's crashes are three days apart at least; a clock
// behind the record reports nothing; a missing record is made as 0.
void ExpectReportsAtMostEveryThreeDays() {
  const uint64_t last = 400 * kDay;
  const struct {
    uint64_t now;
    bool due;
  } cases[] = {{last + 3 * kDay - kDay / 24, false},
               {last + 3 * kDay, true},
               {last + 30 * kDay, true},
               {last - 1, false}};
  for (const auto& c : cases) {
    SetLastReporterCrash(&last);
    EXPECT_EQ(c.due, IsReporterCrashReportDue(c.now)) << c.now - last;
  }
  SetLastReporterCrash(nullptr);
  EXPECT_TRUE(IsReporterCrashReportDue(3 * kDay));
  uint64_t created = 1;
  ASSERT_TRUE(ReadLastReporterCrash(&created));
  EXPECT_EQ(0u, created);
  ASSERT_TRUE(RecordReporterCrashReport(last));
  EXPECT_FALSE(IsReporterCrashReportDue(last + kDay));
  SetLastReporterCrash(nullptr);
}

class CrashReporterProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log_dir_.IsValid() && temp_dir_.IsValid());
    ASSERT_TRUE(server_.Start());
    server_path_ =
        CrashServerReplyPath(303, "https://crash.example/r?id=42&x=1");
    SetVariable(L"VEXLO_CRASH_SERVER_URL", server_.Url(server_path_));
    SetVariable(L"VEXLO_CRASH_LOG_DIR", log_dir_.path().value());
    SetVariable(L"VEXLO_CRASH_ORIGIN", L"Wirn");
    SetVariable(L"TMP", temp_dir_.path().value());
    SetVariable(L"TEMP", temp_dir_.path().value());
  }

  void TearDown() override {
    for (const auto& variable : saved_)
      ::SetEnvironmentVariableW(
          variable.first.c_str(),
          variable.second.empty() ? nullptr : variable.second.c_str());
  }

  void SetVariable(const base::string16& name, const base::string16& value) {
    wchar_t old[MAX_PATH] = {};
    ::GetEnvironmentVariableW(name.c_str(), old, MAX_PATH);
    saved_.emplace(name, old);
    ::SetEnvironmentVariableW(name.c_str(), value.c_str());
  }

  // The test child as a watched process whose reporter is the real one.
  static base::CommandLine WatchedByRealReporter(const std::string& mode) {
    base::CommandLine command_line = CrashTestChildCommandLine(mode);
    command_line.AppendSwitch("real-reporter");
    command_line.AppendSwitchASCII("with-feature:alternative-crash-logging",
                                   "on");
    return command_line;
  }

  // The requests once |count| have arrived (at most 60 s).
  std::vector<HttpTestServer::Request> WaitForRequests(size_t count) {
    std::vector<HttpTestServer::Request> requests;
    for (int i = 0; i < 600; ++i) {
      requests = server_.GetRequests();
      if (requests.size() >= count)
        break;
      ::Sleep(100);
    }
    return requests;
  }

  // The files left in |folder| after the reporter (which ends after the
  // uploads) had some time.
  static std::vector<base::string16> FilesIn(const base::FilePath& folder) {
    std::vector<base::string16> names;
    base::FileEnumerator files(folder, false, base::FileEnumerator::FILES);
    for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
      names.push_back(file.BaseName().value());
    return names;
  }

  // Checks one crash of a watched installer process as the crash server
  // saw it: the question, the zipped text log with its fields and the
  // minidump with its own.
  void ExpectWatchedCrashReported() {
    const std::vector<HttpTestServer::Request> requests = WaitForRequests(3);
    ASSERT_EQ(3u, requests.size());
    std::map<std::string, HttpTestServer::Request> by_kind;
    for (const HttpTestServer::Request& request : requests)
      by_kind[request.method + " " + request.path] = request;
    const HttpTestServer::Request& query = by_kind["GET " + server_path_];
    EXPECT_EQ("Wirn", query.headers.at("X-Origin"));
    EXPECT_EQ(0u, query.headers.count("X-Vexlo-Crash-URL"));

    const HttpTestServer::Request& log = by_kind["POST " + server_path_];
    std::map<std::string, std::string> fields = FormFields(log);
    fields.erase("CrashUptime");  // Present when the child ran a second.
    EXPECT_EQ((std::map<std::string, std::string>{{"origin", "Wirn"},
                                                  {"stacktraceId", "42"}}),
              fields);
    ASSERT_FALSE(log.form.empty());
    EXPECT_EQ("file", log.form.back().name);
    const std::string& name = log.form.back().filename;
    EXPECT_EQ(".zip",
              name.substr(name.size() - std::min<size_t>(4, name.size())));
    const std::string text =
        Unzip(log.form.back().data, temp_dir_.path().Append(L"check.zip"));
    EXPECT_EQ(0u, text.find("VEXLO-CRASHLOG V1 desktop")) << text.substr(0, 80);
    EXPECT_NE(std::string::npos,
              text.find("crash_reporter_test_child.exe caused exception "
                        "C0000005"));
    EXPECT_NE(std::string::npos, text.find("process_type=\"installer\""));

    // The installer's key table has the mapped slots, empty ones too.
    const HttpTestServer::Request& dump = by_kind["POST /collector/submit"];
    EXPECT_EQ((std::vector<std::string>{
                  "BuildID", "Origin", "ProcessType", "ProductName",
                  "ReleaseChannel", "UBN", "URL", "Version", "gpu_device_id",
                  "gpu_driver_version", "gpu_pixel_shader_version",
                  "gpu_vendor_id", "gpu_vertex_shader_version",
                  "symbols-package", "upload_file_minidump"}),
              FormPartNames(dump));
    EXPECT_EQ("installer", FormFields(dump)["ProcessType"]);
    EXPECT_EQ("Wirn", FormFields(dump)["Origin"]);
    ASSERT_FALSE(dump.form.empty());
    EXPECT_EQ(0u, dump.form.back().data.find("MDMP"));
  }

  base::UniqueTestDir log_dir_;
  base::UniqueTestDir temp_dir_;
  HttpTestServer server_;
  std::string server_path_;
  std::map<base::string16, base::string16> saved_;
};

// A front end starts its reporter; a backend joins it. Either one's crash
// reaches the crash server, and the files go once they are sent.
TEST_F(CrashReporterProcessTest, WatchedCrashesReachTheCrashServer) {
  for (const char* mode : {"null", "backend-null"}) {
    SCOPED_TRACE(mode);
    ASSERT_TRUE(server_.Reset());
    EXPECT_EQ(0xC0000005u,
              RunCrashTestChild(WatchedByRealReporter(mode), nullptr));
    ExpectWatchedCrashReported();
    for (int i = 0; i < 100 && !FilesIn(log_dir_.path()).empty(); ++i)
      ::Sleep(100);
    EXPECT_TRUE(FilesIn(log_dir_.path()).empty());
  }
}

// A 503 drops the text log, but the minidump still goes; with the files
// kept, both stay in the crash-log folder.
TEST_F(CrashReporterProcessTest, ARefusedCrashSendsOnlyItsMinidump) {
  SetVariable(L"VEXLO_CRASH_SERVER_URL", server_.Url("/reply/503"));
  SetVariable(ProductVariable("_CRASH_KEEP_LOGS"), L"yes");
  EXPECT_EQ(0xC0000005u,
            RunCrashTestChild(WatchedByRealReporter("null"), nullptr));
  const std::vector<HttpTestServer::Request> requests = WaitForRequests(2);
  ASSERT_EQ(2u, requests.size());
  std::vector<std::string> seen;
  for (const HttpTestServer::Request& request : requests)
    seen.push_back(request.method + " " + request.path);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(
      (std::vector<std::string>{"GET /reply/503", "POST /collector/submit"}),
      seen);
  std::vector<base::string16> files;
  for (int i = 0; i < 100 && files.size() < 2; ++i, ::Sleep(100))
    files = FilesIn(log_dir_.path());
  ASSERT_EQ(2u, files.size());
  EXPECT_NE(files[0].find(L"-crashlog-"), base::string16::npos);
}

// A reporter that crashes is reported by a fresh copy of itself: its text
// log goes at once, zipped, and the report is recorded; the installer it
// was to watch goes on without one. (The throttle's record is a value of
// the company's key, which the installer's tests read whole: it is held
// as theirs is, so that no other test process sees it or touches it
// meanwhile.)
TEST_F(CrashReporterProcessTest, ACrashedReporterIsReportedByAFreshCopy) {
  installer::ScopedProductRegistry registry(
      {{HKEY_CURRENT_USER, CompanyKeyPath(), true, kLastCrashValue}});
  ExpectReportsAtMostEveryThreeDays();
  SetLastReporterCrash(nullptr);
  const uint64_t before = Now();
  base::CommandLine command_line = WatchedByRealReporter("report");
  command_line.AppendSwitch("reporter-crash");
  EXPECT_EQ(11u, RunCrashTestChild(command_line, nullptr));
  const std::vector<HttpTestServer::Request> requests = WaitForRequests(1);
  std::string seen;
  for (const HttpTestServer::Request& request : requests) {
    seen += request.method + " " + request.path;
    for (const HttpTestServer::FormPart& part : request.form)
      seen += " " + part.name + "=" + part.filename;
    seen += "\n";
  }
  ASSERT_EQ(1u, requests.size()) << seen;
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ(server_path_, requests[0].path);
  ASSERT_EQ((std::vector<std::string>{"file"}), FormPartNames(requests[0]));
  const std::string text =
      Unzip(requests[0].form[0].data, temp_dir_.path().Append(L"check.zip"));
  EXPECT_EQ(0u, text.find("VEXLO-CRASHLOG V1 desktop"));
  EXPECT_NE(std::string::npos, text.find("process_type=\"crash_reporter\""));
  uint64_t recorded = 0;
  for (int i = 0; i < 100 && !(ReadLastReporterCrash(&recorded) && recorded);
       ++i) {
    ::Sleep(100);
  }
  EXPECT_LE(before, recorded);
  SetLastReporterCrash(nullptr);
}

TEST(CrashReporterKeepLogsTest, AsksForOneOrYes) {
  const base::string16 name = ProductVariable("_CRASH_KEEP_LOGS");
  const struct {
    const wchar_t* value;
    bool keep;
  } cases[] = {{L"1", true},   {L"yes", true},  {L"YeS", true},
               {L"0", false},  {L"no", false},  {L"yess", false},
               {L"11", false}, {nullptr, false}};
  for (const auto& c : cases) {
    ::SetEnvironmentVariableW(name.c_str(), c.value);
    EXPECT_EQ(c.keep, IsKeepLogsRequested()) << (c.value ? c.value : L"-");
  }
}

class CrashCounterTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.IsValid()); }

  std::string Count() {
    std::string text;
    base::ReadFileToString(path_, &text);
    return text;
  }

  base::UniqueTestDir dir_;
  const base::FilePath path_ = dir_.path().Append(L"crash_count");
};

// The count file holds lower-case hexadecimal; a file that is no number
// counts from 0.
TEST_F(CrashCounterTest, AddsToTheCountInTheFile) {
  const struct {
    const char* before;
    uint32_t added;
    const char* after;
  } cases[] = {{nullptr, 1, "1"},
               {"ff", 1, "100"},
               {"zz", 2, "2"},
               {"", 16, "10"},
               {"123456789ab", 1, "12345678a"}};
  for (const auto& c : cases) {
    base::DeleteFile(path_, false);
    if (c.before)
      base::WriteFile(path_, c.before, static_cast<int>(strlen(c.before)));
    {
      CrashCounter counter(path_, false);
      counter.Add(c.added, true);
    }
    EXPECT_EQ(c.after, Count()) << (c.before ? c.before : "-");
  }
}

// What cannot be written while the file is held is written once it is
// free, at the latest when the counter stops.
TEST_F(CrashCounterTest, KeepsTheCountUntilTheFileIsFree) {
  base::WriteFile(path_, "a", 1);
  {
    base::win::ScopedHandle held(::CreateFileW(path_.value().c_str(),
                                               GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    CrashCounter counter(path_, true);
    EXPECT_TRUE(counter.keep_logs());
    counter.Add(2, true);
    counter.Add(3, false);
    ::Sleep(300);
    EXPECT_EQ("", Count());
    held.Close();
  }
  EXPECT_EQ("f", Count());
  CrashCounter nowhere{base::FilePath(), false};
  nowhere.Add(1, true);
}

// After ten failed writes in a row the counter waits for the next crash.
TEST_F(CrashCounterTest, GivesUpUntilTheNextCrash) {
  CrashCounter counter(path_, false);
  {
    base::win::ScopedHandle held(::CreateFileW(path_.value().c_str(),
                                               GENERIC_READ, 0, nullptr,
                                               CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    counter.Add(1, true);
    ::Sleep(CrashCounter::kMaxFailures * CrashCounter::kRetryDelayMs * 3);
  }
  ::Sleep(CrashCounter::kRetryDelayMs * 5);
  EXPECT_EQ("", Count());
  counter.Add(1, true);
  // A read may take the file from the counter, which then gives up again:
  // reads come well after a signal, and each round signals once more.
  for (int i = 0; i < 40; ++i) {
    ::Sleep(250);
    if (!Count().empty())
      break;
    counter.Add(0, true);
  }
  EXPECT_EQ("2", Count());
}

// The handle records the crash keys point to, all or those of the invalid
// handle, oldest first around the ring; a bad index or address gives none.
TEST(HandleInfoTest, ReadsTheRingTheKeysPointTo) {
  std::unique_ptr<HandleRecordRing> ring(new HandleRecordRing());
  ring->first = kHandleRecordCount - 1;
  ring->next = 2;
  const uint64_t handles[] = {0x44, 0x48, 0x44};
  for (size_t i = 0; i < 3; ++i) {
    HandleRecord& record =
        ring->records[(ring->first + i) % kHandleRecordCount];
    record.handle = handles[i];
    record.thread_id = static_cast<uint32_t>(i + 1);
    record.backtrace_count = i == 0 ? 30 : 1;
    for (size_t j = 0; j < HandleRecord::kBacktraceLength; ++j)
      record.backtrace[j] = 0x1000 + j;
  }
  CrashKeyEntry entries[2] = {};
  wcscpy(entries[0].name, L"handle_info_items");
  swprintf(
      entries[0].value, CrashKeyEntry::kValueLength, L"%llx",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ring.get())));
  wcscpy(entries[1].name, L"invalid_handle");
  CrashKeySet keys;
  keys.entries = entries;
  keys.count = 1;
  std::vector<std::string> lines =
      GetHandleInfoLines(::GetCurrentProcess(), keys);
  ASSERT_EQ(3u, lines.size());
  std::string backtrace;
  for (int j = 0; j < 20; ++j)
    backtrace += base::StringPrintf(" %x", 0x1000 + j);
  EXPECT_EQ(
      "Handle 44, timestamp 0, info 0, type 0, thread id 1, inherit 0, "
      "protect from close 0, backtrace" +
          backtrace,
      lines[0]);
  EXPECT_EQ(0u, lines[1].find("Handle 48,"));

  wcscpy(entries[1].value, L"44");
  keys.count = 2;
  lines = GetHandleInfoLines(::GetCurrentProcess(), keys);
  ASSERT_EQ(2u, lines.size());
  EXPECT_NE(std::string::npos, lines[1].find("thread id 3,"));

  ring->next = kHandleRecordCount;
  EXPECT_TRUE(GetHandleInfoLines(::GetCurrentProcess(), keys).empty());
  ring->next = 2;
  ring->first = kHandleRecordCount;
  EXPECT_TRUE(GetHandleInfoLines(::GetCurrentProcess(), keys).empty());
  ring->first = 1;
  wcscpy(entries[0].value, L"10");
  EXPECT_TRUE(GetHandleInfoLines(::GetCurrentProcess(), keys).empty());
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo

#include "base/win/windows_version.h"

#include <windows.h>

#include <stdlib.h>

#include <string>
#include <thread>
#include <vector>

#include "base/test/scoped_windows_version_override.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using internal::MajorMinorBuildToVersion;

TEST(WindowsVersionTest, MapsVersionNumbersToReleases) {
  EXPECT_EQ(VERSION_WIN_LAST, MajorMinorBuildToVersion(4, 0, 1381));
  EXPECT_EQ(VERSION_WIN_LAST, MajorMinorBuildToVersion(5, 0, 2195));
  EXPECT_EQ(VERSION_XP, MajorMinorBuildToVersion(5, 1, 2600));
  EXPECT_EQ(VERSION_SERVER_2003, MajorMinorBuildToVersion(5, 2, 3790));
  EXPECT_EQ(VERSION_SERVER_2003, MajorMinorBuildToVersion(5, 3, 0));
  EXPECT_EQ(VERSION_VISTA, MajorMinorBuildToVersion(6, 0, 6002));
  EXPECT_EQ(VERSION_WIN7, MajorMinorBuildToVersion(6, 1, 7601));
  EXPECT_EQ(VERSION_WIN8, MajorMinorBuildToVersion(6, 2, 9200));
  EXPECT_EQ(VERSION_WIN8_1, MajorMinorBuildToVersion(6, 3, 9600));
  EXPECT_EQ(VERSION_WIN8_1, MajorMinorBuildToVersion(6, 4, 0));
  EXPECT_EQ(VERSION_WIN10, MajorMinorBuildToVersion(10, 0, 10240));
  EXPECT_EQ(VERSION_WIN10, MajorMinorBuildToVersion(10, 0, 10585));
  EXPECT_EQ(VERSION_WIN10_TH2, MajorMinorBuildToVersion(10, 0, 10586));
  EXPECT_EQ(VERSION_WIN10_TH2, MajorMinorBuildToVersion(10, 0, 22631));
  for (int major : {7, 8, 9, 11, 12})
    EXPECT_EQ(VERSION_WIN_LAST, MajorMinorBuildToVersion(major, 0, 0));
  // An unlisted release passes every "at least" test.
  EXPECT_GT(VERSION_WIN_LAST, VERSION_WIN10_TH2);
}

TEST(WindowsVersionTest, OverrideNestsAndEnds) {
  Version real = GetVersion();
  {
    ScopedWindowsVersionOverride outer(VERSION_XP);
    EXPECT_EQ(VERSION_XP, GetVersion());
    {
      ScopedWindowsVersionOverride inner(VERSION_WIN10_TH2);
      EXPECT_EQ(VERSION_WIN10_TH2, GetVersion());
    }
    EXPECT_EQ(VERSION_XP, GetVersion());
    // The instance keeps describing the real system.
    EXPECT_EQ(real, OSInfo::GetInstance()->version());
  }
  EXPECT_EQ(real, GetVersion());
}

TEST(OSInfoTest, ThreadsRacingForTheFirstInstanceGetTheSameOne) {
  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(start);
  constexpr int kThreads = 16;
  OSInfo* seen[kThreads] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([start, &seen, i] {
      WaitForSingleObject(start, INFINITE);
      seen[i] = OSInfo::GetInstance();
    });
  }
  SetEvent(start);
  for (std::thread& thread : threads)
    thread.join();
  CloseHandle(start);
  for (OSInfo* info : seen)
    EXPECT_EQ(OSInfo::GetInstance(), info);
}

TEST(OSInfoTest, DescribesThisMachine) {
  OSInfo* info = OSInfo::GetInstance();
  OSInfo::VersionNumber number = info->version_number();
  EXPECT_EQ(MajorMinorBuildToVersion(number.major, number.minor, number.build),
            info->version());
  EXPECT_GE(number.major, 5);
  // This is a 64-bit process on an x64 system.
  EXPECT_EQ(OSInfo::X64_ARCHITECTURE, info->architecture());
  EXPECT_GE(info->processors(), 1);
  size_t granularity = info->allocation_granularity();
  EXPECT_GE(granularity, 4096u);
  EXPECT_EQ(0u, granularity & (granularity - 1)) << "not a power of two";
}

// The version detection, seen from a copy of this program that Wine runs as
// a given Windows release.
constexpr char kProbeVariable[] = "VEXLO_WINDOWS_VERSION_PROBE";
constexpr UINT kProbeExitBase = 100;

TEST(WindowsVersionProbe, ExitsWithTheDetectedVersion) {
  if (!getenv(kProbeVariable))
    GTEST_SKIP()
        << "only runs as the child of WindowsVersionTest.DetectsTheRelease";
  ExitProcess(kProbeExitBase + GetVersion());
}

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
}

// Runs |program| as the probe, its output discarded, and returns its exit
// code (0 when it could not run).
DWORD RunProbe(const std::wstring& program) {
  std::wstring command_line =
      L"\"" + program +
      L"\" --gtest_filter=WindowsVersionProbe.ExitsWithTheDetectedVersion";
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE discard = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE,
                               &inheritable, OPEN_EXISTING, 0, nullptr);
  if (discard == INVALID_HANDLE_VALUE)
    return 0;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = discard;
  startup.hStdError = discard;
  PROCESS_INFORMATION process = {};
  BOOL started =
      CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, TRUE,
                     0, nullptr, nullptr, &startup, &process);
  CloseHandle(discard);
  if (!started)
    return 0;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exit_code;
}

// A copy of this program under its own name, with its own Wine settings key;
// both go when the object does.
class VersionProbe {
 public:
  VersionProbe() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    name_ = L"vexlo_version_probe_" + std::to_wstring(GetCurrentProcessId()) +
            L".exe";
    path_ = std::wstring(temp) + name_;
    settings_key_ = L"Software\\Wine\\AppDefaults\\" + name_;
    SetEnvironmentVariableA(kProbeVariable, "1");
  }
  ~VersionProbe() {
    SetEnvironmentVariableA(kProbeVariable, nullptr);
    RegDeleteKeyW(HKEY_CURRENT_USER, settings_key_.c_str());
    DeleteFileW(path_.c_str());
  }

  bool Create() {
    wchar_t self[MAX_PATH];
    return GetModuleFileNameW(nullptr, self, MAX_PATH) &&
           CopyFileW(self, path_.c_str(), FALSE);
  }

  // The Windows release, in Wine's words ("win7", "win10", ...), that the
  // probe runs as.
  bool SetRelease(const wchar_t* release) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, settings_key_.c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
    DWORD size = static_cast<DWORD>((wcslen(release) + 1) * sizeof(wchar_t));
    LONG result = RegSetValueExW(key, L"Version", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(release), size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
  }

  DWORD Run() const { return RunProbe(path_); }

 private:
  std::wstring name_;
  std::wstring path_;
  std::wstring settings_key_;
};

TEST(WindowsVersionTest, DetectsTheRelease) {
  if (!RunningUnderWine())
    GTEST_SKIP() << "sets the reported release through Wine's settings";

  VersionProbe probe;
  ASSERT_TRUE(probe.Create());
  const struct {
    const wchar_t* release;
    Version expected;
  } kReleases[] = {
      {L"win2003", VERSION_SERVER_2003}, {L"vista", VERSION_VISTA},
      {L"win7", VERSION_WIN7},           {L"win8", VERSION_WIN8},
      {L"win81", VERSION_WIN8_1},        {L"win10", VERSION_WIN10_TH2},
  };
  for (const auto& release : kReleases) {
    ASSERT_TRUE(probe.SetRelease(release.release));
    EXPECT_EQ(kProbeExitBase + release.expected, probe.Run())
        << release.release;
  }
}

}  // namespace
}  // namespace win
}  // namespace base

#include "base/win/windows_version.h"

#include <windows.h>

#include <stdlib.h>

#include <string>

#include "base/process/launch.h"
#include "base/test/process_test_child_command.h"
#include "base/test/scoped_windows_version_override.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using internal::MajorMinorBuildToVersion;

// A copy of this program that Wine runs as a given release is the probe of
// DetectsTheRelease: it reports the release it detects as its exit code, and
// does so before any test is registered, so that it is never a test of its
// own that a run could start, or lose, by itself.
constexpr char kProbeVariable[] = "VEXLO_WINDOWS_VERSION_PROBE";
constexpr UINT kProbeExitBase = 100;
const bool g_runs_as_probe =
    getenv(kProbeVariable) && (ExitProcess(kProbeExitBase + GetVersion()), 1);

TEST(WindowsVersionTest, MapsVersionNumbersToReleases) {
  const struct {
    int major, minor, build;
    Version version;
  } kNumbers[] = {
      {4, 0, 1381, VERSION_WIN_LAST}, {5, 0, 2195, VERSION_WIN_LAST},
      {5, 1, 2600, VERSION_XP},       {5, 2, 3790, VERSION_SERVER_2003},
      {5, 3, 0, VERSION_SERVER_2003}, {6, 0, 6002, VERSION_VISTA},
      {6, 1, 7601, VERSION_WIN7},     {6, 2, 9200, VERSION_WIN8},
      {6, 3, 9600, VERSION_WIN8_1},   {6, 4, 0, VERSION_WIN8_1},
      {7, 0, 0, VERSION_WIN_LAST},    {9, 0, 0, VERSION_WIN_LAST},
      {10, 0, 10585, VERSION_WIN10},  {10, 0, 10586, VERSION_WIN10_TH2},
      {11, 0, 0, VERSION_WIN_LAST},
  };
  for (const auto& n : kNumbers) {
    EXPECT_EQ(n.version, MajorMinorBuildToVersion(n.major, n.minor, n.build))
        << n.major << "." << n.minor << "." << n.build;
  }
}

TEST(WindowsVersionTest, OverrideNestsAndEnds) {
  const Version real = GetVersion();
  {
    ScopedWindowsVersionOverride outer(VERSION_XP);
    {
      ScopedWindowsVersionOverride inner(VERSION_WIN10_TH2);
      EXPECT_EQ(VERSION_WIN10_TH2, GetVersion());
    }
    EXPECT_EQ(VERSION_XP, GetVersion());
    EXPECT_EQ(real, OSInfo::GetInstance()->version());  // Still the system.
  }
  EXPECT_EQ(real, GetVersion());
}

TEST(OSInfoTest, DescribesThisMachine) {
  OSInfo* info = OSInfo::GetInstance();
  EXPECT_EQ(info, OSInfo::GetInstance());
  const OSInfo::VersionNumber number = info->version_number();
  EXPECT_EQ(MajorMinorBuildToVersion(number.major, number.minor, number.build),
            info->version());
  EXPECT_GE(number.major, 6);
  EXPECT_EQ(OSInfo::X64_ARCHITECTURE, info->architecture());
  EXPECT_GE(info->processors(), 1);
  EXPECT_EQ(65536u, info->allocation_granularity());
}

TEST(WindowsVersionTest, DetectsTheRelease) {
  if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
    GTEST_SKIP() << "sets the reported release through Wine's settings";
  // A copy under a name of its own, with its own Wine settings key.
  wchar_t temp[MAX_PATH], self[MAX_PATH];
  ASSERT_TRUE(GetTempPathW(MAX_PATH, temp));
  ASSERT_TRUE(GetModuleFileNameW(nullptr, self, MAX_PATH));
  const std::wstring name = L"vexlo_version_probe_" +
                            std::to_wstring(GetCurrentProcessId()) + L".exe";
  const std::wstring probe = std::wstring(temp) + name;
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + name;
  ASSERT_TRUE(CopyFileW(self, probe.c_str(), FALSE));
  ASSERT_TRUE(SetEnvironmentVariableA(kProbeVariable, "1"));
  const struct {
    const wchar_t* release;  // In Wine's words.
    Version expected;
  } kReleases[] = {
      {L"win2003", VERSION_SERVER_2003}, {L"vista", VERSION_VISTA},
      {L"win7", VERSION_WIN7},           {L"win8", VERSION_WIN8},
      {L"win81", VERSION_WIN8_1},        {L"win10", VERSION_WIN10_TH2},
  };
  for (const auto& release : kReleases) {
    const DWORD size =
        static_cast<DWORD>((wcslen(release.release) + 1) * sizeof(wchar_t));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version",
                              REG_SZ, release.release, size));
    Process run = LaunchProcess(L"\"" + probe + L"\"", LaunchOptions());
    EXPECT_EQ(kProbeExitBase + release.expected,
              WaitForTestChildExit(run.Handle()))
        << release.release;
  }
  SetEnvironmentVariableA(kProbeVariable, nullptr);
  RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
  DeleteFileW(probe.c_str());
}

}  // namespace
}  // namespace win
}  // namespace base

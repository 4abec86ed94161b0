#include "desktop/launcher/installer/uninstall_finalization.h"

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/test/fake_default_app_services.h"
#include "desktop/launcher/installer/service/test/product_registry.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

TEST(UninstallFinalizationTest, SplitsTheReinstallCommand) {
  const struct {
    const wchar_t* text;
    const wchar_t* program;
    const wchar_t* parameters;
  } kCases[] = {
      {L"\"C:\\Program Files\\ie\\setup.exe\" /reinstall /x",
       L"C:\\Program Files\\ie\\setup.exe", L"/reinstall /x"},
      {L"C:\\ie\\setup.exe /reinstall /x", L"C:\\ie\\setup.exe",
       L"/reinstall /x"},
      {L"\"C:\\ie\\setup.exe\"", L"C:\\ie\\setup.exe", L""},
      {L"\"C:\\ie\\setup.exe\" ", L"C:\\ie\\setup.exe", L""},
      {L"\"C:\\ie\\setup.exe /x", L"C:\\ie\\setup.exe /x", L""},
      {L"C:\\ie\\setup.exe", L"C:\\ie\\setup.exe", L""},
      {L"setup.exe ", L"setup.exe", L""},
      {L"", L"", L""},
  };
  for (const auto& test : kCases) {
    base::string16 program = L"stale";
    base::string16 parameters = L"stale";
    SplitReinstallCommand(test.text, &program, &parameters);
    EXPECT_EQ(test.program, program) << test.text;
    EXPECT_EQ(test.parameters, parameters) << test.text;
  }
}

TEST(UninstallFinalizationTest, BuildsTheSurveyAddress) {
  const struct {
    const char* uuid;
    const char* welcome;
    const char* url;
  } kCases[] = {
      {"x", "w?p=1", "u?version=1.2.3.4&uuid=x&p=1"},
      {"x", "w?p=1?q=2", "u?version=1.2.3.4&uuid=x"},
      {"x", "?p=1", "u?version=1.2.3.4&uuid=x"},
      {"x", "w??p=1", "u?version=1.2.3.4&uuid=x&p=1"},
      {"", "w", "u?version=1.2.3.4&uuid="},
      {"", "", "u?version=1.2.3.4&uuid="},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(test.url, BuildSurveyUrl("u", "1.2.3.4", test.uuid, test.welcome))
        << test.welcome;
  }
}

TEST(UninstallFinalizationTest, QuotesTheSurveyProgramAndAddress) {
  EXPECT_EQ(
      L"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -private "
      L"\"https://s/?version=1&uuid=a&q=\u00e9%22\"",
      BuildSurveyCommandLine(base::FilePath(L"C:\\Program Files"), true,
                             "https://s/?version=1&uuid=a&q=\xC3\xA9\""));
  EXPECT_EQ(L"\"D:\\P\\Internet Explorer\\iexplore.exe\" \"u\"",
            BuildSurveyCommandLine(base::FilePath(L"D:\\P"), false, "u"));
}

TEST(UninstallFinalizationTest, HandsTheDefaultBackToTheSystemBrowser) {
  const std::vector<std::string> kSetAsDefault = {
      "SetAppAsDefault(Internet Explorer,.htm,extension)",
      "SetAppAsDefault(Internet Explorer,.html,extension)",
      "SetAppAsDefault(Internet Explorer,http,protocol)",
      "SetAppAsDefault(Internet Explorer,https,protocol)"};
  const struct {
    base::win::Version version;
    bool dialog_fails;
    std::vector<std::string> calls;
  } kCases[] = {
      {base::win::VERSION_WIN7, false, kSetAsDefault},
      {base::win::VERSION_WIN8,
       false,
       {"ShowOpenWithDialog(http)", "NotifyAssociationsChanged"}},
      {base::win::VERSION_WIN8, true, {"ShowOpenWithDialog(http)"}},
      {base::win::VERSION_WIN8_1, false, kSetAsDefault},
      {base::win::VERSION_WIN10, false, kSetAsDefault},
  };
  for (const auto& test : kCases) {
    const base::win::ScopedWindowsVersionOverride version(test.version);
    FakeDefaultAppServices services;
    services.fail = test.dialog_fails;
    HandDefaultBackToSystemBrowser(false);
    EXPECT_EQ(test.calls, services.calls()) << test.version;
  }
}

// A machine-wide installation first runs the system browser's reinstall
// command to its end; without one, it leaves the defaults alone.
TEST(UninstallFinalizationTest, RunsTheReinstallCommandForAllUsers) {
  const wchar_t kInstallInfo[] =
      L"SOFTWARE\\Clients\\StartMenuInternet\\IEXPLORE.EXE\\InstallInfo";
  const ScopedProductRegistry registry(
      {{HKEY_LOCAL_MACHINE, kInstallInfo, false, L""}});
  const base::win::ScopedWindowsVersionOverride version(
      base::win::VERSION_WIN7);
  FakeDefaultAppServices services;
  HandDefaultBackToSystemBrowser(true);
  EXPECT_TRUE(services.calls().empty());

  base::UniqueTestDir temp;
  const base::FilePath mark = temp.path().Append(L"reinstalled.txt");
  ASSERT_EQ(ERROR_SUCCESS,
            base::win::RegKey(HKEY_LOCAL_MACHINE, kInstallInfo, KEY_SET_VALUE)
                .WriteValue(L"ReinstallCommand",
                            (L"\"%SystemRoot%\\system32\\cmd.exe\" /c echo "
                             L"done> \"" +
                             mark.value() + L"\"")
                                .c_str()));
  HandDefaultBackToSystemBrowser(true);
  std::string text;
  EXPECT_TRUE(base::ReadFileToString(mark, &text));
  EXPECT_EQ("done\r\n", text);
  EXPECT_EQ(4u, services.calls().size());
}

}  // namespace installer
}  // namespace vexlo

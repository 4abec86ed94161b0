#include "desktop/launcher/installer/service/installer_context.h"

#include <objbase.h>
#include <windows.h>

#include <memory>
#include <string>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "desktop/launcher/installer/service/prefs_task_pool.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr char kConfiguration[] = R"({
  "product_name": "Vexlo",
  "file_name_base": "vexlo",
  "default_profile_path_template": "Vexlo Software/Vexlo {InternalStream}"
})";

base::string16 GetUserName() {
  wchar_t name[256];
  DWORD length = 256;
  EXPECT_TRUE(::GetUserNameW(name, &length));
  return name;
}

class InstallerContextTest : public testing::Test {
 protected:
  InstallerContextTest() : configuration_(kConfiguration) {}

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(dir_.IsValid());
  }
  void TearDown() override { ::CoUninitialize(); }

  void WriteFile(const base::FilePath& file, const std::string& text) {
    ASSERT_TRUE(base::CreateDirectory(file.DirName()));
    ASSERT_EQ(
        static_cast<int>(text.size()),
        base::WriteFile(file, text.data(), static_cast<int>(text.size())));
  }
  void WritePrefs(const std::string& json) {
    WriteFile(dir_.path().Append(kInstallerPrefsFileName), json);
  }

  ScopedProductConfiguration configuration_;
  base::UniqueTestDir dir_;
};

// The program's own installation is the folder of its launcher: the
// executable's folder, or its parent for an installer inside the
// installation's version folder.
TEST_F(InstallerContextTest, FindsTheProgramsOwnInstallation) {
  const base::FilePath version = dir_.path().Append(L"12.0.1450.0");
  ASSERT_TRUE(base::CreateDirectory(version));
  ScopedPathOverride exe(base::DIR_EXE, version);
  EXPECT_EQ(version, InstallerContext::GetOwnInstallationFolder());
  WriteFile(dir_.path().Append(L"launcher.exe"), "launcher");
  EXPECT_EQ(dir_.path(), InstallerContext::GetOwnInstallationFolder());
  WriteFile(version.Append(L"launcher.exe"), "launcher");
  EXPECT_EQ(version, InstallerContext::GetOwnInstallationFolder());
  EXPECT_EQ(version, InstallerContext().folder());
  EXPECT_EQ(L"Vexlo developer", InstallerContext().name());
}

// The profile comes from "profile_path" with its first "<USERNAME>" put in,
// or from the product's template under the roaming application data.
TEST_F(InstallerContextTest, DerivesTheProfileAndUserDataFolders) {
  const base::string16 user = GetUserName();
  const base::FilePath app_data = dir_.path().Append(L"Roaming");
  ScopedPathOverride roaming(base::DIR_APP_DATA, app_data);
  const base::string16 fallback =
      app_data.value() + L"\\Vexlo Software\\Vexlo Developer";
  const struct {
    const char* prefs;
    base::string16 profile;  // Also the user data folder.
  } kCases[] = {
      {"{}", fallback},
      {R"({"profile_path": ""})", fallback},
      {R"({"profile_path": 7})", fallback},
      {R"({"profile_path": "D:\\Profiles\\<USERNAME>\\Vexlo"})",
       L"D:\\Profiles\\" + user + L"\\Vexlo"},
      {R"({"profile_path": "D:\\P\\<USERNAME>"})", L"D:\\P\\" + user},
      {R"({"profile_path": "D:\\P\\<USERNAME>\\"})", L"D:\\P\\" + user + L"\\"},
      {R"({"profile_path": "D:\\<USERNAME>\\<USERNAME>"})",
       L"D:\\" + user + L"\\<USERNAME>"},
      {R"({"profile_path": "D:\\<username>"})", L"D:\\<username>"},
      {R"({"profile_path": "D:\\\u00c9\\x"})", L"D:\\\x00c9\\x"},
      {R"({"profile_path": "D:\\P", "single_profile": false})", L"D:\\P"},
      {R"({"profile_path": "D:\\P", "single_profile": "yes"})", L"D:\\P"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.prefs);
    WritePrefs(c.prefs);
    InstallerContext context(dir_.path());
    base::FilePath folder(L"untouched");
    EXPECT_FALSE(context.GetSingleProfileFolder(&folder));
    EXPECT_EQ(L"untouched", folder.value());
    ASSERT_TRUE(context.GetProfileFolder(&folder));
    EXPECT_EQ(c.profile, folder.value());
    for (bool for_removal : {false, true}) {
      ASSERT_TRUE(context.GetUserDataFolder(&folder, for_removal));
      EXPECT_EQ(c.profile, folder.value());
    }
  }

  // A single profile lives in the installation, whatever the profile path.
  WritePrefs(R"({"profile_path": "D:\\P", "single_profile": true})");
  InstallerContext single(dir_.path());
  base::FilePath folder;
  ASSERT_TRUE(single.GetSingleProfileFolder(&folder));
  EXPECT_EQ(dir_.path().Append(L"profile"), folder);
  ASSERT_TRUE(single.GetUserDataFolder(&folder, true));
  EXPECT_EQ(dir_.path().Append(L"profile\\data"), folder);
  ASSERT_TRUE(single.GetProfileFolder(&folder));
  EXPECT_EQ(L"D:\\P", folder.value());

  // No folder, no user data.
  EXPECT_FALSE(
      InstallerContext(base::FilePath()).GetUserDataFolder(&folder, false));
}

// The context's store reads its file and leaves it as it was; a damaged
// file, a missing one or a missing folder give an empty store.
TEST_F(InstallerContextTest, ReadsItsPreferencesAndLeavesThemAlone) {
  const base::FilePath file = dir_.path().Append(kInstallerPrefsFileName);
  const base::Value* value = nullptr;
  for (const base::FilePath& folder :
       {dir_.path(), dir_.path().Append(L"missing\\folder")}) {
    InstallerContext context(folder);
    EXPECT_EQ(L"Vexlo developer", context.name());
    EXPECT_TRUE(context.profile_path().empty());
    const base::scoped_refptr<JsonPrefStore> prefs =
        context.GetInstallerPrefs();
    EXPECT_EQ(prefs.get(), context.GetInstallerPrefs().get());
    EXPECT_FALSE(prefs->GetValue("language", &value));
  }
  EXPECT_FALSE(base::PathExists(file));
  EXPECT_FALSE(base::PathExists(dir_.path().Append(L"missing")));

  const std::string text = R"({"profile_path": "E:\\<USERNAME>", "x": [1]})";
  WritePrefs(text);
  {
    InstallerContext context(dir_.path());
    EXPECT_EQ(L"E:\\<USERNAME>", context.profile_path());
    EXPECT_TRUE(context.GetInstallerPrefs()->GetValue("x", &value));
  }
  std::string content;
  ASSERT_TRUE(base::ReadFileToString(file, &content));
  EXPECT_EQ(text, content);

  WritePrefs(R"({"profile_path": "E:\\<USERNAME>", "language": "fr")");
  InstallerContext damaged(dir_.path());
  EXPECT_TRUE(damaged.profile_path().empty());
  EXPECT_FALSE(damaged.GetInstallerPrefs()->GetValue("language", &value));
}

// The record is read once; a record that cannot be read leaves empty lists.
// A record handed to the context is never replaced by the file's.
TEST_F(InstallerContextTest, LoadsTheStatusRecordOnce) {
  const base::FilePath file = dir_.path().Append(kInstallationStatusFileName);
  WriteFile(file,
            "<install_log version=\"1.2\" copy_only=\"False\" all_users="
            "\"False\" pinned=\"True\" app_id=\"X\"><path>C:\\V</path><files>"
            "<file>a.dll</file></files></install_log>");
  InstallerContext context(dir_.path());
  EXPECT_FALSE(context.status_loaded());
  context.LoadInstallationStatus();
  EXPECT_TRUE(context.status_loaded());
  EXPECT_EQ("1.2", context.status().version);
  EXPECT_TRUE(context.status().pinned);
  ASSERT_EQ(1u, context.status().files.size());

  WriteFile(file, "<install_log version=\"9\"/>");
  context.LoadInstallationStatus();
  EXPECT_EQ("1.2", context.status().version);

  InstallerContext damaged(dir_.path());
  damaged.LoadInstallationStatus();
  EXPECT_TRUE(damaged.status().files.empty());
  EXPECT_TRUE(damaged.status().all_users);

  InstallationStatus given;
  given.app_id = "given";
  InstallerContext supplied(dir_.path(), given);
  EXPECT_TRUE(supplied.status_loaded());
  supplied.LoadInstallationStatus();
  EXPECT_EQ("given", supplied.status().app_id);
}

// Stores opened on the pool write behind on its thread, in posting order,
// and the exit waits for what was posted, even behind a slow task; the
// program's own context is one instance for every caller.
TEST_F(InstallerContextTest, PoolWritesInOrderAndTheExitWaitsForThem) {
  const base::FilePath file = dir_.path().Append(L"prefs.json");
  {
    base::AtExitManager exit_manager;
    base::MessageLoop loop;
    PrefsTaskPool* pool = PrefsTaskPool::GetInstance();
    EXPECT_EQ(pool, PrefsTaskPool::GetInstance());
    pool->GetTaskRunnerForFile(file)->PostTask(
        LOCATION_FROM_HERE("InstallerContextTest"),
        base::Bind(&base::PlatformThread::Sleep,
                   base::TimeDelta::FromMilliseconds(500)));
    for (int round = 0; round < 40; ++round) {
      base::scoped_refptr<JsonPrefStore> prefs = pool->OpenPrefStore(file);
      EXPECT_FALSE(prefs->IsReadOnly());
      prefs->SetValue("round", std::make_unique<base::FundamentalValue>(round),
                      0);
    }
    EXPECT_EQ(InstallerContext::GetInstance(), InstallerContext::GetInstance());
    EXPECT_EQ(InstallerContext::GetOwnInstallationFolder(),
              InstallerContext::GetInstance()->folder());
  }
  std::string content;
  ASSERT_TRUE(base::ReadFileToString(file, &content));
  EXPECT_EQ("{\"round\":39}", content);
}

// The open command comes from the user's choice, or the class that the
// shell names for the target; machine-wide from the machine's classes. (The
// test platform's merged classes view shows the machine's classes only, so
// the classes are registered there.)
TEST_F(InstallerContextTest, FindsTheHandlerOfAProtocolOrExtension) {
  const base::string16 suffix = dir_.path().BaseName().value();
  const base::string16 protocol = L"vexlotest" + suffix;
  const base::string16 extension = L".vxt" + suffix;
  const base::string16 other_class = L"VxTestClass" + suffix;
  const base::string16 classes = L"Software\\Classes\\";
  const base::string16 choice =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" +
      extension;
  const auto set = [](HKEY root, const base::string16& key, const wchar_t* name,
                      const base::string16& value) {
    base::win::RegKey reg;
    ASSERT_EQ(ERROR_SUCCESS, reg.Create(root, key.c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(name, value.c_str()));
  };
  InstallerContext context(dir_.path());
  base::string16 command;
  EXPECT_FALSE(context.IsDefaultHandlerFor(protocol, false));
  EXPECT_FALSE(InstallerContext::GetOpenCommand(extension, false, &command));

  set(HKEY_LOCAL_MACHINE, classes + protocol + L"\\shell\\open\\command",
      nullptr,
      L"\"" + dir_.path().Append(L"LAUNCHER.EXE").value() + L"\" -- \"%1\"");
  set(HKEY_LOCAL_MACHINE, classes + extension, nullptr, other_class);
  set(HKEY_LOCAL_MACHINE, classes + other_class + L"\\shell\\open\\command",
      nullptr, L"other.exe \"%1\"");
  EXPECT_TRUE(context.IsDefaultHandlerFor(protocol, false));
  EXPECT_FALSE(context.IsDefaultHandlerFor(protocol, true));
  EXPECT_FALSE(context.IsDefaultHandlerFor(extension, false));
  for (bool machine_wide : {false, true}) {
    ASSERT_TRUE(
        InstallerContext::GetOpenCommand(extension, machine_wide, &command));
    EXPECT_EQ(L"other.exe \"%1\"", command);
  }

  // The user's choice names the class to use, machine-wide is not swayed.
  set(HKEY_CURRENT_USER, choice + L"\\UserChoice", L"ProgId", protocol);
  EXPECT_TRUE(context.IsDefaultHandlerFor(extension, false));
  ASSERT_TRUE(InstallerContext::GetOpenCommand(extension, true, &command));
  EXPECT_EQ(L"other.exe \"%1\"", command);

  EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER, choice.c_str()));
  for (const base::string16& key : {protocol, extension, other_class}) {
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (classes + key).c_str()));
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

#include "base/win/shortcut.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "base/files/file_util.h"
#include "base/test/fake_shortcut_shell.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "base/win/propvariant_util.h"
#include "base/win/scoped_propvariant.h"
#include "base/win/shortcut_shell.h"
#include "base/win/windows_version.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using Props = ShortcutProperties;

std::string ReadBytes(const FilePath& path) {
  std::string contents;
  if (!ReadFileToString(path, &contents))
    return "<unreadable>";
  return contents;
}

// A shortcut test runs with COM initialised on its thread, in a folder of its
// own that holds two programs to point at.
class ShortcutTestBase : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    com_initialized_ = true;
    ASSERT_TRUE(dir_.IsValid());
    target_ = dir_.path().Append(L"vexlo.exe");
    other_target_ = dir_.path().Append(L"launcher.exe");
    ASSERT_EQ(2, WriteFile(target_, "MZ", 2));
    ASSERT_EQ(2, WriteFile(other_target_, "MZ", 2));
    shortcut_ = dir_.path().Append(L"Vexlo.lnk");
  }

  void TearDown() override {
    if (com_initialized_)
      CoUninitialize();
  }

  Props TargetOnly(const FilePath& target) {
    Props properties;
    properties.target = target;
    properties.options = Props::PROPERTIES_TARGET;
    return properties;
  }

  Props Read(uint32_t options) {
    Props properties;
    EXPECT_TRUE(ReadShortcutProperties(shortcut_, options, &properties));
    return properties;
  }

  UniqueTestDir dir_;
  FilePath target_;
  FilePath other_target_;
  FilePath shortcut_;

 private:
  bool com_initialized_ = false;
};

// The link object and its file are real; the property store, the taskbar
// verbs and the change notifications go to a recording fake.
class ShortcutTest : public ShortcutTestBase {
 protected:
  Props FullProperties() {
    Props properties = TargetOnly(target_);
    properties.working_dir = dir_.path();
    properties.arguments = L"--profile \"C:\\Users\\a b\\Vexlo Data\" -x";
    properties.description = L"Browse the web with Vexlo";
    properties.options |= Props::PROPERTIES_WORKING_DIR |
                          Props::PROPERTIES_ARGUMENTS |
                          Props::PROPERTIES_DESCRIPTION;
    properties.SetIcon(other_target_, 3);
    return properties;
  }

  void ExpectSameFields(const Props& expected, const Props& actual) {
    EXPECT_EQ(expected.target, actual.target);
    EXPECT_EQ(expected.working_dir, actual.working_dir);
    EXPECT_EQ(expected.arguments, actual.arguments);
    EXPECT_EQ(expected.description, actual.description);
    EXPECT_EQ(expected.icon, actual.icon);
    EXPECT_EQ(expected.icon_index, actual.icon_index);
  }

  FakeShortcutShell shell_;
};

constexpr uint32_t kLinkFields = 0x1F;

TEST_F(ShortcutTest, PropertiesStartEmpty) {
  Props properties;
  EXPECT_EQ(0u, properties.options);
  EXPECT_EQ(-1, properties.icon_index);
  EXPECT_FALSE(properties.dual_mode);
  EXPECT_TRUE(properties.target.empty());
  EXPECT_TRUE(properties.app_id.empty());
  properties.SetIcon(target_, 0);
  EXPECT_EQ(static_cast<uint32_t>(Props::PROPERTIES_ICON), properties.options);
  EXPECT_EQ(target_, properties.icon);
  EXPECT_EQ(0, properties.icon_index);
}

TEST_F(ShortcutTest, CreateAlwaysWritesEveryFieldAndReadsItBack) {
  const Props written = FullProperties();
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, written, SHORTCUT_CREATE_ALWAYS));
  EXPECT_TRUE(PathExists(shortcut_));

  // A new file is announced with its path.
  ASSERT_EQ(1u, shell_.notifications().size());
  EXPECT_EQ(SHCNE_CREATE, shell_.notifications()[0].event);
  EXPECT_EQ(static_cast<UINT>(SHCNF_PATHW), shell_.notifications()[0].flags);
  EXPECT_EQ(shortcut_.value(), shell_.notifications()[0].path);

  const Props read = Read(kLinkFields);
  EXPECT_EQ(kLinkFields, read.options);
  ExpectSameFields(written, read);
  // Nothing that was not asked for went through the property store.
  EXPECT_EQ(0, shell_.property_store_requests());

  // Asking for one property reads only that one; what else the output held
  // stays as it was.
  Props one;
  one.description = L"kept";
  one.options = Props::PROPERTIES_ALL;
  ASSERT_TRUE(
      ReadShortcutProperties(shortcut_, Props::PROPERTIES_ARGUMENTS, &one));
  EXPECT_EQ(static_cast<uint32_t>(Props::PROPERTIES_ARGUMENTS), one.options);
  EXPECT_EQ(written.arguments, one.arguments);
  EXPECT_EQ(L"kept", one.description);

  FilePath target;
  string16 arguments;
  ASSERT_TRUE(ResolveShortcut(shortcut_, &target, &arguments));
  EXPECT_EQ(target_, target);
  EXPECT_EQ(written.arguments, arguments);
  FilePath target_only;
  ASSERT_TRUE(ResolveShortcut(shortcut_, &target_only, nullptr));
  EXPECT_EQ(target_, target_only);
  string16 arguments_only;
  ASSERT_TRUE(ResolveShortcut(shortcut_, nullptr, &arguments_only));
  EXPECT_EQ(written.arguments, arguments_only);
  EXPECT_TRUE(ResolveShortcut(shortcut_, nullptr, nullptr));
}

TEST_F(ShortcutTest, ReadingWhatIsNotAShortcutFails) {
  Props properties;
  properties.description = L"untouched";
  EXPECT_FALSE(ReadShortcutProperties(dir_.path().Append(L"missing.lnk"),
                                      kLinkFields, &properties));
  FilePath target(L"C:\\untouched");
  EXPECT_FALSE(
      ResolveShortcut(dir_.path().Append(L"missing.lnk"), &target, nullptr));
  EXPECT_EQ(L"C:\\untouched", target.value());

  const FilePath garbage = dir_.path().Append(L"garbage.lnk");
  ASSERT_EQ(14, WriteFile(garbage, "not a shortcut", 14));
  EXPECT_FALSE(ReadShortcutProperties(garbage, kLinkFields, &properties));
  EXPECT_EQ(L"untouched", properties.description);
  EXPECT_EQ(0u, properties.options);
}

TEST_F(ShortcutTest, LongArgumentsAndDescriptionsAreNotCut) {
  // The longest texts a shortcut holds, NUL included, well past MAX_PATH.
  Props written = TargetOnly(target_);
  for (int i = 0; static_cast<int>(written.arguments.size()) <
                  kMaxShortcutArgumentsLength - 1;
       ++i) {
    written.arguments.push_back(static_cast<wchar_t>(L'a' + i % 26));
  }
  written.description.assign(kMaxShortcutDescriptionLength - 1, L'd');
  written.description[MAX_PATH] = L'X';
  written.options |=
      Props::PROPERTIES_ARGUMENTS | Props::PROPERTIES_DESCRIPTION;
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, written, SHORTCUT_CREATE_ALWAYS));

  const Props read = Read(kLinkFields);
  EXPECT_EQ(written.arguments.size(), read.arguments.size());
  EXPECT_EQ(written.arguments, read.arguments);
  EXPECT_EQ(written.description, read.description);

  // The long arguments also pass whole to the shortcut that replaces this
  // one.
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, TargetOnly(other_target_),
                                         SHORTCUT_REPLACE_EXISTING));
  string16 arguments;
  ASSERT_TRUE(ResolveShortcut(shortcut_, nullptr, &arguments));
  EXPECT_EQ(written.arguments, arguments);
}

TEST_F(ShortcutTest, CreateAlwaysNeedsATarget) {
  Props no_target = FullProperties();
  no_target.options &= ~Props::PROPERTIES_TARGET;
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(shortcut_, no_target, SHORTCUT_CREATE_ALWAYS));
  EXPECT_FALSE(PathExists(shortcut_));
  EXPECT_FALSE(CreateOrUpdateShortcutLink(shortcut_, no_target,
                                          SHORTCUT_REPLACE_EXISTING));

  // An existing file is left as it was.
  ASSERT_EQ(3, WriteFile(shortcut_, "old", 3));
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(shortcut_, no_target, SHORTCUT_CREATE_ALWAYS));
  EXPECT_EQ("old", ReadBytes(shortcut_));
  EXPECT_TRUE(shell_.notifications().empty());
}

TEST_F(ShortcutTest, CreateAlwaysReplacesAnyFile) {
  ASSERT_EQ(14, WriteFile(shortcut_, "not a shortcut", 14));
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, FullProperties(),
                                         SHORTCUT_CREATE_ALWAYS));
  ExpectSameFields(FullProperties(), Read(kLinkFields));

  // A file that was there already is announced as a change of associations,
  // without a path.
  ASSERT_EQ(1u, shell_.notifications().size());
  EXPECT_EQ(SHCNE_ASSOCCHANGED, shell_.notifications()[0].event);
  EXPECT_EQ(static_cast<UINT>(SHCNF_IDLIST), shell_.notifications()[0].flags);
  EXPECT_FALSE(shell_.notifications()[0].has_path);

  // Creating over a shortcut starts from nothing: what is not given is gone.
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, TargetOnly(other_target_),
                                         SHORTCUT_CREATE_ALWAYS));
  const Props read = Read(kLinkFields);
  EXPECT_EQ(other_target_, read.target);
  EXPECT_TRUE(read.arguments.empty());
  EXPECT_TRUE(read.description.empty());
}

TEST_F(ShortcutTest, FailedSaveAnnouncesNothing) {
  const FilePath in_missing_folder =
      dir_.path().Append(L"missing").Append(L"Vexlo.lnk");
  EXPECT_FALSE(CreateOrUpdateShortcutLink(in_missing_folder, FullProperties(),
                                          SHORTCUT_CREATE_ALWAYS));
  EXPECT_FALSE(PathExists(in_missing_folder));
  EXPECT_TRUE(shell_.notifications().empty());
}

TEST_F(ShortcutTest, ReplaceExistingNeedsAShortcut) {
  EXPECT_FALSE(CreateOrUpdateShortcutLink(shortcut_, FullProperties(),
                                          SHORTCUT_REPLACE_EXISTING));
  EXPECT_FALSE(PathExists(shortcut_));

  ASSERT_EQ(14, WriteFile(shortcut_, "not a shortcut", 14));
  EXPECT_FALSE(CreateOrUpdateShortcutLink(shortcut_, FullProperties(),
                                          SHORTCUT_REPLACE_EXISTING));
  EXPECT_EQ("not a shortcut", ReadBytes(shortcut_));
  EXPECT_TRUE(shell_.notifications().empty());
}

TEST_F(ShortcutTest, ReplaceExistingStartsAfreshButKeepsTheArguments) {
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, FullProperties(),
                                         SHORTCUT_CREATE_ALWAYS));

  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, TargetOnly(other_target_),
                                         SHORTCUT_REPLACE_EXISTING));
  Props read = Read(kLinkFields);
  EXPECT_EQ(other_target_, read.target);
  EXPECT_EQ(FullProperties().arguments, read.arguments);
  EXPECT_TRUE(read.description.empty());
  EXPECT_TRUE(read.working_dir.empty());
  ASSERT_EQ(2u, shell_.notifications().size());
  EXPECT_EQ(SHCNE_ASSOCCHANGED, shell_.notifications()[1].event);

  // Given arguments win over the old ones, empty ones too.
  Props with_arguments = TargetOnly(target_);
  with_arguments.options |= Props::PROPERTIES_ARGUMENTS;
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, with_arguments,
                                         SHORTCUT_REPLACE_EXISTING));
  read = Read(kLinkFields);
  EXPECT_EQ(target_, read.target);
  EXPECT_TRUE(read.arguments.empty());
}

TEST_F(ShortcutTest, UpdateExistingChangesOnlyTheGivenProperties) {
  const Props original = FullProperties();
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, original, SHORTCUT_CREATE_ALWAYS));

  // No target needed.
  Props update;
  update.description = L"Vexlo, updated";
  update.options = Props::PROPERTIES_DESCRIPTION;
  update.SetIcon(target_, 7);
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, update, SHORTCUT_UPDATE_EXISTING));
  Props expected = original;
  expected.description = update.description;
  expected.SetIcon(target_, 7);
  ExpectSameFields(expected, Read(kLinkFields));

  // Even nothing at all is an update that keeps everything.
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, Props(), SHORTCUT_UPDATE_EXISTING));
  ExpectSameFields(expected, Read(kLinkFields));

  // There must be a shortcut to update.
  const FilePath missing = dir_.path().Append(L"missing.lnk");
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(missing, update, SHORTCUT_UPDATE_EXISTING));
  EXPECT_FALSE(PathExists(missing));
}

TEST_F(ShortcutTest, UnknownOperationTouchesNothing) {
  for (int operation : {3, -1, 100}) {
    EXPECT_FALSE(CreateOrUpdateShortcutLink(
        shortcut_, FullProperties(), static_cast<ShortcutOperation>(operation)))
        << operation;
  }
  EXPECT_FALSE(PathExists(shortcut_));
  EXPECT_TRUE(shell_.notifications().empty());
}

TEST_F(ShortcutTest, AppUserModelPropertiesGoThroughThePropertyStore) {
  ScopedWindowsVersionOverride windows_7(VERSION_WIN7);
  Props written = FullProperties();
  written.app_id = L"Vexlo.Browser.Stable";
  written.dual_mode = true;
  written.options |= Props::PROPERTIES_APP_ID | Props::PROPERTIES_DUAL_MODE;
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, written, SHORTCUT_CREATE_ALWAYS));
  FakePropertyStore* store = shell_.property_store();
  EXPECT_EQ(
      (std::vector<std::string>{"SetValue", "Commit", "SetValue", "Commit"}),
      store->calls());
  EXPECT_EQ(0u, store->references());

  ScopedPropVariant value;
  ASSERT_EQ(S_OK, store->GetValue(kAppUserModelIdKey, value.Receive()));
  ASSERT_EQ(VT_LPWSTR, value.type());
  EXPECT_STREQ(L"Vexlo.Browser.Stable", value.get().pwszVal);
  ASSERT_EQ(S_OK, store->GetValue(kAppUserModelIsDualModeKey, value.Receive()));
  ASSERT_EQ(VT_BOOL, value.type());
  EXPECT_EQ(VARIANT_TRUE, value.get().boolVal);

  const Props read = Read(Props::PROPERTIES_ALL);
  EXPECT_EQ(static_cast<uint32_t>(Props::PROPERTIES_ALL), read.options);
  ExpectSameFields(written, read);
  EXPECT_EQ(written.app_id, read.app_id);
  EXPECT_TRUE(read.dual_mode);
  EXPECT_EQ(0u, store->references());

  // Dual mode off is written as such, not left out.
  Props off;
  off.options = Props::PROPERTIES_DUAL_MODE;
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, off, SHORTCUT_UPDATE_EXISTING));
  EXPECT_FALSE(Read(Props::PROPERTIES_DUAL_MODE).dual_mode);
}

TEST_F(ShortcutTest, MissingAppUserModelPropertiesReadAsEmpty) {
  ScopedWindowsVersionOverride windows_8(VERSION_WIN8);
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, TargetOnly(target_),
                                         SHORTCUT_CREATE_ALWAYS));
  Props read;
  read.app_id = L"stale";
  read.dual_mode = true;
  ASSERT_TRUE(ReadShortcutProperties(
      shortcut_, Props::PROPERTIES_APP_ID | Props::PROPERTIES_DUAL_MODE,
      &read));
  EXPECT_EQ(static_cast<uint32_t>(Props::PROPERTIES_APP_ID |
                                  Props::PROPERTIES_DUAL_MODE),
            read.options);
  EXPECT_TRUE(read.app_id.empty());
  EXPECT_FALSE(read.dual_mode);

  // A string value without its string reads as an empty id.
  PROPVARIANT no_string = {};
  no_string.vt = VT_LPWSTR;
  shell_.property_store()->PutCommitted(kAppUserModelIdKey, no_string);
  read.app_id = L"stale";
  ASSERT_TRUE(
      ReadShortcutProperties(shortcut_, Props::PROPERTIES_APP_ID, &read));
  EXPECT_TRUE(read.app_id.empty());
}

TEST_F(ShortcutTest, UnexpectedPropertyValuesFailTheRead) {
  ScopedWindowsVersionOverride windows_7(VERSION_WIN7);
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, TargetOnly(target_),
                                         SHORTCUT_CREATE_ALWAYS));
  FakePropertyStore* store = shell_.property_store();
  PROPVARIANT number = {};
  number.vt = VT_I4;
  number.lVal = 5;
  store->PutCommitted(kAppUserModelIdKey, number);
  ScopedPropVariant text;
  ASSERT_EQ(S_OK, InitStringPropVariant(L"yes", text.Receive()));
  store->PutCommitted(kAppUserModelIsDualModeKey, text.get());

  Props read;
  read.description = L"untouched";
  const uint32_t with_target = Props::PROPERTIES_TARGET;
  EXPECT_FALSE(ReadShortcutProperties(
      shortcut_, with_target | Props::PROPERTIES_APP_ID, &read));
  EXPECT_FALSE(ReadShortcutProperties(
      shortcut_, with_target | Props::PROPERTIES_DUAL_MODE, &read));
  EXPECT_EQ(0u, read.options);
  EXPECT_TRUE(read.target.empty());
  EXPECT_EQ(L"untouched", read.description);
  // Without the store's properties the same shortcut reads fine.
  EXPECT_TRUE(ReadShortcutProperties(shortcut_, with_target, &read));

  store->PutCommitted(kAppUserModelIdKey, text.get());
  store->set_get_value_result(E_FAIL);
  EXPECT_FALSE(
      ReadShortcutProperties(shortcut_, Props::PROPERTIES_APP_ID, &read));
  store->set_get_value_result(S_OK);
  EXPECT_TRUE(
      ReadShortcutProperties(shortcut_, Props::PROPERTIES_APP_ID, &read));
  EXPECT_EQ(L"yes", read.app_id);

  shell_.set_property_store_result(E_NOINTERFACE, false);
  EXPECT_FALSE(
      ReadShortcutProperties(shortcut_, Props::PROPERTIES_APP_ID, &read));
  shell_.set_property_store_result(S_OK, false);
  EXPECT_FALSE(
      ReadShortcutProperties(shortcut_, Props::PROPERTIES_DUAL_MODE, &read));
  EXPECT_EQ(0u, store->references());
}

TEST_F(ShortcutTest, FailedPropertyWriteLeavesTheFileAsItWas) {
  ScopedWindowsVersionOverride windows_7(VERSION_WIN7);
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, FullProperties(),
                                         SHORTCUT_CREATE_ALWAYS));
  const std::string saved = ReadBytes(shortcut_);
  Props update;
  update.description = L"changed";
  update.app_id = L"Vexlo";
  update.options = Props::PROPERTIES_DESCRIPTION | Props::PROPERTIES_APP_ID;

  shell_.property_store()->set_set_value_result(E_ACCESSDENIED);
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(shortcut_, update, SHORTCUT_UPDATE_EXISTING));
  shell_.property_store()->set_set_value_result(S_OK);
  shell_.property_store()->set_commit_result(E_FAIL);
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(shortcut_, update, SHORTCUT_UPDATE_EXISTING));
  shell_.property_store()->set_commit_result(S_OK);
  shell_.set_property_store_result(E_NOINTERFACE, false);
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(shortcut_, update, SHORTCUT_UPDATE_EXISTING));
  shell_.set_property_store_result(S_OK, false);
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(shortcut_, update, SHORTCUT_UPDATE_EXISTING));

  Props dual_mode = update;
  dual_mode.options = Props::PROPERTIES_DUAL_MODE;
  EXPECT_FALSE(CreateOrUpdateShortcutLink(shortcut_, dual_mode,
                                          SHORTCUT_UPDATE_EXISTING));

  EXPECT_EQ(saved, ReadBytes(shortcut_));
  EXPECT_EQ(1u, shell_.notifications().size());
  EXPECT_EQ(0u, shell_.property_store()->references());

  // Nor is a new shortcut made.
  const FilePath fresh = dir_.path().Append(L"fresh.lnk");
  Props create = TargetOnly(target_);
  create.options |= Props::PROPERTIES_APP_ID;
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(fresh, create, SHORTCUT_CREATE_ALWAYS));
  EXPECT_FALSE(PathExists(fresh));
}

TEST_F(ShortcutTest, AppUserModelPropertiesAreLeftOutBeforeWindows7) {
  ScopedWindowsVersionOverride vista(VERSION_VISTA);
  // Even a store that would fail is never asked.
  shell_.set_property_store_result(E_FAIL, false);
  Props written = TargetOnly(target_);
  written.app_id = L"Vexlo";
  written.dual_mode = true;
  written.options |= Props::PROPERTIES_APP_ID | Props::PROPERTIES_DUAL_MODE;
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, written, SHORTCUT_CREATE_ALWAYS));

  Props read;
  ASSERT_TRUE(ReadShortcutProperties(shortcut_, Props::PROPERTIES_ALL, &read));
  EXPECT_EQ(kLinkFields, read.options);
  EXPECT_TRUE(read.app_id.empty());
  EXPECT_FALSE(read.dual_mode);
  EXPECT_EQ(0, shell_.property_store_requests());
}

TEST_F(ShortcutTest, TaskbarPinning) {
  ScopedWindowsVersionOverride windows_7(VERSION_WIN7);
  EXPECT_TRUE(TaskbarPinShortcutLink(shortcut_));
  EXPECT_TRUE(TaskbarUnpinShortcutLink(shortcut_));
  ASSERT_EQ(2u, shell_.executions().size());
  EXPECT_EQ(L"taskbarpin", shell_.executions()[0].verb);
  EXPECT_EQ(shortcut_, shell_.executions()[0].file);
  EXPECT_EQ(L"taskbarunpin", shell_.executions()[1].verb);
  EXPECT_EQ(shortcut_, shell_.executions()[1].file);

  // The shell's verdict: above 32 is success.
  shell_.set_execute_result(32);
  EXPECT_FALSE(TaskbarPinShortcutLink(shortcut_));
  EXPECT_FALSE(TaskbarUnpinShortcutLink(shortcut_));
  shell_.set_execute_result(33);
  EXPECT_TRUE(TaskbarPinShortcutLink(shortcut_));
  EXPECT_TRUE(TaskbarUnpinShortcutLink(shortcut_));
  shell_.set_execute_result(SE_ERR_ACCESSDENIED);
  EXPECT_FALSE(TaskbarPinShortcutLink(shortcut_));
  EXPECT_EQ(7u, shell_.executions().size());

  // Before Windows 7 the shell is asked to pin, never to unpin.
  ScopedWindowsVersionOverride vista(VERSION_VISTA);
  shell_.set_execute_result(33);
  EXPECT_TRUE(TaskbarPinShortcutLink(shortcut_));
  EXPECT_FALSE(TaskbarUnpinShortcutLink(shortcut_));
  ASSERT_EQ(8u, shell_.executions().size());
  EXPECT_EQ(L"taskbarpin", shell_.executions()[7].verb);
}

TEST_F(ShortcutTest, CreateShellLinkObjects) {
  ScopedComPtr<IShellLinkW> link;
  ScopedComPtr<IPersistFile> persist_file;
  ASSERT_TRUE(CreateShellLinkObjects(nullptr, &link, &persist_file));
  ASSERT_TRUE(link);
  ASSERT_TRUE(persist_file);
  ASSERT_TRUE(SUCCEEDED(link->SetPath(target_.value().c_str())));
  ASSERT_TRUE(SUCCEEDED(link->SetArguments(L"--first-run")));
  ASSERT_EQ(S_OK, persist_file->Save(shortcut_.value().c_str(), TRUE));

  // Loading a shortcut replaces the objects held.
  ASSERT_TRUE(CreateShellLinkObjects(&shortcut_, &link, &persist_file));
  wchar_t arguments[64] = {};
  ASSERT_TRUE(SUCCEEDED(link->GetArguments(arguments, 64)));
  EXPECT_STREQ(L"--first-run", arguments);

  // A failed load leaves nothing behind.
  const FilePath missing = dir_.path().Append(L"missing.lnk");
  EXPECT_FALSE(CreateShellLinkObjects(&missing, &link, &persist_file));
  EXPECT_FALSE(link);
  EXPECT_FALSE(persist_file);
}

// The same calls with the real shell behind them.
class RealShellShortcutTest : public ShortcutTestBase {};

TEST_F(RealShellShortcutTest, CreatesThroughTheLinksOwnPropertyStore) {
  ASSERT_TRUE(ShortcutShell::Get());
  ShortcutShell* const real = ShortcutShell::Get();
  {
    FakeShortcutShell fake;
    EXPECT_EQ(&fake, ShortcutShell::Get());
  }
  EXPECT_EQ(real, ShortcutShell::Get());

  ScopedWindowsVersionOverride windows_7(VERSION_WIN7);
  Props written = TargetOnly(target_);
  written.arguments = L"--app-id";
  written.app_id = L"Vexlo.Browser";
  written.dual_mode = true;
  written.options |= Props::PROPERTIES_ARGUMENTS | Props::PROPERTIES_APP_ID |
                     Props::PROPERTIES_DUAL_MODE;
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(shortcut_, written, SHORTCUT_CREATE_ALWAYS));
  ASSERT_TRUE(CreateOrUpdateShortcutLink(shortcut_, written,
                                         SHORTCUT_REPLACE_EXISTING));
  FilePath target;
  string16 arguments;
  ASSERT_TRUE(ResolveShortcut(shortcut_, &target, &arguments));
  EXPECT_EQ(target_, target);
  EXPECT_EQ(L"--app-id", arguments);
}

}  // namespace
}  // namespace win
}  // namespace base

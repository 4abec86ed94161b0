#include "base/win/shortcut.h"

#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "base/files/file_util.h"
#include "base/test/fake_shortcut_shell.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "base/win/propvariant_util.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using Props = ShortcutProperties;
constexpr uint32_t kLinkFields = 0x1F;
constexpr uint32_t kStoreFields =
    Props::PROPERTIES_APP_ID | Props::PROPERTIES_DUAL_MODE;

std::string ReadBytes(const FilePath& path) {
  std::string contents;
  return ReadFileToString(path, &contents) ? contents : "<missing>";
}

// The properties in |p|'s mask, as one text to compare. A shortcut without
// an icon reads back with index 0.
string16 Describe(const Props& p) {
  const int index = p.icon.empty() ? 0 : p.icon_index;
  const string16 fields[] = {p.target.value(),
                             p.working_dir.value(),
                             p.arguments,
                             p.description,
                             p.icon.value() + std::to_wstring(index),
                             p.app_id,
                             p.dual_mode ? L"dual" : L""};
  string16 text;
  for (int i = 0; i < 7; ++i)
    text += (p.options >> i & 1) ? fields[i] + L"|" : L"-|";
  return text;
}

// COM initialised, and a folder with two programs to point at. The link and
// its file are real; with the fake shell, the property store, the taskbar
// verbs and the notifications go to a recording fake.
class ShortcutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    com_initialized_ = true;
    target_ = dir_.path().Append(L"vexlo.exe");
    other_ = dir_.path().Append(L"launcher.exe");
    shortcut_ = dir_.path().Append(L"Vexlo.lnk");
    ASSERT_EQ(2, WriteFile(target_, "MZ", 2));
    ASSERT_EQ(2, WriteFile(other_, "MZ", 2));
  }
  void TearDown() override {
    if (com_initialized_)
      CoUninitialize();
  }

  // Only the target, or, with |full|, every field a link holds.
  Props Make(const FilePath& target, bool full) {
    Props p;
    p.target = target;
    p.options = Props::PROPERTIES_TARGET;
    if (full) {
      p.working_dir = dir_.path();
      p.arguments = L"--profile \"C:\\Users\\a b\\Vexlo Data\" -x";
      p.description = L"Browse the web with Vexlo";
      p.options |= Props::PROPERTIES_WORKING_DIR | Props::PROPERTIES_ARGUMENTS |
                   Props::PROPERTIES_DESCRIPTION;
      p.SetIcon(other_, 3);
    }
    return p;
  }
  // |p| as a read of |options| gives it back.
  string16 AsRead(Props p, uint32_t options = kLinkFields) {
    p.options = options;
    return Describe(p);
  }
  string16 Read(uint32_t options = kLinkFields) {
    Props p;
    p.app_id = L"stale";
    p.dual_mode = true;
    EXPECT_TRUE(ReadShortcutProperties(shortcut_, options, &p));
    return Describe(p);
  }
  bool Write(const Props& p, int operation, const FilePath* path = nullptr) {
    return CreateOrUpdateShortcutLink(
        path ? *path : shortcut_, p, static_cast<ShortcutOperation>(operation));
  }

  UniqueTestDir dir_;
  FilePath target_, other_, shortcut_;
  bool com_initialized_ = false;
};

class FakeShellShortcutTest : public ShortcutTest {
 protected:
  FakeShortcutShell shell_;
};

TEST_F(FakeShellShortcutTest, OperationsOnWhatIsThere) {
  enum Existing { kNothing, kGarbage, kShortcut };
  const Props full = Make(target_, true), other = Make(other_, false);
  Props no_target = full, kept_arguments = other, new_arguments = other;
  no_target.options &= ~Props::PROPERTIES_TARGET;
  kept_arguments.arguments = full.arguments;
  new_arguments.options |= Props::PROPERTIES_ARGUMENTS;
  Props update, updated = full;
  update.description = updated.description = L"Vexlo, updated";
  update.options = Props::PROPERTIES_DESCRIPTION;
  update.SetIcon(target_, 7);
  updated.SetIcon(target_, 7);
  const struct {
    const char* name;
    Existing existing;
    int operation;
    const Props& written;
    const Props* expected;  // Null: the call fails and changes nothing.
  } kCases[] = {
      {"create", kNothing, SHORTCUT_CREATE_ALWAYS, full, &full},
      {"create over a file", kGarbage, SHORTCUT_CREATE_ALWAYS, full, &full},
      {"create afresh", kShortcut, SHORTCUT_CREATE_ALWAYS, other, &other},
      {"create over, no target", kGarbage, SHORTCUT_CREATE_ALWAYS, no_target},
      {"replace nothing", kNothing, SHORTCUT_REPLACE_EXISTING, full},
      {"replace a file", kGarbage, SHORTCUT_REPLACE_EXISTING, full},
      {"replace", kShortcut, SHORTCUT_REPLACE_EXISTING, other, &kept_arguments},
      {"replace, arguments", kShortcut, SHORTCUT_REPLACE_EXISTING,
       new_arguments, &other},
      {"update", kShortcut, SHORTCUT_UPDATE_EXISTING, update, &updated},
      {"update nothing", kShortcut, SHORTCUT_UPDATE_EXISTING, Props(), &full},
      {"update, no shortcut", kNothing, SHORTCUT_UPDATE_EXISTING, update},
      {"unknown operation", kNothing, 3, full},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.name);
    DeleteFile(shortcut_, false);
    if (test_case.existing == kGarbage) {
      ASSERT_EQ(3, WriteFile(shortcut_, "old", 3));
    }
    if (test_case.existing == kShortcut) {
      ASSERT_TRUE(Write(full, SHORTCUT_CREATE_ALWAYS));
    }
    const std::string before = ReadBytes(shortcut_);
    shell_.notifications.clear();
    ASSERT_EQ(test_case.expected != nullptr,
              Write(test_case.written, test_case.operation));
    if (!test_case.expected) {
      EXPECT_EQ(before, ReadBytes(shortcut_));
      EXPECT_TRUE(shell_.notifications.empty());
      continue;
    }
    EXPECT_EQ(AsRead(*test_case.expected), Read());
    // A new file is announced with its path, a replaced one as a change of
    // associations.
    EXPECT_EQ(
        (std::vector<string16>{
            test_case.existing == kNothing
                ? std::to_wstring(SHCNE_CREATE) + L" 5 " + shortcut_.value()
                : std::to_wstring(SHCNE_ASSOCCHANGED) + L" 0 (null)"}),
        shell_.notifications);
  }
  const FilePath in_missing_folder = dir_.path().Append(L"no\\Vexlo.lnk");
  shell_.notifications.clear();
  EXPECT_FALSE(Write(full, SHORTCUT_CREATE_ALWAYS, &in_missing_folder));
  EXPECT_TRUE(shell_.notifications.empty());
  EXPECT_EQ(0, shell_.property_store_requests);
}

TEST_F(FakeShellShortcutTest, ReadsWhatIsAskedAndOnlyWhenItCan) {
  // The longest texts a link holds, well past MAX_PATH.
  Props written = Make(target_, true);
  written.arguments.clear();
  for (int i = 0; i < kMaxShortcutArgumentsLength - 1; ++i)
    written.arguments.push_back(static_cast<wchar_t>(L'a' + i % 26));
  written.description.assign(kMaxShortcutDescriptionLength - 1, L'd');
  written.description[MAX_PATH] = L'X';
  ASSERT_TRUE(Write(written, SHORTCUT_CREATE_ALWAYS));
  EXPECT_EQ(AsRead(written), Read());
  Props one;
  one.description = L"kept";
  ASSERT_TRUE(
      ReadShortcutProperties(shortcut_, Props::PROPERTIES_ARGUMENTS, &one));
  EXPECT_EQ(AsRead(written, Props::PROPERTIES_ARGUMENTS), Describe(one));
  // The long arguments pass whole to a replacing shortcut.
  ASSERT_TRUE(Write(Make(other_, false), SHORTCUT_REPLACE_EXISTING));
  FilePath target;
  string16 arguments;
  ASSERT_TRUE(ResolveShortcut(shortcut_, &target, &arguments));
  EXPECT_EQ(other_.value() + written.arguments, target.value() + arguments);
  EXPECT_TRUE(ResolveShortcut(shortcut_, nullptr, nullptr));
  ASSERT_EQ(3, WriteFile(dir_.path().Append(L"garbage.lnk"), "old", 3));
  for (const wchar_t* name : {L"garbage.lnk", L"none.lnk"}) {
    EXPECT_FALSE(ReadShortcutProperties(dir_.path().Append(name), 1, &one));
    EXPECT_FALSE(ResolveShortcut(dir_.path().Append(name), &target, nullptr));
  }
  EXPECT_EQ(other_, target);
  EXPECT_EQ(L"kept", one.description);
}

TEST_F(FakeShellShortcutTest, AppUserModelPropertiesFromWindows7On) {
  ScopedWindowsVersionOverride windows_7(VERSION_WIN7);
  FakePropertyStore* store = shell_.store();
  Props written = Make(target_, true);
  ASSERT_TRUE(Write(written, SHORTCUT_CREATE_ALWAYS));
  EXPECT_EQ(AsRead(written, 0x7F), Read(0x7F));  // Missing ones read empty.
  written.app_id = L"Vexlo.Browser.Stable";
  written.dual_mode = true;
  written.options = kStoreFields;
  ASSERT_TRUE(Write(written, SHORTCUT_UPDATE_EXISTING));
  EXPECT_EQ(AsRead(written, kStoreFields), Read(kStoreFields));
  written.dual_mode = false;  // Written as such, not left out.
  ASSERT_TRUE(Write(written, SHORTCUT_UPDATE_EXISTING));
  EXPECT_EQ(AsRead(written, kStoreFields), Read(kStoreFields));

  // A string type without its string reads as an empty id; any other type,
  // a failed read or a missing store fails the whole read.
  PROPVARIANT value = {};
  value.vt = VT_LPWSTR;
  store->Put(kAppUserModelIdKey, value);
  EXPECT_EQ(AsRead(Props(), Props::PROPERTIES_APP_ID),
            Read(Props::PROPERTIES_APP_ID));
  value.vt = VT_I4;
  store->Put(kAppUserModelIdKey, value);
  store->Put(kAppUserModelIsDualModeKey, value);
  Props read;
  for (uint32_t field : {Props::PROPERTIES_APP_ID, Props::PROPERTIES_DUAL_MODE})
    EXPECT_FALSE(ReadShortcutProperties(shortcut_, field | 1, &read));
  EXPECT_EQ(Describe(Props()), Describe(read));
  store->set_get_value_result(E_FAIL);
  for (uint32_t field : {Props::PROPERTIES_APP_ID, Props::PROPERTIES_DUAL_MODE})
    EXPECT_FALSE(ReadShortcutProperties(shortcut_, field, &read));
  store->set_get_value_result(S_OK);
  shell_.property_store_result = S_OK;
  shell_.hand_out_store = false;
  EXPECT_FALSE(ReadShortcutProperties(shortcut_, kStoreFields, &read));

  // A failed property write leaves the file as it was, or makes none.
  const std::string saved = ReadBytes(shortcut_);
  written.options = kStoreFields | Props::PROPERTIES_DESCRIPTION;
  for (int failure = 0; failure < 4; ++failure) {
    shell_.property_store_result = failure ? S_OK : E_NOINTERFACE;
    shell_.hand_out_store = failure != 1;
    store->set_set_value_result(failure == 2 ? E_ACCESSDENIED : S_OK);
    store->set_commit_result(failure == 3 ? E_FAIL : S_OK);
    EXPECT_FALSE(Write(written, SHORTCUT_UPDATE_EXISTING)) << failure;
    written.options = Props::PROPERTIES_DUAL_MODE;
  }
  EXPECT_EQ(saved, ReadBytes(shortcut_));
  EXPECT_EQ(0u, store->references());

  // Before Windows 7 they are left out, and not even a failing store is
  // asked.
  ScopedWindowsVersionOverride vista(VERSION_VISTA);
  const int requests = shell_.property_store_requests;
  written.options |= Props::PROPERTIES_TARGET | kStoreFields;
  ASSERT_TRUE(Write(written, SHORTCUT_CREATE_ALWAYS));
  EXPECT_EQ(AsRead(Make(target_, false)), Read(Props::PROPERTIES_ALL));
  EXPECT_EQ(requests, shell_.property_store_requests);
}

TEST_F(FakeShellShortcutTest, TaskbarPinning) {
  const struct {
    Version version;
    INT_PTR shell_result;  // Above 32 is success.
    bool pinned, unpinned;
  } kCases[] = {
      {VERSION_WIN7, 33, true, true},
      {VERSION_WIN7, 32, false, false},
      {VERSION_VISTA, 33, true, false},  // Never asked to unpin.
  };
  for (const auto& test_case : kCases) {
    ScopedWindowsVersionOverride version(test_case.version);
    shell_.execute_result = test_case.shell_result;
    EXPECT_EQ(test_case.pinned, TaskbarPinShortcutLink(shortcut_));
    EXPECT_EQ(test_case.unpinned, TaskbarUnpinShortcutLink(shortcut_));
  }
  ASSERT_EQ(5u, shell_.executions.size());
  EXPECT_EQ(L"taskbarpin " + shortcut_.value(), shell_.executions[4]);
  EXPECT_EQ(L"taskbarunpin " + shortcut_.value(), shell_.executions[1]);
}

// The link objects, and a user-model id through the link's own property
// store, with the real shell behind them.
TEST_F(ShortcutTest, RealShell) {
  ScopedComPtr<IShellLinkW> link;
  ScopedComPtr<IPersistFile> file;
  const FilePath missing = dir_.path().Append(L"missing.lnk");
  ASSERT_TRUE(CreateShellLinkObjects(nullptr, &link, &file));
  EXPECT_FALSE(CreateShellLinkObjects(&missing, &link, &file));
  EXPECT_FALSE(link || file);
  ScopedWindowsVersionOverride windows_7(VERSION_WIN7);
  Props written = Make(target_, false);
  written.app_id = L"Vexlo.Browser";
  written.options |= Props::PROPERTIES_APP_ID;
  ASSERT_TRUE(Write(written, SHORTCUT_CREATE_ALWAYS));
  ASSERT_TRUE(Write(written, SHORTCUT_REPLACE_EXISTING));
  EXPECT_EQ(AsRead(written, 1), Read(1));
}

}  // namespace
}  // namespace win
}  // namespace base

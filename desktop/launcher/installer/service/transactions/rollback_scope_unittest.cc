#include "desktop/launcher/installer/service/transactions/rollback_scope.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/folder_link.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/service/installation_status.h"
#include "desktop/launcher/installer/service/xml_document.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr wchar_t kPersisted[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
    L"Compatibility Assistant\\Persisted";

class RollbackScopeTest : public testing::Test {
 protected:
  RollbackScopeTest()
      : folder_(dir_.path().Append(L"Installation Folder")),
        shortcuts_(dir_.path().Append(L"Desktop")),
        // The product's shortcut name as the steps make it, and without
        // its suffix and extension.
        shortcut_(
            base::UTF8ToUTF16(ProductInfo::GetVisibleProductNameWithChannel())),
        suffixed_(shortcut_ +
                  base::UTF8ToUTF16(ProductConfiguration::GetShortcutSuffix()) +
                  L".lnk") {}

  void SetUp() override {
    ASSERT_TRUE(base::CreateDirectory(folder_.Append(L"sub")));
    ASSERT_TRUE(base::CreateDirectory(shortcuts_));
    ASSERT_TRUE(base::CreateDirectory(dir_.path().Append(L"Outside")));
    wchar_t name[MAX_PATH];
    short_folder_.assign(
        name, ::GetShortPathNameW(folder_.value().c_str(), name, MAX_PATH));
    ASSERT_NE(short_folder_, folder_.value());
  }

  base::string16 In(const base::string16& relative) const {
    return dir_.path().value() + L"\\" + relative;
  }

  base::UniqueTestDir dir_;
  const base::FilePath folder_;
  const base::FilePath shortcuts_;
  const base::string16 shortcut_;
  const base::string16 suffixed_;
  base::string16 short_folder_;
};

// Paths are inside by what the file system opens, not by their text.
TEST_F(RollbackScopeTest, PathsInsideByWhatTheyName) {
  const base::string16& short_folder = short_folder_;
  ASSERT_TRUE(base::MakeFolderLink(folder_.Append(L"link"),
                                   dir_.path().Append(L"Outside")));

  base::string16 deep;
  for (int i = 0; i < 100; ++i)
    deep += L"\\d";
  RollbackScope scope(folder_);
  scope.AddShortcutFolder(shortcuts_);
  scope.AddDeletedFolder(dir_.path().Append(L"Programs\\Company"));
  const struct {
    base::string16 path;
    bool inside;
  } kCases[] = {
      {In(L"Installation Folder"), true},
      {In(L"Installation Folder\\"), true},
      {In(L"Installation Folder\\a.txt"), true},
      {In(L"Installation Folder\\new\\deeper\\a.txt"), true},
      {In(L"INSTALLATION folder\\A.TXT"), true},
      {In(L"Installation Folder\\sub\\..\\a.txt"), true},
      {In(L"Installation Folder\\.\\a.txt"), true},
      {In(L"Installation Folder. \\a.txt"), true},
      {In(L"Installation Folder\\sub. . .\\a.txt"), true},
      {short_folder + L"\\sub\\a.txt", true},
      {In(L"Installation Folder/sub/a.txt"), true},
      // The folder set aside whole, beside itself.
      {In(L"Installation Folder.1712345678.old"), true},
      {In(L"Installation Folder.1712345678.3.old"), true},
      {In(L"Installation Folder\\..\\a.txt"), false},
      {In(L"Installation Folder\\sub\\..\\..\\Outside\\a.txt"), false},
      {In(L"Installation Folder2\\a.txt"), false},
      {In(L"Installation Folder.old"), false},
      {In(L"Installation Folder.x.old"), false},
      {In(L"Installation Folder.1.2.3.old"), false},
      {In(L"Installation Folder2.1712345678.old"), false},
      {In(L"Installation Folder\\..."), false},
      {In(L"Installation Folder\\a.txt:stream"), false},
      {In(L"Installation Folder\\*.txt"), false},
      {In(L"Installation Folder\\a?.txt"), false},
      {In(L"Installation Folder\\a<b"), false},
      {In(L"Installation Folder\\a>b"), false},
      {In(L"Installation Folder\\a|b"), false},
      {In(L"Installation Folder\\a\"b"), false},
      {In(L"Installation Folder\\a\x01"
          L"b"),
       false},
      {In(L"Installation Folder\\link\\a.txt"), false},
      {In(L"Installation Folder\\link\\a\\b\\c\\d\\e.txt"), false},
      // Only as much of a path as exists has long names to find.
      {short_folder + L"\\sub\\new\\a\\b\\c\\d.txt", true},
      {short_folder + deep, true},
      {In(L"Installation Folder\\") + base::string16(255, L'n'), true},
      {In(L"Installation Folder\\") + base::string16(256, L'n'), false},
      {In(L"Installation Folder\\") + base::string16(40000, L'n'), false},
      {dir_.path().value(), false},
      {L"\\\\?\\" + In(L"Installation Folder\\a.txt"), false},
      {L"\\\\.\\" + In(L"Installation Folder\\a.txt"), false},
      {L"Installation Folder\\a.txt", false},
      {L"\\Installation Folder\\a.txt", false},
      {L"", false},
      // The product's shortcut files directly in the shortcut folders, and
      // their set-aside names; not another program's.
      {In(L"Desktop\\") + suffixed_, true},
      {In(L"desktop\\") + shortcut_ + L".LNK", true},
      {In(L"Desktop\\") + suffixed_ + L".1712345678.old", true},
      {In(L"Desktop\\") + shortcut_ + L".txt", false},
      {In(L"Desktop\\.lnk"), false},
      {In(L"Desktop\\sub\\") + suffixed_, false},
      {In(L"Desktop"), false},
      {In(L"Desktop\\..\\Outside\\") + suffixed_, false},
      {In(L"Desktop\\") + shortcut_ + L" 12.lnk", true},
      {In(L"Desktop\\Product.lnk"), false},
      {In(L"Desktop\\") + shortcut_ + L" Tools.lnk", false},
      // A folder deleted whole: itself and its set-aside names only.
      {In(L"Programs\\Company"), true},
      {In(L"Programs\\Company.1712345678.old"), true},
      {In(L"Programs\\Company\\") + suffixed_, false},
      {In(L"Programs\\Company2"), false},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(base::UTF16ToUTF8(test.path));
    EXPECT_EQ(test.inside, scope.ContainsPath(base::FilePath(test.path)));
  }
  // A link as the last component is the entry itself, and is inside.
  EXPECT_TRUE(scope.ContainsPath(folder_.Append(L"link")));
  // A folder named as a device holds nothing, not even itself so named.
  for (const wchar_t* device : {L"\\\\?\\", L"\\\\.\\"}) {
    const base::string16 named = device + folder_.value();
    const RollbackScope device_scope{base::FilePath(named)};
    EXPECT_FALSE(device_scope.ContainsPath(base::FilePath(named + L"\\a")));
  }
}

// Created folders go up to an ancestor of their own, from inside the folder
// or a shortcut folder; only these themselves may have been created with
// folders above them. The undo climbs by the text, so the ancestor is met
// only as the path spells it.
TEST_F(RollbackScopeTest, CreatedFoldersReachOnlyTheirAncestors) {
  RollbackScope scope(folder_);
  scope.AddShortcutFolder(shortcuts_);
  const base::string16 drive = dir_.path().value().substr(0, 3);
  const struct {
    base::string16 path;
    base::string16 ancestor;
    bool inside;
  } kCases[] = {
      {In(L"Installation Folder"), dir_.path().value(), true},
      {In(L"Installation Folder\\a\\b"), In(L"Installation Folder"), true},
      {In(L"installation folder\\A\\b"), In(L"installation folder\\A"), true},
      {In(L"Desktop"), dir_.path().value(), true},
      {In(L"Installation Folder"), drive, true},
      {short_folder_ + L"\\a\\b", short_folder_, true},
      {In(L"Installation Folder\\a"), drive, false},
      {In(L"Installation Folder\\a\\b"), In(L"INSTALLATION FOLDER\\a"), false},
      {In(L"Installation Folder\\a\\..\\..\\Installation Folder\\b"),
       In(L"Installation Folder"), false},
      {In(L"Installation Folder2\\a"), In(L"Installation Folder2"), false},
      {In(L"Installation Folder\\a"), In(L"Installation Folder\\a"), false},
      {In(L"Installation Folder\\a"), In(L"Outside"), false},
      {In(L"Installation Folder\\a"), In(L"Installation Folder\\a\\b"), false},
      {In(L"Outside\\a"), In(L"Outside"), false},
      {In(L"Installation Folder\\a"), L"relative", false},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(base::UTF16ToUTF8(test.path + L" < " + test.ancestor));
    EXPECT_EQ(test.inside,
              scope.ContainsCreatedFolders(base::FilePath(test.path),
                                           base::FilePath(test.ancestor)));
  }
}

// Keys are the product's by whole components of the user's or the
// machine's hive; shared keys only by the product's values in them, and
// as created on the way.
TEST_F(RollbackScopeTest, KeysByWholeComponents) {
  RollbackScope scope(folder_);
  scope.AddOwnedKey(L"Software\\Classes\\Product*");
  scope.AddOwnedKey(L"Software\\Own\\Key");
  scope.AddSharedValues(L"Software\\Shared\\Values", L"Product");
  const HKEY kUser = HKEY_CURRENT_USER;
  const HKEY kMachine = HKEY_LOCAL_MACHINE;
  const struct {
    HKEY root;
    base::string16 key;
    base::string16 value;
    bool owned;
    bool value_inside;
    bool created_inside;
  } kCases[] = {
      {kUser, L"Software\\Classes\\ProductStable", L"x", true, true, true},
      {kMachine, L"software\\classes\\PRODUCTstable\\shell", L"", true, true,
       true},
      {kUser, L"Software\\Classes\\Product", L"x", true, true, true},
      {kUser, L"Software\\Own\\Key\\Below", L"x", true, true, true},
      {kUser, L"Software\\Own\\KeyMore", L"x", false, false, false},
      {kUser, L"Software\\Own", L"x", false, false, true},
      {kUser, L"Software\\Classes", L"Product", false, false, true},
      {kUser, L"Software", L"x", false, false, false},
      {kUser, L"Software\\Classes\\Other", L"Product", false, false, false},
      {kUser, L"Software\\Classes\\\\ProductStable", L"x", false, false, false},
      {kUser, L"Software\\Classes\\ProductStable\\", L"x", false, false, false},
      {HKEY_CLASSES_ROOT, L"Software\\Classes\\ProductStable", L"x", false,
       false, false},
      {HKEY_USERS, L"Software\\Own\\Key", L"x", false, false, false},
      {kUser, L"Software\\Shared\\Values", L"ProductStable", false, true, true},
      {kUser, L"Software\\Shared\\Values", L"productSTABLE", false, true, true},
      {kUser, L"Software\\Shared\\Values", L"Other", false, false, true},
      {kUser, L"Software\\Shared\\Values\\Below", L"Product", false, false,
       false},
      {kUser, L"Software\\Shared", L"Product", false, false, true},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(base::UTF16ToUTF8(test.key + L" " + test.value));
    EXPECT_EQ(test.owned, scope.OwnsKey(test.root, test.key));
    EXPECT_EQ(test.value_inside,
              scope.ContainsValue(test.root, test.key, test.value));
    EXPECT_EQ(test.created_inside,
              scope.ContainsCreatedKey(test.root, test.key));
  }
}

// The installation's scope holds the keys and values its steps write, and
// no other.
TEST_F(RollbackScopeTest, InstallationHoldsTheProductsKeys) {
  const RollbackScope scope = RollbackScope::ForInstallation(folder_);
  const base::string16 product =
      base::UTF8ToUTF16(ProductInfo::GetProductName());
  const HKEY kUser = HKEY_CURRENT_USER;
  EXPECT_TRUE(scope.OwnsKey(kUser, L"Software\\Classes\\" + product +
                                       L"Stable\\shell\\open\\command"));
  EXPECT_TRUE(scope.OwnsKey(
      HKEY_LOCAL_MACHINE,
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product +
          L" 1.2.3.4"));
  EXPECT_TRUE(scope.ContainsValue(
      kUser, L"Software\\Classes\\.html\\OpenWithProgIDs", product + L"Beta"));
  EXPECT_TRUE(scope.ContainsValue(
      kUser,
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
      L"Compatibility Assistant\\Persisted",
      folder_.Append(L"Launcher.exe").value()));
  EXPECT_TRUE(scope.ContainsCreatedKey(kUser, L"Software\\Clients"));

  EXPECT_FALSE(scope.OwnsKey(kUser, L"Software\\Classes\\.html"));
  EXPECT_FALSE(scope.ContainsValue(
      kUser, L"Software\\Classes\\.html\\OpenWithProgIDs", L"Other"));
  EXPECT_FALSE(scope.ContainsValue(
      kUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", product));
  EXPECT_FALSE(scope.ContainsValue(
      kUser,
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
      L"Compatibility Assistant\\Persisted",
      dir_.path().Append(L"Other\\Launcher.exe").value()));
  EXPECT_FALSE(scope.OwnsKey(
      kUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                 product + L"Other"));
  EXPECT_FALSE(scope.ContainsCreatedKey(kUser, L"Software"));
  EXPECT_FALSE(scope.ContainsCreatedKey(kUser, L"Software\\Policies"));

  // The launcher's value, in any spelling of the folder on either side.
  const base::string16 launcher = folder_.Append(L"Launcher.exe").value();
  for (const base::string16& spelled :
       {short_folder_, In(L"installation folder/.")}) {
    EXPECT_TRUE(
        scope.ContainsValue(kUser, kPersisted, spelled + L"\\Launcher.exe"));
    EXPECT_TRUE(RollbackScope::ForInstallation(base::FilePath(spelled))
                    .ContainsValue(kUser, kPersisted, launcher));
  }
  EXPECT_FALSE(scope.ContainsValue(
      kUser, kPersisted, In(L"Installation Folder\\s\\Launcher.exe")));
  EXPECT_FALSE(scope.ContainsValue(kUser, kPersisted,
                                   In(L"Installation Folder2\\Launcher.exe")));
}

// The shortcuts that the installation's records name are the run's under
// any name, wherever an update or an uninstallation left the record; a
// record names no other kind of file.
TEST_F(RollbackScopeTest, InstallationHoldsTheShortcutsItsRecordsName) {
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  ASSERT_TRUE(base::CreateDirectory(folder_.Append(L"old_status")));
  using Shortcut = base::FilePath InstallationStatus::*;
  constexpr Shortcut kDesktop = &InstallationStatus::desktop_shortcut;
  const struct {
    const wchar_t* record;
    const wchar_t* shortcut;
    Shortcut kind;
    // An entry that cannot be read follows the shortcut.
    bool faulty;
  } kRecords[] = {
      {L"installation_status.xml", L"Current.lnk", kDesktop},
      {L"installation_status.xml.1712345678.old", L"Uninstalled.lnk", kDesktop},
      {L"old_status\\installation_status.xml.1712345678", L"Updated.lnk",
       kDesktop},
      {L"old_status\\installation_status.xml.1712345679", L"Menu.lnk",
       &InstallationStatus::start_menu_shortcut},
      {L"old_status\\installation_status.xml.1712345680", L"Quick.lnk",
       &InstallationStatus::quick_launch_shortcut},
      {L"old_status\\installation_status.xml.1712345681", L"Faulty.lnk",
       kDesktop, true},
  };
  for (const auto& record : kRecords) {
    InstallationStatus status;
    status.version = "1.0";
    status.install_path = folder_;
    status.files = {base::FilePath(L"a.txt")};
    status.start_menu_shortcut = dir_.path().Append(L"Outside\\victim.txt");
    status.*record.kind = shortcuts_.Append(record.shortcut);
    XmlDocument document;
    std::string text;
    ASSERT_TRUE(document.Initialize());
    WriteInstallationStatus(&document, status);
    ASSERT_TRUE(document.SaveToString(&text));
    const size_t end = text.rfind("</");
    ASSERT_NE(std::string::npos, end);
    if (record.faulty)
      text.insert(end, "<unknown/>");
    ASSERT_TRUE(base::WriteFile(folder_.Append(record.record), text.data(),
                                static_cast<int>(text.size())));
  }
  const RollbackScope scope = RollbackScope::ForInstallation(folder_);
  ::CoUninitialize();
  for (const wchar_t* name : {L"Current.lnk", L"Uninstalled.lnk",
                              L"Updated.lnk", L"Current.lnk.1712345678.old",
                              L"Menu.lnk", L"Quick.lnk", L"Faulty.lnk"}) {
    EXPECT_TRUE(scope.ContainsPath(shortcuts_.Append(name))) << name;
  }
  EXPECT_FALSE(scope.ContainsPath(shortcuts_.Append(L"Other.lnk")));
  EXPECT_FALSE(scope.ContainsPath(dir_.path().Append(L"Outside\\victim.txt")));
}

// A drive or a share whole is no installation folder, lest its scope take
// the drive.
TEST_F(RollbackScopeTest, ARootIsNoFolder) {
  const base::string16 drive = dir_.path().value().substr(0, 3);
  for (const base::string16& root :
       {drive, drive + L"x\\..", base::string16(L"\\\\server\\share\\")}) {
    const base::FilePath folder(root);
    const RollbackScope scope = RollbackScope::ForInstallation(folder);
    EXPECT_FALSE(scope.ContainsPath(dir_.path().Append(L"a.txt"))) << root;
    EXPECT_FALSE(scope.ContainsValue(HKEY_CURRENT_USER, kPersisted,
                                     folder.Append(L"Launcher.exe").value()))
        << root;
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

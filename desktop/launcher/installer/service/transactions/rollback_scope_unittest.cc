#include "desktop/launcher/installer/service/transactions/rollback_scope.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/folder_link.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

class RollbackScopeTest : public testing::Test {
 protected:
  RollbackScopeTest()
      : folder_(dir_.path().Append(L"Installation Folder")),
        shortcuts_(dir_.path().Append(L"Desktop")),
        shortcut_(
            base::UTF8ToUTF16(ProductInfo::GetVisibleProductNameWithChannel())),
        suffix_(base::UTF8ToUTF16(ProductConfiguration::GetShortcutSuffix())) {}

  void SetUp() override {
    ASSERT_TRUE(base::CreateDirectory(folder_.Append(L"sub")));
    ASSERT_TRUE(base::CreateDirectory(shortcuts_));
    ASSERT_TRUE(base::CreateDirectory(dir_.path().Append(L"Outside")));
  }

  base::string16 In(const base::string16& relative) const {
    return dir_.path().value() + L"\\" + relative;
  }

  // |path| as its short name spells it.
  static base::string16 ShortSpelling(const base::FilePath& path) {
    wchar_t short_name[MAX_PATH];
    const DWORD length =
        ::GetShortPathNameW(path.value().c_str(), short_name, MAX_PATH);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, static_cast<DWORD>(MAX_PATH));
    const base::string16 spelled(short_name, length);
    EXPECT_NE(spelled, path.value());
    return spelled;
  }

  base::UniqueTestDir dir_;
  const base::FilePath folder_;
  const base::FilePath shortcuts_;
  // The product's shortcut name without extension, and the configured
  // suffix.
  const base::string16 shortcut_;
  const base::string16 suffix_;
};

// Paths are inside by what the file system opens, not by their text.
TEST_F(RollbackScopeTest, PathsInsideByWhatTheyName) {
  const base::string16 short_folder = ShortSpelling(folder_);
  ASSERT_TRUE(base::MakeFolderLink(folder_.Append(L"link"),
                                   dir_.path().Append(L"Outside")));

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
      {dir_.path().value(), false},
      {L"\\\\?\\" + In(L"Installation Folder\\a.txt"), false},
      {L"\\\\.\\" + In(L"Installation Folder\\a.txt"), false},
      {L"Installation Folder\\a.txt", false},
      {L"\\Installation Folder\\a.txt", false},
      {L"", false},
      // The product's shortcut files directly in the shortcut folders, and
      // their set-aside names.
      {In(L"Desktop\\") + shortcut_ + L".lnk", true},
      {In(L"desktop\\") + shortcut_ + L".LNK", true},
      {In(L"Desktop\\") + shortcut_ + L".lnk.1712345678.old", true},
      {In(L"Desktop\\") + shortcut_ + L" 12.lnk", true},
      {In(L"Desktop\\") + shortcut_ + suffix_ + L".lnk", true},
      {In(L"Desktop\\") + shortcut_ + L" 12" + suffix_ + L".lnk", true},
      {In(L"Desktop\\") + shortcut_ + L".txt", false},
      {In(L"Desktop\\.lnk"), false},
      {In(L"Desktop\\sub\\") + shortcut_ + L".lnk", false},
      {In(L"Desktop"), false},
      {In(L"Desktop\\..\\Outside\\") + shortcut_ + L".lnk", false},
      // Another program's shortcuts, however close their names.
      {In(L"Desktop\\Product.lnk"), false},
      {In(L"Desktop\\Product.lnk.1712345678.old"), false},
      {In(L"Desktop\\") + shortcut_ + L"2.lnk", false},
      {In(L"Desktop\\") + shortcut_ + L" .lnk", false},
      {In(L"Desktop\\") + shortcut_ + L" 12x.lnk", false},
      {In(L"Desktop\\") + shortcut_ + L" Tools.lnk", false},
      {In(L"Desktop\\x") + shortcut_ + L".lnk", false},
      // A folder deleted whole: itself and its set-aside names only.
      {In(L"Programs\\Company"), true},
      {In(L"programs\\COMPANY. "), true},
      {In(L"Programs\\Company.1712345678.old"), true},
      {In(L"Programs\\Company\\") + shortcut_ + L".lnk", false},
      {In(L"Programs\\Company\\Company"), false},
      {In(L"Programs\\Company2"), false},
      {In(L"Programs\\Company2.1712345678.old"), false},
      {In(L"Programs"), false},
      {In(L"Programs\\") + shortcut_ + L".lnk", false},
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
// or a shortcut folder; only the folder and the shortcut folders can have
// been created below folders the run made too. The undo climbs by the
// text, so the ancestor is met only as the path spells it.
TEST_F(RollbackScopeTest, CreatedFoldersReachOnlyTheirAncestors) {
  RollbackScope scope(folder_);
  scope.AddShortcutFolder(shortcuts_);
  const base::string16 drive = dir_.path().value().substr(0, 3);
  const base::string16 short_folder = ShortSpelling(folder_);
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
      {In(L"Desktop"), drive, true},
      {short_folder + L"\\a\\b", short_folder, true},
      {In(L"Installation Folder/a/b"), In(L"Installation Folder/a"), true},
      {In(L"Installation Folder\\a"), dir_.path().value(), false},
      {In(L"Installation Folder\\a"), drive, false},
      {In(L"Installation Folder\\a\\b"), In(L"INSTALLATION FOLDER\\a"), false},
      {In(L"Installation Folder\\a\\b"), short_folder, false},
      {In(L"Installation Folder\\a\\..\\..\\Installation Folder\\b"),
       In(L"Installation Folder"), false},
      {In(L"Installation Folder\\a\\..\\b"), In(L"Installation Folder"), false},
      {In(L"Installation Folder2"), dir_.path().value(), false},
      {In(L"Installation Folder2\\a"), In(L"Installation Folder2"), false},
      {In(L"Desktop2"), dir_.path().value(), false},
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
  EXPECT_FALSE(scope.ContainsValue(
      kUser,
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
      L"Compatibility Assistant\\Persisted",
      folder_.value() + L"2\\Launcher.exe"));
  EXPECT_FALSE(scope.OwnsKey(
      kUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                 product + L"Other"));
  EXPECT_FALSE(scope.ContainsCreatedKey(kUser, L"Software"));
  EXPECT_FALSE(scope.ContainsCreatedKey(kUser, L"Software\\Policies"));
}

// The values named by a file of the folder are the run's in any spelling
// of the folder, on either side; no other file's.
TEST_F(RollbackScopeTest, FileNamedValuesInAnySpelling) {
  const base::string16 key =
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
      L"Compatibility Assistant\\Persisted";
  const base::string16 short_folder = ShortSpelling(folder_);
  base::string16 slashed = folder_.value();
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  const struct {
    base::string16 name;
    bool inside;
  } kCases[] = {
      {folder_.value() + L"\\Launcher.exe", true},
      {short_folder + L"\\Launcher.exe", true},
      {slashed + L"/Launcher.exe", true},
      {In(L"INSTALLATION FOLDER\\\\launcher.EXE"), true},
      {In(L"Installation Folder\\sub\\..\\Launcher.exe"), true},
      {In(L"Installation Folder\\sub\\Launcher.exe"), false},
      {In(L"Installation Folder2\\Launcher.exe"), false},
      {In(L"Installation Folder\\..\\Launcher.exe"), false},
      {folder_.value(), false},
      {L"Launcher.exe", false},
      {L"", false},
  };
  for (const base::FilePath& spelled : {folder_, base::FilePath(short_folder),
                                        base::FilePath(slashed + L"/")}) {
    const RollbackScope scope = RollbackScope::ForInstallation(spelled);
    for (const auto& test : kCases) {
      SCOPED_TRACE(base::UTF16ToUTF8(spelled.value() + L" : " + test.name));
      EXPECT_EQ(test.inside,
                scope.ContainsValue(HKEY_CURRENT_USER, key, test.name));
      EXPECT_FALSE(
          scope.ContainsValue(HKEY_CURRENT_USER, key + L"\\Below", test.name));
    }
  }
}

// A drive or a share whole is no installation folder: its scope holds
// nothing, where it would otherwise hold the drive.
TEST_F(RollbackScopeTest, ARootIsNoFolder) {
  const base::string16 drive = dir_.path().value().substr(0, 3);
  for (const base::string16& root :
       {drive, drive.substr(0, 2), drive + L".", drive + L"x\\..",
        base::string16(L"\\\\server\\share"),
        base::string16(L"\\\\server\\share\\")}) {
    SCOPED_TRACE(base::UTF16ToUTF8(root));
    const base::FilePath folder(root);
    const base::FilePath inside(folder.Append(L"a").Append(L"b.txt"));
    const RollbackScope scope = RollbackScope::ForInstallation(folder);
    EXPECT_FALSE(scope.ContainsPath(folder));
    EXPECT_FALSE(scope.ContainsPath(inside));
    EXPECT_FALSE(scope.ContainsPath(dir_.path().Append(L"a.txt")));
    EXPECT_FALSE(scope.ContainsCreatedFolders(inside.DirName(), folder));
    EXPECT_FALSE(scope.ContainsValue(
        HKEY_CURRENT_USER,
        L"Software\\Microsoft\\Windows NT\\CurrentVersion\\"
        L"AppCompatFlags\\Compatibility Assistant\\Persisted",
        folder.Append(L"Launcher.exe").value()));
  }
}

// The installation's scope holds the company's start-menu folder that an
// uninstallation deletes, and the product's own shortcuts in the shell's
// folders, not another program's.
TEST_F(RollbackScopeTest, InstallationHoldsTheProductsShellItems) {
  const RollbackScope scope = RollbackScope::ForInstallation(folder_);
  base::FilePath programs;
  base::FilePath common_programs;
  base::FilePath common_desktop;
  ASSERT_TRUE(base::PathService::Get(base::DIR_START_MENU, &programs));
  ASSERT_TRUE(
      base::PathService::Get(base::DIR_COMMON_START_MENU, &common_programs));
  ASSERT_TRUE(
      base::PathService::Get(base::DIR_COMMON_DESKTOP, &common_desktop));
  const base::FilePath company = programs.Append(L"Vexlo Software");
  const struct {
    base::FilePath path;
    bool inside;
  } kCases[] = {
      {company, true},
      {base::FilePath(company.value() + L".1712345678.old"), true},
      {company.Append(shortcut_ + L".lnk"), false},
      {base::FilePath(company.value() + L"2"), false},
      {common_programs.Append(L"Vexlo Software"), false},
      {programs.Append(shortcut_ + L".lnk"), true},
      {common_desktop.Append(shortcut_ + L".lnk"), true},
      {common_desktop.Append(shortcut_ + L" 7.lnk.1712345678.old"), true},
      {common_desktop.Append(L"Other Program.lnk"), false},
      {programs.Append(L"Other Program.lnk"), false},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.path.AsUTF8());
    EXPECT_EQ(test.inside, scope.ContainsPath(test.path));
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

#include "desktop/launcher/installer/installer_names.h"

#include "base/base_paths.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string16.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// Only "%s" is replaced, and only ASCII is lower-cased; other directives and
// a "%" in the name stay as they are.
TEST(InstallerNamesTest, FormatsWithTheProductName) {
  ScopedProductConfiguration configuration(
      R"({"product_name": "V\u00C9XLO QA%d", "visible_product_name": "V"})");
  EXPECT_EQ("100% V\xC3\x89XLO QA%d %d and V\xC3\x89XLO QA%d",
            FormatWithProductName("100% %s %d and %s", false));
  EXPECT_EQ("v\xC3\x89xlo qa%d_installer",
            FormatWithProductName("%s_installer", true));
  EXPECT_EQ(L"V\u00C9XLO QA%d Installer", GetInstallerFolderName());
  base::Time::Exploded time = {};
  time.year = 2016;
  time.month = 4;
  time.day_of_month = 12;
  time.hour = 9;
  time.minute = 30;
  time.second = 5;
  EXPECT_EQ(L"v\u00C9xlo qa%d_installer_20160412093005.log",
            GetInstallerLogFileName(time));
}

// In the installer's folder of the temporary folder, named by the time now;
// the bare name when the folder cannot be made (a file is in the way). The
// log itself is created by whoever opens it.
TEST(InstallerNamesTest, PutsTheLogInTheInstallerFolderOfTheTemporaryFolder) {
  ScopedProductConfiguration configuration(R"({"product_name": "Vexlo"})");
  base::UniqueTestDir temp;
  ASSERT_TRUE(temp.IsValid());
  ASSERT_EQ(1, base::WriteFile(temp.path().Append(L"file"), "x", 1));
  for (const wchar_t* parent : {L"", L"file"}) {
    SCOPED_TRACE(parent);
    ScopedPathOverride temp_override(base::DIR_TEMP,
                                     temp.path().Append(parent));
    base::Time::Exploded now;
    base::Time::Now().Explode(true, &now);
    const base::string16 before = GetInstallerLogFileName(now);
    const base::FilePath log_file = GetInstallerLogFilePath();
    base::Time::Now().Explode(true, &now);
    const base::string16 after = GetInstallerLogFileName(now);
    EXPECT_LE(before, log_file.BaseName().value());
    EXPECT_GE(after, log_file.BaseName().value());
    const base::FilePath folder = temp.path().Append(L"Vexlo Installer");
    EXPECT_EQ(
        *parent ? base::FilePath(base::FilePath::kCurrentDirectory) : folder,
        log_file.DirName());
    EXPECT_EQ(!*parent, base::DirectoryExists(folder));
    EXPECT_FALSE(base::PathExists(log_file));
    base::DeleteFile(folder, true);
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

#include "desktop/launcher/installer/installer_names.h"

#include <windows.h>

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

constexpr char kConfiguration[] = R"({
  "product_name": "Vexlo QA",
  "visible_product_name": "Vexlo Visible"
})";

base::Time::Exploded MakeExploded(int year,
                                  int month,
                                  int day,
                                  int hour,
                                  int minute,
                                  int second) {
  base::Time::Exploded exploded = {};
  exploded.year = year;
  exploded.month = month;
  exploded.day_of_month = day;
  exploded.hour = hour;
  exploded.minute = minute;
  exploded.second = second;
  return exploded;
}

// "YYYYMMDDhhmmss" of a local time, as the log file name carries it.
base::string16 TimeStampOf(const base::Time& time) {
  base::Time::Exploded exploded;
  time.Explode(true, &exploded);
  const base::string16 name = GetInstallerLogFileName(exploded);
  return name.substr(name.size() - 18, 14);
}

TEST(InstallerNamesTest, FormatsWithTheProductName) {
  ScopedProductConfiguration configuration(kConfiguration);
  EXPECT_EQ("Vexlo QA Installer", FormatWithProductName("%s Installer", false));
  EXPECT_EQ("vexlo qa_installer", FormatWithProductName("%s_installer", true));
  EXPECT_EQ("Vexlo QA and Vexlo QA", FormatWithProductName("%s and %s", false));
  // Only "%s" is replaced; other directives are plain text.
  EXPECT_EQ("100% Vexlo QA %d", FormatWithProductName("100% %s %d", false));
  EXPECT_EQ(L"Vexlo QA Installer", GetInstallerFolderName());
}

TEST(InstallerNamesTest, LowerCasesOnlyASCII) {
  ScopedProductConfiguration configuration(
      R"({"product_name": "V\u00C9XLO%d"})");
  EXPECT_EQ("v\xC3\x89xlo%d_installer",
            FormatWithProductName("%s_installer", true));
  EXPECT_EQ(L"V\u00C9XLO%d Installer", GetInstallerFolderName());
}

TEST(InstallerNamesTest, NamesTheLogByItsStartTime) {
  ScopedProductConfiguration configuration(kConfiguration);
  EXPECT_EQ(L"vexlo qa_installer_20160412093015.log",
            GetInstallerLogFileName(MakeExploded(2016, 4, 12, 9, 30, 15)));
  EXPECT_EQ(L"vexlo qa_installer_19990101000000.log",
            GetInstallerLogFileName(MakeExploded(1999, 1, 1, 0, 0, 0)));
  EXPECT_EQ(L"vexlo qa_installer_21001231235959.log",
            GetInstallerLogFileName(MakeExploded(2100, 12, 31, 23, 59, 59)));
}

TEST(InstallerNamesTest, PutsTheLogInTheInstallerFolderOfTheTemporaryFolder) {
  ScopedProductConfiguration configuration(kConfiguration);
  base::UniqueTestDir temp;
  ASSERT_TRUE(temp.IsValid());
  ScopedPathOverride temp_override(base::DIR_TEMP, temp.path());

  const base::string16 before = TimeStampOf(base::Time::Now());
  const base::FilePath log_file = GetInstallerLogFilePath();
  const base::string16 after = TimeStampOf(base::Time::Now());

  const base::FilePath folder = temp.path().Append(L"Vexlo QA Installer");
  EXPECT_EQ(folder, log_file.DirName());
  EXPECT_TRUE(base::DirectoryExists(folder));
  // The log itself is created by whoever opens it.
  EXPECT_FALSE(base::PathExists(log_file));

  const base::string16 name = log_file.BaseName().value();
  ASSERT_EQ(base::string16(L"vexlo qa_installer_").size() + 14 + 4,
            name.size());
  EXPECT_EQ(0u, name.find(L"vexlo qa_installer_"));
  EXPECT_EQ(L".log", name.substr(name.size() - 4));
  const base::string16 stamp = name.substr(name.size() - 18, 14);
  EXPECT_LE(before, stamp);
  EXPECT_GE(after, stamp);
}

TEST(InstallerNamesTest, FallsBackToTheBareNameWithoutAFolder) {
  ScopedProductConfiguration configuration(kConfiguration);
  base::UniqueTestDir temp;
  ASSERT_TRUE(temp.IsValid());
  // A file where the temporary folder should be: nothing can be created
  // below it.
  const base::FilePath file = temp.path().Append(L"file");
  ASSERT_EQ(1, base::WriteFile(file, "x", 1));
  ScopedPathOverride temp_override(base::DIR_TEMP, file);

  const base::FilePath log_file = GetInstallerLogFilePath();
  EXPECT_EQ(base::FilePath::kCurrentDirectory, log_file.DirName().value());
  EXPECT_EQ(0u, log_file.value().find(L"vexlo qa_installer_"));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

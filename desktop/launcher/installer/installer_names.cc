#include "desktop/launcher/installer/installer_names.h"

#include "base/base_paths.h"
#include "base/files/file_path.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/launcher/installer/run_directory.h"

namespace vexlo {
namespace installer {

std::string FormatWithProductName(const char* pattern, bool lower_case) {
  std::string product_name = ProductConfiguration::GetProductName();
  if (lower_case)
    product_name = base::ToLowerASCII(product_name);
  // A plain replacement rather than a printf format: a "%" in the name or any
  // other directive in the pattern is copied as it is.
  std::string text(pattern);
  base::ReplaceSubstringsAfterOffset(&text, 0, "%s", product_name);
  return text;
}

base::string16 GetInstallerFolderName() {
  return base::UTF8ToUTF16(FormatWithProductName("%s Installer", false));
}

base::string16 GetInstallerLogFileName(const base::Time::Exploded& local_time) {
  return base::UTF8ToUTF16(
      FormatWithProductName("%s_installer", true) +
      base::StringPrintf("_%02d%02d%02d%02d%02d%02d.log", local_time.year,
                         local_time.month, local_time.day_of_month,
                         local_time.hour, local_time.minute,
                         local_time.second));
}

base::FilePath GetInstallerLogFilePath() {
  base::Time::Exploded now;
  base::Time::Now().Explode(true, &now);
  const base::string16 name = GetInstallerLogFileName(now);
  base::FilePath folder;
  if (PrepareFolderUnderPathKey(GetInstallerFolderName(), base::FilePath(),
                                &folder, base::DIR_TEMP)) {
    return folder.Append(name);
  }
  return base::FilePath(name);
}

}  // namespace installer
}  // namespace vexlo

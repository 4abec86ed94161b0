#include "desktop/launcher/installer/installer_help.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "base/features/feature_registry.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/common/product/installer_features.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/installer_names.h"

namespace vexlo {
namespace installer {

namespace {

// One settings switch as the help shows it. A "%s" in the description or
// the default stands for the product name.
struct SwitchHelp {
  const char* name;
  const char* argument;  // Null when the switch takes none.
  const char* description;
  const char* default_text;  // Null when there is nothing to say.
};

constexpr SwitchHelp kSwitchHelp[] = {
    {"silent", nullptr,
     "Run the installer fully unattended. No dialog will be displayed in this "
     "mode. If it isn't running with sufficient privileges, the installer "
     "will fail instead of prompting the user.",
     nullptr},
    {"runimmediately", nullptr,
     "Run the installer mostly unattended. The installation will start "
     "immediately and the progress dialog will be displayed. The installer "
     "will prompt the user for elevation if needed.",
     nullptr},
    {"language", "LANGUAGE",
     "Install %s in the specified language.This language will also be used "
     "during installation.",
     "The Operating system UI language."},
    {"installfolder", "FOLDER", "Install %s in the specified folder.", nullptr},
    {"allusers", "[0|1]", "If true, install %s for all users on the system.",
     "True when running from an administrative acount."},
    {"copyonly", "[0|1]",
     "If true, the installer will only copy the files to the installation "
     "folder and will otherwise not perform any modification on the system.",
     "False."},
    {"singleprofile", "[0|1]",
     "If true, the installer will set up %s to use a singleprofile located in "
     "the installation folder.",
     "False."},
    {"setdefaultbrowser", "[0|1]",
     "If true, make %s the default browser for this user or computer.",
     "True for %s Stable."},
    {"desktopshortcut", "[0|1]",
     "If true, create a shortcut for %s on the desktop.", "True."},
    {"startmenushortcut", "[0|1]",
     "If true, create a shortcut for %s on the start menu.", "True."},
    {"quicklaunchshortcut", "[0|1]",
     "If true, create a shortcut for %s on the quick launch menu.",
     "False on Window 7 and later. True otherwise"},
    {"pintotaskbar", "[0|1]", "If true, pin %s to the taskbar.",
     "True on Window 7 and later. False otherwise."},
    {"import-browser-data", "[0|1]",
     "If true, %s is set up to import user data from the previously default "
     "browser when creating new user profiles.",
     "True."},
    {"enable-stats", "[0|1]",
     "If true, %s will by default gather and report statistics.", "True."},
    {"enable-installer-stats", "[0|1]",
     "If true, installer will by default gather and report statistics.",
     "True."},
    {"launchbrowser", "[0|1]",
     "If true, %s is launched once the installation is completed.", "True."},
};

void AppendSwitchHelp(const SwitchHelp& row, std::string* text) {
  base::StringAppendF(text, "  %s", row.name);
  if (row.argument)
    base::StringAppendF(text, "=%s", row.argument);
  base::StringAppendF(text, "\n    %s\n",
                      FormatWithProductName(row.description, false).c_str());
  if (row.default_text) {
    base::StringAppendF(text, "    Default value: %s\n",
                        FormatWithProductName(row.default_text, false).c_str());
  }
}

void AppendFeatureHelp(std::string* text) {
  size_t count = 0;
  const FeatureDefinition* features = GetInstallerFeatures(&count);
  for (size_t i = 0; i < count; ++i) {
    base::StringAppendF(
        text, "\t--%s [Enabled by default: %s]\n",
        base::GetFeatureSwitchName(features[i].name).c_str(),
        IsInstallerFeatureEnabledByDefault(features[i]) ? "true" : "false");
  }
}

}  // namespace

std::string BuildHelpText(
    const std::vector<base::string16>& available_locales) {
  std::string text = base::StringPrintf(
      "%s Installer %s %s\n\n", FormatWithProductName("%s", false).c_str(),
      ProductInfo::GetVersionString().c_str(),
      ProductInfo::GetChannel().c_str());
  text +=
      "The following command line parameters affect the behavior of the "
      "installer:\n";
  for (const SwitchHelp& row : kSwitchHelp)
    AppendSwitchHelp(row, &text);
  base::StringAppendF(&text, "\nLanguages available for the %s option:\n",
                      "language");
  text += base::UTF16ToUTF8(base::JoinString16(available_locales, L", "));
  text += "\n";
  text += "\nFeatures available through command-line switches:\n";
  AppendFeatureHelp(&text);
  return text;
}

void PrintHelp() {
  ::AllocConsole();
  if (!_wfreopen(L"CONOUT$", L"w", stdout))
    return;
  setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string text = BuildHelpText(l10n::GetAvailableLocales());
  fwrite(text.data(), 1, text.size(), stdout);
  // Keeps the console open until the user has read it.
  _wsystem(L"PAUSE");
}

}  // namespace installer
}  // namespace vexlo

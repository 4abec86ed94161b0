#include "desktop/launcher/installer/installer_help.h"

#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// The visible name differs from the product name: the help names the
// product by the latter.
constexpr char kConfiguration[] = R"({
  "product_name": "Vexlo QA",
  "visible_product_name": "Vexlo Visible",
  "user_agent_name": "VXQ"
})";

constexpr char kSwitchesHelp[] =
    "Vexlo QA Installer 12.0.1450.0 developer\n"
    "\n"
    "The following command line parameters affect the behavior of the "
    "installer:\n"
    "  silent\n"
    "    Run the installer fully unattended. No dialog will be displayed in "
    "this mode. If it isn't running with sufficient privileges, the "
    "installer will fail instead of prompting the user.\n"
    "  runimmediately\n"
    "    Run the installer mostly unattended. The installation will start "
    "immediately and the progress dialog will be displayed. The installer "
    "will prompt the user for elevation if needed.\n"
    "  language=LANGUAGE\n"
    "    Install Vexlo QA in the specified language.This language will also "
    "be used during installation.\n"
    "    Default value: The Operating system UI language.\n"
    "  installfolder=FOLDER\n"
    "    Install Vexlo QA in the specified folder.\n"
    "  allusers=[0|1]\n"
    "    If true, install Vexlo QA for all users on the system.\n"
    "    Default value: True when running from an administrative acount.\n"
    "  copyonly=[0|1]\n"
    "    If true, the installer will only copy the files to the installation "
    "folder and will otherwise not perform any modification on the system.\n"
    "    Default value: False.\n"
    "  singleprofile=[0|1]\n"
    "    If true, the installer will set up Vexlo QA to use a singleprofile "
    "located in the installation folder.\n"
    "    Default value: False.\n"
    "  setdefaultbrowser=[0|1]\n"
    "    If true, make Vexlo QA the default browser for this user or "
    "computer.\n"
    "    Default value: True for Vexlo QA Stable.\n"
    "  desktopshortcut=[0|1]\n"
    "    If true, create a shortcut for Vexlo QA on the desktop.\n"
    "    Default value: True.\n"
    "  startmenushortcut=[0|1]\n"
    "    If true, create a shortcut for Vexlo QA on the start menu.\n"
    "    Default value: True.\n"
    "  quicklaunchshortcut=[0|1]\n"
    "    If true, create a shortcut for Vexlo QA on the quick launch menu.\n"
    "    Default value: False on Window 7 and later. True otherwise\n"
    "  pintotaskbar=[0|1]\n"
    "    If true, pin Vexlo QA to the taskbar.\n"
    "    Default value: True on Window 7 and later. False otherwise.\n"
    "  import-browser-data=[0|1]\n"
    "    If true, Vexlo QA is set up to import user data from the previously "
    "default browser when creating new user profiles.\n"
    "    Default value: True.\n"
    "  enable-stats=[0|1]\n"
    "    If true, Vexlo QA will by default gather and report statistics.\n"
    "    Default value: True.\n"
    "  enable-installer-stats=[0|1]\n"
    "    If true, installer will by default gather and report statistics.\n"
    "    Default value: True.\n"
    "  launchbrowser=[0|1]\n"
    "    If true, Vexlo QA is launched once the installation is completed.\n"
    "    Default value: True.\n"
    "\n"
    "Languages available for the language option:\n";

// The defaults of the developer channel of this product.
constexpr char kFeaturesHelp[] =
    "\n"
    "Features available through command-line switches:\n"
    "\t--with-feature:installer-experiment-test [Enabled by default: false]\n"
    "\t--with-feature:installer-ui-stats [Enabled by default: true]\n"
    "\t--with-feature:installer-hide-from-program-and-features "
    "[Enabled by default: false]\n"
    "\t--with-feature:installer-pref-default-overrides-support "
    "[Enabled by default: true]\n";

TEST(InstallerHelpTest, ListsSwitchesLanguagesAndFeatures) {
  ScopedProductConfiguration configuration(kConfiguration);
  EXPECT_EQ(std::string(kSwitchesHelp) + "en, de, pt-br\n" + kFeaturesHelp,
            BuildHelpText({L"en", L"de", L"pt-br"}));
}

TEST(InstallerHelpTest, ShowsAnEmptyLanguageList) {
  ScopedProductConfiguration configuration(kConfiguration);
  EXPECT_EQ(std::string(kSwitchesHelp) + "\n" + kFeaturesHelp,
            BuildHelpText(std::vector<base::string16>()));
}

TEST(InstallerHelpTest, FeatureDefaultsFollowTheProduct) {
  // A product without experiments has every feature off.
  ScopedProductConfiguration configuration(
      R"({"product_name": "Other", "user_agent_name": "XXX"})");
  const std::string text = BuildHelpText({L"en"});
  EXPECT_NE(std::string::npos, text.find("\t--with-feature:installer-ui-stats "
                                         "[Enabled by default: false]\n"));
  EXPECT_EQ(std::string::npos, text.find("true]"));
  EXPECT_EQ(0u, text.find("Other Installer 12.0.1450.0 developer\n\n"));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

#include "desktop/launcher/installer/installer_help.h"

#include <cstring>
#include <string>

#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// The help names the product by its product name, not the visible one,
// and shows the feature defaults of the product. Each part must follow the
// one before; the last ends the text.
TEST(InstallerHelpTest, ListsSwitchesLanguagesAndFeatures) {
  ScopedProductConfiguration configuration(
      R"({"product_name": "Vexlo QA", "visible_product_name": "Visible",
          "user_agent_name": "VXQ"})");
  const std::string text = BuildHelpText({L"en", L"de", L"pt-br"});
  const char* const kParts[] = {
      "Vexlo QA Installer 12.0.1450.0 developer\n\nThe following command line "
      "parameters affect the behavior of the installer:\n  silent\n    Run "
      "the installer fully unattended. No dialog",
      "  runimmediately\n    Run the installer mostly unattended.",
      "\n  installfolder=FOLDER\n    Install Vexlo QA in the specified "
      "folder.\n  allusers=[0|1]\n",
      "\n  setdefaultbrowser=[0|1]\n    If true, make Vexlo QA the default "
      "browser for this user or computer.\n    Default value: True for Vexlo "
      "QA Stable.\n",
      "\n  launchbrowser=[0|1]\n    If true, Vexlo QA is launched once the "
      "installation is completed.\n    Default value: True.\n\nLanguages "
      "available for the language option:\nen, de, pt-br\n\nFeatures "
      "available through command-line switches:\n"
      "\t--with-feature:installer-experiment-test [Enabled by default: "
      "false]\n\t--with-feature:installer-ui-stats [Enabled by default: "
      "true]\n\t--with-feature:installer-hide-from-program-and-features "
      "[Enabled by default: false]\n"
      "\t--with-feature:installer-pref-default-overrides-support [Enabled by "
      "default: true]\n"};
  size_t end = 0;
  for (const char* part : kParts) {
    const size_t found = text.find(part, end);
    ASSERT_NE(std::string::npos, found) << part << "\nin\n" << text;
    end = found + strlen(part);
  }
  EXPECT_EQ(text.size(), end);
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

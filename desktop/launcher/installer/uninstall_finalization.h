#ifndef DESKTOP_LAUNCHER_INSTALLER_UNINSTALL_FINALIZATION_H_
#define DESKTOP_LAUNCHER_INSTALLER_UNINSTALL_FINALIZATION_H_

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// What an uninstallation does beyond its installation: it gives the web's
// associations back to the system's browser and opens the survey page.

// Splits the system browser's reinstall command |text| into its program
// and parameters: a quoted program ends at its closing quote, a plain one
// at the first blank.
void SplitReinstallCommand(const base::string16& text,
                           base::string16* program,
                           base::string16* parameters);

// Makes the system's browser the default again for the current user, after
// running its reinstall command when the removed installation was the
// machine's (|all_users|).
void HandDefaultBackToSystemBrowser(bool all_users);

// The survey page's address: |survey_url| with the version, the auto-update
// id |uuid| and the query of |welcome_url| when that has exactly one.
std::string BuildSurveyUrl(const std::string& survey_url,
                           const std::string& version,
                           const std::string& uuid,
                           const std::string& welcome_url);

// The command that opens |url| in the system browser under |program_files|,
// privately when |private_window|. Program and address are quoted so that
// neither a blank in the folder nor the address can change what runs.
base::string16 BuildSurveyCommandLine(const base::FilePath& program_files,
                                      bool private_window,
                                      const std::string& url);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UNINSTALL_FINALIZATION_H_

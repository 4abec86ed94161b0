#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_HELP_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_HELP_H_

#include <string>
#include <vector>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// The text of the switch help: the installer's name and version, every
// settings switch with its argument form, description and default, the
// languages in |available_locales| and the installer's features with their
// defaults.
std::string BuildHelpText(const std::vector<base::string16>& available_locales);

// Writes the help text, with the host's locales, to a new console and waits
// there for a key. A process without a console of its own has no standard
// output a user could see, so the help gets a console of its own.
void PrintHelp();

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_HELP_H_

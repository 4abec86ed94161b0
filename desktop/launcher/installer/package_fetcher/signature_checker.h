#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_SIGNATURE_CHECKER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_SIGNATURE_CHECKER_H_

#include "base/files/file_path.h"
#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// Answers whether the executable at |path| carries an embedded signature.
// False, with |is_signed| untouched, when the file is no PE image that can
// be read: the caller then cannot rule a signature out.
bool IsFileSigned(const base::FilePath& path, bool* is_signed);

// Whether Windows trusts the file's signature and the signer's simple
// display name is exactly the product's expected signer.
bool VerifySigner(const base::FilePath& path);

// The trust decision alone, through WinVerifyTrust.
bool IsTrustedByWindows(const base::FilePath& path);

// The whole simple display name of the certificate that signed |path|, any
// NUL in it included; false when the file carries no readable embedded
// signature.
bool ReadSignerName(const base::FilePath& path, base::string16* name);

// Wine trusts any self-signed certificate, so tests decide trust here; null
// restores the real decision.
using TrustDecision = bool (*)(const base::FilePath& path);
void SetTrustDecisionForTesting(TrustDecision decision);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_SIGNATURE_CHECKER_H_

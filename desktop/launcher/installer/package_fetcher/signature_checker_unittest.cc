#include "desktop/launcher/installer/package_fetcher/signature_checker.h"

#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

bool Trusted(const base::FilePath&) {
  return true;
}
bool Untrusted(const base::FilePath&) {
  return false;
}

TEST(SignatureCheckerTest, TellsSignedFromUnsigned) {
  base::UniqueTestDir dir;
  const base::FilePath text = dir.path().Append(L"text.txt");
  ASSERT_EQ(5, base::WriteFile(text, "MZ...", 5));
  const struct {
    base::FilePath path;
    bool answered;
    bool is_signed;
  } cases[] = {
      {PackageFixture(L"unsigned.exe"), true, false},
      {PackageFixture(L"signed.exe"), true, true},
      {PackageFixture(L"signed_package.exe"), true, true},
      {text, false, true},
      {dir.path().Append(L"missing.exe"), false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.AsUTF8());
    bool is_signed = true;
    EXPECT_EQ(c.answered, IsFileSigned(c.path, &is_signed));
    EXPECT_EQ(c.is_signed, is_signed);
  }
}

TEST(SignatureCheckerTest, AcceptsOnlyTheExpectedTrustedSigner) {
  const struct {
    const wchar_t* file;
    TrustDecision trust;
    const wchar_t* signer;
    bool verified;
  } cases[] = {
      {L"signed.exe", &Trusted, L"Vexlo Test Signer", true},
      {L"signed_package.exe", &Trusted, L"Vexlo Test Signer", true},
      {L"signed.exe", &Untrusted, L"Vexlo Test Signer", false},
      {L"signed_case.exe", &Trusted, L"vexlo test signer", false},
      {L"unsigned.exe", &Trusted, nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const base::FilePath path = PackageFixture(c.file);
    base::string16 name;
    EXPECT_EQ(c.signer != nullptr, ReadSignerName(path, &name));
    EXPECT_EQ(c.signer ? c.signer : L"", name);
    SetTrustDecisionForTesting(c.trust);
    EXPECT_EQ(c.verified, VerifySigner(path));
    SetTrustDecisionForTesting(nullptr);
  }
}

// Wine trusts any well-formed signature, so only refusals can be checked.
TEST(SignatureCheckerTest, WindowsRefusesMissingAndBrokenSignatures) {
  EXPECT_FALSE(IsTrustedByWindows(PackageFixture(L"unsigned.exe")));
  // The payload inserted before the signature changed the signed bytes.
  EXPECT_FALSE(IsTrustedByWindows(PackageFixture(L"inserted_package.exe")));
  EXPECT_FALSE(VerifySigner(PackageFixture(L"inserted_package.exe")));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo

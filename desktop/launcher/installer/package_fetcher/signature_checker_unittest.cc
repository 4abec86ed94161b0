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

TEST(SignatureCheckerTest, AcceptsOnlyTheExpectedTrustedSigner) {
  base::UniqueTestDir dir;
  const base::FilePath text = dir.path().Append(L"text.txt");
  ASSERT_EQ(5, base::WriteFile(text, "MZ...", 5));
  // The smallest image is 0xF0 bytes: its certificate table's size field
  // ends the file.
  const auto write_image = [&dir](const wchar_t* name, const char* magic,
                                  const char* header_offset,
                                  size_t size = 0xF0) {
    std::string image(0xF0, '\0');
    image.replace(0, 2, magic);
    image.replace(0x3C, 6, std::string(header_offset, 4) + "PE");
    image.resize(size);
    const base::FilePath path = dir.path().Append(name);
    EXPECT_EQ(static_cast<int>(size),
              base::WriteFile(path, image.data(), image.size()));
    return path;
  };
  const base::string16 kSigner = L"Vexlo Test Signer";
  const base::string16 kUnsigned;
  const struct {
    base::FilePath path;
    TrustDecision trust;
    base::string16 signer;
    bool verified;
    bool is_image;
  } cases[] = {
      {PackageFixture(L"signed.exe"), &Trusted, kSigner, true, true},
      {PackageFixture(L"signed_package.exe"), &Trusted, kSigner, true, true},
      {PackageFixture(L"signed.exe"), &Untrusted, kSigner, false, true},
      {PackageFixture(L"signed_case.exe"), &Trusted, L"vexlo test signer",
       false, true},
      // The expected name, a NUL and more: a name of its own.
      {PackageFixture(L"signed_nul.exe"), &Trusted,
       kSigner + base::string16(1, L'\0') + L".attacker", false, true},
      {PackageFixture(L"unsigned.exe"), &Trusted, kUnsigned, false, true},
      {write_image(L"tight.exe", "MZ", "\x40\0\0\0"), &Trusted, kUnsigned,
       false, true},
      {write_image(L"zm.exe", "ZM", "\x40\0\0\0"), &Trusted, kUnsigned, false,
       false},
      {write_image(L"far.exe", "MZ", "\0\xFF\xFF\x7F"), &Trusted, kUnsigned,
       false, false},
      // Just below zero, where the sum of offset and field bounds wraps.
      {write_image(L"wraps.exe", "MZ", "\x50\xFF\xFF\xFF"), &Trusted, kUnsigned,
       false, false},
      // The file ends inside the certificate table's size field.
      {write_image(L"cut.exe", "MZ", "\x40\0\0\0", 0xEE), &Trusted, kUnsigned,
       false, false},
      {text, &Trusted, kUnsigned, false, false},
      {dir.path().Append(L"missing.exe"), &Trusted, kUnsigned, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.AsUTF8());
    // Only an image answers whether it is signed; otherwise the answer is
    // left alone.
    bool is_signed = !c.is_image;
    EXPECT_EQ(c.is_image, IsFileSigned(c.path, &is_signed));
    EXPECT_EQ(!c.signer.empty() || !c.is_image, is_signed);
    base::string16 name;
    EXPECT_EQ(!c.signer.empty(), ReadSignerName(c.path, &name));
    EXPECT_EQ(c.signer, name);
    SetTrustDecisionForTesting(c.trust);
    EXPECT_EQ(c.verified, VerifySigner(c.path));
    SetTrustDecisionForTesting(nullptr);
  }
}

// Wine trusts any well-formed signature, so only refusals can be checked.
TEST(SignatureCheckerTest, WindowsRefusesMissingAndBrokenSignatures) {
  EXPECT_FALSE(IsTrustedByWindows(PackageFixture(L"unsigned.exe")));
  // The payload inserted before the signature changed the signed bytes.
  EXPECT_FALSE(IsTrustedByWindows(PackageFixture(L"inserted_package.exe")));
  EXPECT_FALSE(VerifySigner(PackageFixture(L"inserted_package.exe")));
  // Trusted here, but named the expected signer only up to a NUL.
  EXPECT_FALSE(VerifySigner(PackageFixture(L"signed_nul.exe")));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
